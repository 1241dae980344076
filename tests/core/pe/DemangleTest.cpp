// Decorated C++ names of both schemes come back readable; anything else, and anything too long
// for a demangler's recursion, comes back as it was. Both systems give the same forms: LLVM's,
// which on Windows the Microsoft names reach through dbghelp and a respelling.
#include "core/pe/Demangle.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(Demangle, BothSchemesAreReadableAndOtherNamesStayAsTheyAre)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"_ZN3foo4openEv", "foo::open()"},
        {"__ZN3foo4openEv", "foo::open()"}, // a 32-bit object's own spelling
        {"?open@foo@@QEAAXXZ", "public: void __cdecl foo::open(void)"},
        {"??0Widget@foo@@QEAA@XZ", "public: __cdecl foo::Widget::Widget(void)"},
        // dbghelp's blanks, "__ptr64" and names of the compiler's functions differ from LLVM's.
        {"?close@Widget@foo@@QBEXXZ", "public: void __thiscall foo::Widget::close(void) const"},
        {"?arr2@@YAXU?$Arr@H$02@foo@@U?$Arr@U?$Arr@D$0?0@foo@@$0A@@2@@Z",
         "void __cdecl arr2(struct foo::Arr<int, 3>, struct foo::Arr<struct foo::Arr<char, -1>, "
         "0>)"},
        {"??0exception@@QEAA@AEBQEBD@Z",
         "public: __cdecl exception::exception(char const *const &)"},
        {"?_set_new_handler@@YAP6AH_K@ZH@Z",
         "int (__cdecl * __cdecl _set_new_handler(int))(unsigned __int64)"},
        {"?_Ptr_cout@std@@3PEAV?$basic_ostream@DU?$char_traits@D@std@@@1@EA",
         "class std::basic_ostream<char, struct std::char_traits<char>> *std::_Ptr_cout"},
        {"?restr@@YAXPEIAH$$QEAH@Z", "void __cdecl restr(int *__restrict, int &&)"},
        {"??_GWidget@@UEAAPEAXI@Z",
         "public: virtual void * __cdecl Widget::`scalar deleting dtor'(unsigned int)"},
    };
    for (const auto &[name, readable] : cases) {
        EXPECT_EQ(Demangle(name), readable) << name;
    }
    // C names (the second a stdcall one) and broken ones.
    for (const std::string name : {"GetProcAddress", "_Sleep@4", "_Z", "?bad", ""}) {
        EXPECT_EQ(Demangle(name), name);
    }
#ifdef _WIN32
    // No RTTI name: Wine's dbghelp would end the program on it, so it never gets there.
    EXPECT_EQ(Demangle("??_RWidget@@QEAAXXZ"), "??_RWidget@@QEAAXXZ");
#endif
}

TEST(Demangle, DeepNamesWithinTheLimitAreReadAndLongerOnesAreLeft)
{
    // Each pointer is one more level of the demangler's recursion.
    const auto nested = [](std::size_t levels) { return "_Z1f" + std::string(levels, 'P') + "i"; };
    const std::string deep = nested(1000), tooDeep = nested(100000);
    ASSERT_LE(deep.size(), kMaxDemangleLength);
    EXPECT_EQ(Demangle(deep), "f(int" + std::string(1000, '*') + ")");
    EXPECT_EQ(Demangle(tooDeep), tooDeep);
}

} // namespace
} // namespace quorvane
