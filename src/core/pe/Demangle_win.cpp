// Demangling on Windows, where LLVM's Demangle library is not at hand, in the forms the LLVM
// variant gives elsewhere. Itanium names go through LLVM's own parser, which its header holds
// whole; the cross build takes it from Debian's llvm-14-dev, the version the Linux build links.
// Microsoft names go through Windows' own dbghelp, whose forms are then spelt as LLVM spells them.
#include "core/pe/Demangle.h"

#include <windows.h>

#include <dbghelp.h>

#include <llvm/Demangle/ItaniumDemangle.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

// The one function the parser's header declares but leaves to the library: it skips the
// discriminator that may follow a local name, "_" and one digit, "__", a number and "_", or (an
// extension) digits up to the end of the name, and returns where the rest begins.
const char *llvm::itanium_demangle::parse_discriminator(const char *first, const char *last)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (first == last) {
        return first;
    }
    if (isDigit(*first)) {
        const char *end = first + 1;
        while (end != last && isDigit(*end)) {
            ++end;
        }
        return end == last ? last : first;
    }
    if (*first != '_' || first + 1 == last) {
        return first;
    }
    if (isDigit(first[1])) {
        return first + 2;
    }
    if (first[1] != '_') {
        return first;
    }
    const char *end = first + 2;
    while (end != last && isDigit(*end)) {
        ++end;
    }
    return end != last && *end == '_' ? end + 1 : first;
}

namespace quorvane {
namespace {

namespace itanium = llvm::itanium_demangle;

// The parser's nodes, each in a block of its own, all freed with the parser. Nodes are never
// destroyed one by one, as in LLVM's own allocator.
class NodeArena {
public:
    template <typename T, typename... Args> T *makeNode(Args &&...args)
    {
        return new (Allocate(sizeof(T))) T(std::forward<Args>(args)...);
    }
    void *allocateNodeArray(std::size_t count) { return Allocate(count * sizeof(itanium::Node *)); }
    void reset() { m_blocks.clear(); }

private:
    void *Allocate(std::size_t size)
    {
        const std::size_t units = (size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
        m_blocks.push_back(std::make_unique<std::max_align_t[]>(units == 0 ? 1 : units));
        return m_blocks.back().get();
    }

    std::vector<std::unique_ptr<std::max_align_t[]>> m_blocks;
};

struct FreeDeleter {
    void operator()(char *text) const { std::free(text); }
};

// What llvm::itaniumDemangle does, on a name that ends at its first NUL as there.
std::string ItaniumDemangle(const char *name, const std::string &asStored)
{
    itanium::ManglingParser<NodeArena> parser(name, name + std::strlen(name));
    const itanium::Node *tree = parser.parse();
    itanium::OutputBuffer out;
    if (!tree || !itanium::initializeOutputBuffer(nullptr, nullptr, out, 1024)) {
        return asStored;
    }
    tree->print(out);
    const std::unique_ptr<char, FreeDeleter> buffer(out.getBuffer()); // as it grew
    return std::string(buffer.get(), out.getCurrentPosition());
}

bool IsIdentifierChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$';
}

// Whether text starts with word, and word is all of the word it starts.
bool StartsWithWord(std::string_view text, std::string_view word)
{
    return text.starts_with(word) &&
           (text.size() == word.size() || !IsIdentifierChar(text[word.size()]));
}

bool EndsWithWord(std::string_view text, std::string_view word)
{
    return text.ends_with(word) &&
           (text.size() == word.size() || !IsIdentifierChar(text[text.size() - word.size() - 1]));
}

constexpr std::array<std::string_view, 8> kCallingConventions = {
    "__cdecl",      "__stdcall", "__fastcall", "__thiscall",
    "__vectorcall", "__clrcall", "__pascal",   "__regcall"};

// The compiler's own functions of a class, which LLVM names shorter.
constexpr std::array<std::pair<std::string_view, std::string_view>, 12> kSpecialNames = {{
    {"`vbase destructor'", "`vbase dtor'"},
    {"`vector deleting destructor'", "`vector deleting dtor'"},
    {"`default constructor closure'", "`default ctor closure'"},
    {"`scalar deleting destructor'", "`scalar deleting dtor'"},
    {"`vector constructor iterator'", "`vector ctor iterator'"},
    {"`vector destructor iterator'", "`vector dtor iterator'"},
    {"`vector vbase constructor iterator'", "`vector vbase ctor iterator'"},
    {"`eh vector constructor iterator'", "`eh vector ctor iterator'"},
    {"`eh vector destructor iterator'", "`eh vector dtor iterator'"},
    {"`eh vector vbase constructor iterator'", "`eh vector vbase ctor iterator'"},
    {"`copy constructor closure'", "`copy ctor closure'"},
    {"`local vftable constructor closure'", "`local vftable ctor closure'"},
}};

const std::pair<std::string_view, std::string_view> *SpecialNameAt(std::string_view text)
{
    const auto *special =
        std::find_if(kSpecialNames.begin(), kSpecialNames.end(),
                     [text](const auto &names) { return text.starts_with(names.first); });
    return special == kSpecialNames.end() ? nullptr : special;
}

bool StartsWithCallingConvention(std::string_view text)
{
    return std::any_of(kCallingConventions.begin(), kCallingConventions.end(),
                       [text](std::string_view cc) { return StartsWithWord(text, cc); });
}

bool EndsWithCallingConvention(std::string_view text)
{
    return std::any_of(kCallingConventions.begin(), kCallingConventions.end(),
                       [text](std::string_view cc) { return EndsWithWord(text, cc); });
}

// dbghelp's form of a Microsoft name in LLVM's spelling. They differ in blanks, in the "__ptr64"
// that dbghelp writes after each 64-bit pointer, reference and member function, and in the names
// of the compiler's own functions. "f(A<B<int> > * __ptr64,char * const * __ptr64)const __ptr64"
// becomes "f(A<B<int>> *, char *const *) const", "void (__cdecl*)(int)" "void (__cdecl *)(int)",
// and "int * __ptr64 x" "int *x", but "int * __ptr64 __cdecl f(void)" "int * __cdecl f(void)".
std::string InLlvmSpelling(std::string_view undecorated)
{
    std::string out;
    out.reserve(undecorated.size());
    for (std::size_t i = 0; i < undecorated.size(); ++i) {
        const char c = undecorated[i];
        const std::string_view rest = undecorated.substr(i);
        const char last = out.empty() ? '\0' : out.back();
        if (c == ' ') {
            const std::string_view next = rest.substr(1);
            if (StartsWithWord(next, "__ptr64")) {
                i += std::string_view(" __ptr64").size() - 1;
            } else if (last == '>' && next.starts_with('>')) {
                // "A<B<int> >"
            } else if ((last == '*' || last == '&') && !next.empty() &&
                       (IsIdentifierChar(next[0]) || next[0] == '*' || next[0] == '&' ||
                        next[0] == '`') &&
                       !StartsWithCallingConvention(next)) {
                // "char * const * & x" is "char *const *&x"
            } else {
                out += c;
            }
        } else if (c == ',' && !EndsWithWord(out, "operator")) {
            out += ", ";
            if (rest.starts_with(", ")) {
                ++i;
            }
        } else if ((IsIdentifierChar(c) && last == ')') ||
                   ((c == '*' || c == '&') && EndsWithCallingConvention(out)) ||
                   (last == '*' && StartsWithCallingConvention(rest))) {
            out += ' '; // ")const", "(__cdecl*)", "(__cdecl *__cdecl f(void))"
            out += c;
        } else if (const auto *special = c == '`' ? SpecialNameAt(rest) : nullptr) {
            out += special->second;
            i += special->first.size() - 1;
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back(); // the 32-bit "(void)const "
    }
    return out;
}

// dbghelp leaves a conversion operator's type out where a function's type stands: "public:
// __cdecl A::operator bool(void) const" is "public: bool __cdecl A::operator bool(void) const".
std::string WithConversionType(std::string readable)
{
    const std::size_t op = readable.find("::operator ");
    const std::size_t type = op + std::string_view("::operator ").size();
    const std::size_t end = op == std::string::npos ? op : readable.find('(', type);
    if (end == std::string::npos || end == type) {
        return readable;
    }
    // The function's own calling convention is the first: no return type stands before it.
    std::size_t convention = std::string::npos;
    for (const std::string_view cc : kCallingConventions) {
        convention = std::min(convention, readable.find(cc));
    }
    if (convention < op) {
        readable.insert(convention, readable.substr(type, end - type) + ' ');
    }
    return readable;
}

// dbghelp is not safe to call from several threads at once.
std::mutex g_dbghelp;

// UNDNAME_NO_PTR64, which MinGW-w64's headers lack. Windows' dbghelp leaves "__ptr64" out with it,
// Wine's writes it all the same; InLlvmSpelling drops what is left.
constexpr DWORD kUndnameNoPtr64 = 0x20000;

std::string MicrosoftDemangle(const std::string &name)
{
    // Wine's dbghelp stops the program (an assertion of its own) on "??_R" followed by anything but
    // the digit of an RTTI name, 0 to 4; no such name is valid, and it stays as it is.
    if (name.starts_with("??_R") && (name.size() == 4 || name[4] < '0' || name[4] > '4')) {
        return name;
    }
    // A name's readable form can be much longer than the name (templates repeat); a form that
    // fills even the largest buffer would come back cut short, and so the name stays as it is.
    for (std::size_t size = 8192; size <= (std::size_t{1} << 20); size *= 8) {
        std::string readable(size, '\0');
        DWORD length = 0;
        {
            const std::lock_guard lock(g_dbghelp);
            length = UnDecorateSymbolName(name.c_str(), readable.data(), static_cast<DWORD>(size),
                                          UNDNAME_COMPLETE | kUndnameNoPtr64);
        }
        if (length + 1 < size) {
            readable.resize(length);
            // What dbghelp cannot read comes back empty or as it was.
            if (length == 0 || readable == name) {
                return name;
            }
            readable = InLlvmSpelling(readable);
            return name.starts_with("??B") ? WithConversionType(std::move(readable)) : readable;
        }
    }
    return name;
}

} // namespace

std::string Demangle(std::string_view name)
{
    if (name.size() > kMaxDemangleLength) {
        return std::string(name);
    }
    const std::string text(name); // the demanglers want a terminated string
    if (name.starts_with("_Z") || name.starts_with("__Z")) {
        // An extra leading underscore is how 32-bit Windows toolchains spell a symbol.
        return ItaniumDemangle(text.c_str() + (name.starts_with("__Z") ? 1 : 0), text);
    }
    if (name.starts_with('?')) {
        return MicrosoftDemangle(text);
    }
    return text;
}

} // namespace quorvane
