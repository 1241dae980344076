#pragma once

#include <QString>

namespace quorvane {

/// The program's command-line text as the platform delivers it: everything after the program's
/// own name. Read from main's arguments before Qt sees them, so no part of it is ever taken as an
/// option of Qt's.
QString ProgramCommandLine(int argc, char **argv);

} // namespace quorvane
