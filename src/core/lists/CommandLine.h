#pragma once

#include <string>
#include <string_view>

namespace quorvane {

/// The program's command-line text on systems that hand over an argument vector: the arguments
/// after the program's name joined with single spaces, as they came (quotes the shell left in
/// stay, nothing is trimmed). Empty when there are none.
std::string JoinArguments(int argc, const char *const *argv);

/// The program's command-line text on systems that hand over one raw line: what follows the
/// program's name and the blanks after it. The name runs to its closing quote when it starts with
/// one, else to the first space or tab. The rest is returned as it stands.
std::wstring_view TextAfterProgramName(std::wstring_view commandLine);

} // namespace quorvane
