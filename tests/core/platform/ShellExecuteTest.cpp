// ShellOpenDocument's branches and its error table, over a recording shell call.
#include "core/platform/modShellExecute.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

namespace quorvane {
namespace {

struct ShellCall {
    WindowHandle owner;
    std::string operation;
    std::string file;
    std::string parameters;
    std::string directory;
    std::int32_t showCommand;
};

class RecordingShell {
public:
    explicit RecordingShell(std::intptr_t answer) : m_answer(answer) {}
    ShellExecuteCall Call()
    {
        return
            [this](WindowHandle owner, const std::string &operation, const std::string &file,
                   const std::string &parameters, const std::string &directory, std::int32_t show) {
                calls.push_back({owner, operation, file, parameters, directory, show});
                return m_answer;
            };
    }
    std::vector<ShellCall> calls;

private:
    std::intptr_t m_answer;
};

bool Open(RecordingShell &shell, const std::string &document, std::int32_t show,
          const std::string &parameters = "", const std::string &directory = "")
{
    return ShellOpenDocument(document, show, parameters, directory, "open", 77, shell.Call());
}

struct ErrorRow {
    std::int32_t code;
    std::int32_t number;
    const char *message;
};

constexpr const char *kOther =
    "An error occurred occurred whilst trying to open or print the selected file.";

// Every code the shell can answer with, and the record each leaves.
const ErrorRow kRows[] = {
    {0, 7, "Out of memory"},
    {1, -2147220455, kOther},
    {2, 53, "File not found"},
    {3, 76, "Path not found"},
    {4, -2147220452, kOther},
    {5, 75, "Path/file access error"},
    {6, -2147220450, kOther},
    {7, -2147220449, kOther},
    {8, 7, "Out of memory"},
    {9, -2147220447, kOther},
    {10, -2147220446, kOther},
    {11, -2147220445, "The executable file is invalid or corrupt"},
    {12, -2147220444, kOther},
    {13, -2147220443, kOther},
    {14, -2147220442, kOther},
    {15, -2147220441, kOther},
    {16, -2147220440, kOther},
    {17, -2147220439, kOther},
    {18, -2147220438, kOther},
    {19, -2147220437, kOther},
    {20, -2147220436, kOther},
    {21, -2147220435, kOther},
    {22, -2147220434, kOther},
    {23, -2147220433, kOther},
    {24, -2147220432, kOther},
    {25, -2147220431, kOther},
    {26, 75, "A sharing violation occurred."},
    {27, -2147220429, "This file type does not have a valid file association."},
    {28, 286, "The file could not be opened due to time out. Please try again in a moment."},
    {29, 285,
     "The file could not be opened because the DDE transaction failed. Please try again in a "
     "moment."},
    {30, 285,
     "The file could not be opened because the target application is busy. Please try again in a "
     "moment."},
    {31, -2147220425, "No application is associated with this file type."},
    {32, 48, "The specified dynamic-link library was not found."},
};

TEST(ShellOpenDocument, EveryFailureCodeLeavesItsRecord)
{
    const std::string source = ProgramFileStem() + ".GShell";
    for (const ErrorRow &row : kRows) {
        SCOPED_TRACE(row.code);
        RecordingShell shell(row.code);
        EXPECT_FALSE(Open(shell, "https://example.org/", kShowDefault));
        EXPECT_EQ(LastShellError().number, row.number);
        EXPECT_EQ(LastShellError().description, row.message);
        EXPECT_EQ(LastShellError().source, source);
    }
}

TEST(ShellOpenDocument, SourceIsTheProgramNameWithoutExtension)
{
    EXPECT_EQ(ProgramFileStem(), "quorvane_platform_tests");
    EXPECT_EQ(ShellErrorFor(2, "quorvane").source, "quorvane.GShell");
}

TEST(ShellOpenDocument, AnswersAbove32OrBelow0AreSuccessAndClearTheRecord)
{
    for (const std::intptr_t answer : {std::intptr_t{33}, std::intptr_t{42}, std::intptr_t{-1},
                                       std::intptr_t{INT32_MIN}, std::intptr_t{1} << 40}) {
        SCOPED_TRACE(answer);
        RecordingShell failing(2);
        Open(failing, "x", kShowDefault);
        ASSERT_NE(LastShellError().number, 0);
        RecordingShell shell(answer);
        EXPECT_TRUE(Open(shell, "https://example.org/", kShowDefault));
        EXPECT_EQ(LastShellError().number, 0);
        EXPECT_EQ(LastShellError().description, "");
    }
}

TEST(ShellOpenDocument, EmptyParametersAndDirectoryAskForANormalWindow)
{
    for (const std::int32_t show : {kShowHidden, 3, kShowDefault}) {
        RecordingShell shell(42);
        Open(shell, "C:\\Tools\\setup.exe", show);
        ASSERT_EQ(shell.calls.size(), 1u);
        const ShellCall &call = shell.calls[0];
        EXPECT_EQ(call.showCommand, kShowNormal);
        EXPECT_EQ(call.parameters, "");
        EXPECT_EQ(call.directory, "");
        EXPECT_EQ(call.file, "C:\\Tools\\setup.exe");
        EXPECT_EQ(call.operation, "open");
        EXPECT_EQ(call.owner, 77u);
    }
}

TEST(ShellOpenDocument, AnExecutableWithParametersOrDirectoryIsShownHidden)
{
    struct Case {
        const char *document;
        const char *parameters;
        const char *directory;
        std::int32_t expectedShow;
    };
    const Case cases[] = {
        {"C:\\Tools\\SETUP.EXE", "/quiet", "", kShowHidden},
        {"c:\\tools\\setup.exe", "/quiet", "", kShowHidden},
        {"C:\\Tools\\Setup.Exe", "", "C:\\Tools", kShowHidden},
        {"C:\\my.exe.files\\readme.txt", "-v", "", kShowHidden}, // ".exe" in a folder name
        {"C:\\Tools\\readme.txt", "-v", "", kShowDefault},
        {"C:\\Tools\\setup.ex", "-v", "", kShowDefault},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.document);
        RecordingShell shell(42);
        Open(shell, c.document, kShowDefault, c.parameters, c.directory);
        ASSERT_EQ(shell.calls.size(), 1u);
        EXPECT_EQ(shell.calls[0].showCommand, c.expectedShow);
        EXPECT_EQ(shell.calls[0].parameters, c.parameters);
        EXPECT_EQ(shell.calls[0].directory, c.directory);
    }
}

TEST(ShellOpenDocument, AShellCallThatCannotBeMadeCountsAsCodeZero)
{
    const ShellExecuteCall broken = [](WindowHandle, const std::string &, const std::string &,
                                       const std::string &, const std::string &,
                                       std::int32_t) -> std::intptr_t {
        throw std::runtime_error("shell library missing");
    };
    bool result = true;
    EXPECT_NO_THROW(result = ShellOpenDocument("x", kShowDefault, "", "", "open", 0, broken));
    EXPECT_FALSE(result);
    EXPECT_EQ(LastShellError().number, 7);
    EXPECT_EQ(LastShellError().description, "Out of memory");
}

} // namespace
} // namespace quorvane
