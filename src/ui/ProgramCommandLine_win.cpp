#include "ui/ProgramCommandLine.h"

#include "core/lists/CommandLine.h"

namespace quorvane {

QString ProgramCommandLine(int argc, char **argv)
{
    return QString::fromStdString(ProgramCommandLineText(argc, argv));
}

} // namespace quorvane
