// The hint table: names fall into their categories by the first matching pattern.
#include "core/packager/DllHints.h"
#include "core/packager/KnownDlls.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(HintTable, KnownNamesFallIntoTheirCategoriesInAnyCase)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"VCRUNTIME140.dll", "msvc-runtime"},
        {"api-ms-win-crt-runtime-l1-1-0.dll", "msvc-runtime"},
        {"msvcrt.dll", "system"},
        {"LIBWINPTHREAD-1.DLL", "mingw-runtime"},
        {"libstdc++-6.dll", "mingw-runtime"},
        {"XINPUT1_3.dll", "directx"},
        {"xinput1_4.dll", "system"},
        {"xinput1_10.dll", "application"},
        {"api-ms-win-core-synch-l1-2-0.dll", "api-set"},
        {"libfoo.dll", "application"},
        {"", "application"},
        {"kernel32.dll.bak", "application"},
    };
    for (const auto &[name, category] : cases) {
        EXPECT_EQ(HintForDependency(name).category, category) << name;
    }
    EXPECT_EQ(BuiltInHints().Problems(), std::vector<std::string>{});
    // Windows loads its KnownDLLs from the system folder, whatever a program carries.
    for (const std::string &name : ParseKnownDlls(BuiltInKnownDllsText())) {
        EXPECT_EQ(HintFor(name).category, kHintSystem) << name;
    }
}

} // namespace
} // namespace quorvane
