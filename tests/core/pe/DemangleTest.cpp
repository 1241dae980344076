// Decorated C++ names of both schemes come back readable; anything else, and anything too long
// for a demangler's recursion, comes back as it was.
#include "core/pe/Demangle.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(Demangle, BothSchemesAreReadableAndOtherNamesStayAsTheyAre)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"_ZN3foo4openEv", "foo::open()"},
        {"__ZN3foo4openEv", "foo::open()"}, // a 32-bit object's own spelling
        {"_ZNSt6vectorIiSaIiEE9push_backERKi",
         "std::vector<int, std::allocator<int> >::push_back(int const&)"},
        {"?open@foo@@QEAAXXZ", "public: void __cdecl foo::open(void)"},
        {"??0Widget@foo@@QEAA@XZ", "public: __cdecl foo::Widget::Widget(void)"},
        {"GetProcAddress", "GetProcAddress"},
        {"_Sleep@4", "_Sleep@4"}, // a stdcall C name
        {"_Z", "_Z"},
        {"_Zfoo", "_Zfoo"},
        {"?bad", "?bad"},
        {"", ""},
    };
    for (const auto &[name, readable] : cases) {
        EXPECT_EQ(Demangle(name), readable) << name;
    }
}

TEST(Demangle, DeepNamesWithinTheLimitAreReadAndLongerOnesAreLeft)
{
    // Each "PFv" ... "E" opens one more level of function pointers: one recursion each.
    const auto nested = [](std::size_t levels) {
        return "_Z1f" + [levels] {
            std::string s;
            for (std::size_t i = 0; i < levels; ++i) {
                s += "PFv";
            }
            return s + std::string(levels, 'E');
        }() + "v";
    };
    const std::string deep = nested(1000);
    ASSERT_LE(deep.size(), kMaxDemangleLength);
    EXPECT_EQ(Demangle(deep).rfind("f(void (*)(", 0), 0u);
    const std::string tooDeep = nested(100000);
    EXPECT_EQ(Demangle(tooDeep), tooDeep);
}

} // namespace
} // namespace quorvane
