#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// Whether Windows loads a DLL of this name from its system folder whatever the application's
/// folders hold (its KnownDLLs list, src/core/packager/known_dlls.txt), letter case ignored.
bool IsKnownDll(std::string_view name);

/// The names of a KnownDLLs text (one a line, '#' starts a comment), folded to lower case.
std::vector<std::string> ParseKnownDlls(std::string_view text);

/// The built-in list's text, as it was read when the program was built.
std::string_view BuiltInKnownDllsText();

} // namespace quorvane
