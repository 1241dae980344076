#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// The program's command-line text on systems that hand over an argument vector: the arguments
/// after the program's name joined with single spaces, as they came (quotes the shell left in
/// stay, nothing is trimmed). Empty when there are none.
std::string JoinArguments(int argc, const char *const *argv);

/// The program's command-line text on systems that hand over one raw line: what follows the
/// program's name and the blanks after it. The name runs to its closing quote when it starts with
/// one, else to the first space or tab. The rest is returned as it stands.
std::wstring_view TextAfterProgramName(std::wstring_view commandLine);

/// The program's command-line text as this platform delivers it, as this program keeps text: on
/// Windows the raw line (GetCommandLineW) after the program's name, in UTF-8; elsewhere
/// JoinArguments of main's arguments.
std::string ProgramCommandLineText(int argc, const char *const *argv);

/// The arguments after the program's name, as this program keeps paths: on Windows split from the
/// raw line as UTF-16 and converted to UTF-8 (main's argv holds them in the ANSI code page, which
/// loses every character it lacks); elsewhere main's arguments as they came, bytes.
std::vector<std::string> ProgramArguments(int argc, const char *const *argv);

} // namespace quorvane
