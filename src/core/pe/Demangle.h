#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

/// Longer names are shown as they stand: a demangler recurses once per nesting level of a name,
/// and a hostile name of megabytes would run any stack out. The Microsoft compiler itself shortens
/// longer decorated names to a hash.
inline constexpr std::size_t kMaxDemangleLength = 4096;

/// The readable form of a C++ name decorated in the Itanium scheme (g++ and clang, MinGW
/// included: "_ZN3foo4openEv" gives "foo::open()") or in the Microsoft one (MSVC and clang-cl:
/// "?open@foo@@QEAAXXZ" gives "public: void __cdecl foo::open(void)"). Any other name, a name the
/// demangler rejects, and a name longer than kMaxDemangleLength come back as they are.
std::string Demangle(std::string_view name);

} // namespace quorvane
