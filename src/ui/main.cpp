// quorvane [PATH]: the desktop program. Everything after the program's name is the path of the
// file to analyse.
#include "ui/Application.h"

int main(int argc, char **argv)
{
    return quorvane::RunApplication(argc, argv);
}
