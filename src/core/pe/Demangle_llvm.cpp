// Demangling with LLVM's demangler, which knows both the Itanium and the Microsoft schemes.
#include "core/pe/Demangle.h"

#include <llvm/Demangle/Demangle.h>

#include <cstdlib>
#include <memory>

namespace quorvane {
namespace {

struct FreeDeleter {
    void operator()(char *text) const { std::free(text); }
};

bool IsItanium(std::string_view name)
{
    // An extra leading underscore is how 32-bit Windows toolchains spell a symbol; a name copied
    // from an object file rather than an export table carries it.
    return name.starts_with("_Z") || name.starts_with("__Z");
}

} // namespace

std::string Demangle(std::string_view name)
{
    if (name.size() > kMaxDemangleLength) {
        return std::string(name);
    }
    const std::string text(name); // the demanglers want a terminated string
    int status = 0;
    std::unique_ptr<char, FreeDeleter> readable;
    if (IsItanium(name)) {
        const char *start = text.c_str() + (name.starts_with("__Z") ? 1 : 0);
        readable.reset(llvm::itaniumDemangle(start, nullptr, nullptr, &status));
    } else if (name.starts_with('?')) {
        readable.reset(llvm::microsoftDemangle(text.c_str(), nullptr, nullptr, nullptr, &status));
    }
    if (!readable || status != 0) {
        return text;
    }
    return readable.get();
}

} // namespace quorvane
