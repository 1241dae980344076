// Demangling on Windows with what the system and the toolchain provide: dbghelp's
// UnDecorateSymbolName for Microsoft names, the C++ runtime's abi::__cxa_demangle for Itanium ones.
#include "core/pe/Demangle.h"

#include <windows.h>

#include <dbghelp.h>

#include <cxxabi.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace quorvane {
namespace {

struct FreeDeleter {
    void operator()(char *text) const { std::free(text); }
};

// dbghelp is not safe to call from several threads at once.
std::mutex g_dbghelp;

// UNDNAME_NO_PTR64, which MinGW-w64's headers lack: no "__ptr64" after each 64-bit member
// function, as the other platforms' demangler writes them.
constexpr DWORD kUndnameNoPtr64 = 0x20000;

} // namespace

std::string Demangle(std::string_view name)
{
    if (name.size() > kMaxDemangleLength) {
        return std::string(name);
    }
    const std::string text(name);
    if (name.starts_with("_Z") || name.starts_with("__Z")) {
        int status = 0;
        const char *start = text.c_str() + (name.starts_with("__Z") ? 1 : 0);
        std::unique_ptr<char, FreeDeleter> readable(
            abi::__cxa_demangle(start, nullptr, nullptr, &status));
        return readable && status == 0 ? std::string(readable.get()) : text;
    }
    if (name.starts_with('?')) {
        std::array<char, 8192> readable{};
        const std::lock_guard lock(g_dbghelp);
        const DWORD length =
            UnDecorateSymbolName(text.c_str(), readable.data(), static_cast<DWORD>(readable.size()),
                                 UNDNAME_COMPLETE | kUndnameNoPtr64);
        return length > 0 ? std::string(readable.data(), length) : text;
    }
    return text;
}

} // namespace quorvane
