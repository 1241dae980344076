#pragma once

#include <string>

namespace quorvane {

/// The program's command-line text as the platform delivers it: everything after the program's
/// own name. Read from main's arguments before Qt sees them, so no part of it is ever taken as an
/// option of Qt's. On POSIX systems it is the arguments' bytes as they came, whatever they are
/// made of (a file name need not be UTF-8); on Windows the raw line in UTF-8.
std::string ProgramCommandLine(int argc, char **argv);

} // namespace quorvane
