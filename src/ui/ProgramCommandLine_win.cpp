#include "ui/ProgramCommandLine.h"

#include "core/lists/CommandLine.h"

#include <QString>

#include <windows.h>

namespace quorvane {

std::string ProgramCommandLine(int /*argc*/, char ** /*argv*/)
{
    // The raw line, not the C runtime's argument vector: quotes and runs of spaces arrive as typed.
    const std::wstring_view rest = TextAfterProgramName(::GetCommandLineW());
    return QString::fromWCharArray(rest.data(), static_cast<qsizetype>(rest.size())).toStdString();
}

} // namespace quorvane
