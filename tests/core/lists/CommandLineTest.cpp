// The command-line text: the argument vector joined again, and the raw line less the program name.
#include "core/lists/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvane {
namespace {

std::string Join(std::vector<const char *> argv)
{
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    return JoinArguments(argc, argv.data());
}

TEST(JoinArguments, ArgumentsAfterTheProgramNameWithSingleSpaces)
{
    EXPECT_EQ(Join({}), "");
    EXPECT_EQ(Join({"quorvane"}), "");
    EXPECT_EQ(Join({"quorvane", "/tmp/my", "file.dll"}), "/tmp/my file.dll");
    EXPECT_EQ(Join({"quorvane", "-style", "fusion"}), "-style fusion");
    EXPECT_EQ(Join({"quorvane", "\"a b\"", " c "}), "\"a b\"  c ") << "nothing trimmed or unquoted";
    EXPECT_EQ(Join({"quorvane", "", "x"}), " x");
}

TEST(TextAfterProgramName, SkipsTheNameAndTheBlanksAfterIt)
{
    EXPECT_EQ(TextAfterProgramName(L""), L"");
    EXPECT_EQ(TextAfterProgramName(L"quorvane.exe"), L"");
    EXPECT_EQ(TextAfterProgramName(L"quorvane.exe  \t "), L"");
    EXPECT_EQ(TextAfterProgramName(L"quorvane.exe C:\\a b.dll  "), L"C:\\a b.dll  ");
    EXPECT_EQ(TextAfterProgramName(L"\"C:\\Program Files\\quorvane.exe\" \"C:\\x y.dll\""),
              L"\"C:\\x y.dll\"");
    EXPECT_EQ(TextAfterProgramName(L"\"C:\\q.exe\"x.dll"), L"x.dll");
    EXPECT_EQ(TextAfterProgramName(L"\"C:\\never closed x.dll"), L"");
}

} // namespace
} // namespace quorvane
