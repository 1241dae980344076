// ShellOpenDocument over a recording shell call: the record each kind of answer leaves, and the
// window the shell is asked for.
#include "core/platform/modShellExecute.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

namespace quorvane {
namespace {

struct ShellCall {
    std::string file, parameters, directory;
    std::int32_t show = -1;
};

// Opens document through a shell that answers with answer (none: the call cannot be made) and
// records in call what it was asked.
bool Open(std::optional<std::intptr_t> answer, const std::string &document,
          ShellCall *call = nullptr, const std::string &parameters = "",
          const std::string &directory = "")
{
    return ShellOpenDocument(
        document, kShowDefault, parameters, directory, "open", 77,
        [&](WindowHandle, const std::string &, const std::string &file, const std::string &params,
            const std::string &dir, std::int32_t show) -> std::intptr_t {
            if (call) {
                *call = {file, params, dir, show};
            }
            return answer ? *answer : throw std::runtime_error("shell library missing");
        });
}

// The ends of the failure codes, a code with a number of its own and one without, success (which
// clears the record a failure left) and a call that cannot be made.
TEST(ShellOpenDocument, EachKindOfAnswerLeavesItsRecord)
{
    const struct {
        std::optional<std::intptr_t> answer;
        std::int32_t number; // 0: success
        const char *message;
    } rows[] = {
        {0, 7, "Out of memory"},
        {1, -2147220455,
         "An error occurred occurred whilst trying to open or print the selected file."},
        {2, 53, "File not found"},
        {32, 48, "The specified dynamic-link library was not found."},
        {33, 0, ""},
        {-1, 0, ""},
        {std::nullopt, 7, "Out of memory"},
    };
    for (const auto &row : rows) {
        Open(2, "stale record");
        ShellCall call; // a web search has neither parameters nor a folder: a normal window
        EXPECT_EQ(Open(row.answer, "https://example.org/?q=setup.exe", &call), row.number == 0);
        EXPECT_EQ(call.show, kShowNormal);
        EXPECT_EQ(LastShellError().number, row.number) << row.answer.value_or(-99);
        EXPECT_EQ(LastShellError().description, row.message);
        EXPECT_EQ(LastShellError().source, row.number ? "quorvane_platform_tests.GShell" : "");
    }
    // ".EXE" anywhere in the document's upper-case text, with parameters or a folder: hidden.
    ShellCall call;
    Open(42, "C:\\my.exe.files\\readme.txt", &call, "-v", "C:\\Tools");
    EXPECT_EQ(call.file + call.parameters + call.directory,
              "C:\\my.exe.files\\readme.txt-vC:\\Tools");
    EXPECT_EQ(call.show, kShowHidden);
}

} // namespace
} // namespace quorvane
