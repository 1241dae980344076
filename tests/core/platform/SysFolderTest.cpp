// The system folder's buffer-and-retry logic, over a scripted platform call.
#include "core/platform/modSysFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace quorvane {
namespace {

// One call of the platform: what it was handed, and what it writes and answers.
struct CallRecord {
    std::uint32_t size;
    std::string bufferOnEntry;
};

class ScriptedCall {
public:
    struct Answer {
        std::string writes; // written with a terminating zero when it fits
        std::uint32_t returns;
    };
    explicit ScriptedCall(std::vector<Answer> answers) : m_answers(std::move(answers)) {}

    SystemDirectoryCall<char> Call()
    {
        return [this](char *buffer, std::uint32_t size) {
            calls.push_back({size, std::string(buffer, size)});
            const Answer &answer = m_answers.at(calls.size() - 1);
            if (answer.writes.size() < size) {
                std::memcpy(buffer, answer.writes.data(), answer.writes.size());
                buffer[answer.writes.size()] = '\0';
            }
            return answer.returns;
        };
    }
    std::vector<CallRecord> calls;

private:
    std::vector<Answer> m_answers;
};

TEST(GetSystemFolder, NormalCountGivesThePathWithoutTrailingSeparator)
{
    const std::string folder = "C:\\WINDOWS\\system32";
    ScriptedCall platform({{folder, static_cast<std::uint32_t>(folder.size())}});
    EXPECT_EQ(GetSystemFolderWith(platform.Call()), folder);
    ASSERT_EQ(platform.calls.size(), 1u);
    EXPECT_EQ(platform.calls[0].size, 512u);
    EXPECT_EQ(platform.calls[0].bufferOnEntry, std::string(512, '\0'));
}

TEST(GetSystemFolder, ZeroCountIsFailureAndGivesTheEmptyText)
{
    ScriptedCall platform({{"", 0}});
    EXPECT_EQ(GetSystemFolderWith(platform.Call()), "");
    EXPECT_EQ(platform.calls.size(), 1u);
}

TEST(GetSystemFolder, CountAboveTheBufferRetriesWithTheSizeAskedForPlusOne)
{
    const std::string folder = "C:\\" + std::string(696, 'x'); // 699 characters
    ScriptedCall platform({{"", 700}, {folder, 699}});
    EXPECT_EQ(GetSystemFolderWith(platform.Call()), folder);
    ASSERT_EQ(platform.calls.size(), 2u);
    EXPECT_EQ(platform.calls[1].size, 701u);
    EXPECT_EQ(platform.calls[1].bufferOnEntry, std::string(701, ' '));
}

TEST(GetSystemFolder, TheCountAloneCutsTheResult)
{
    // A count short of what was written cuts there; a zero inside the count is kept.
    ScriptedCall shorter({{"C:\\WINDOWS\\system32", 10}});
    EXPECT_EQ(GetSystemFolderWith(shorter.Call()), "C:\\WINDOWS");
    ScriptedCall exact({{"", 512}});
    EXPECT_EQ(GetSystemFolderWith(exact.Call()), std::string(512, '\0'));
    EXPECT_EQ(exact.calls.size(), 1u);
}

TEST(GetSystemFolder, ASecondCallThatStillAsksForMoreIsFailure)
{
    ScriptedCall growing({{"", 700}, {"", 900}});
    EXPECT_EQ(GetSystemFolderWith(growing.Call()), "");
    ScriptedCall failing({{"", 700}, {"", 0}});
    EXPECT_EQ(GetSystemFolderWith(failing.Call()), "");
    ScriptedCall huge({{"", UINT32_MAX}});
    EXPECT_EQ(GetSystemFolderWith(huge.Call()), "");
    EXPECT_EQ(huge.calls.size(), 1u);
}

TEST(GetSystemFolder, WideCharactersTakeTheSameRoute)
{
    const std::wstring folder = L"C:\\Windows\\System32";
    int calls = 0;
    const SystemDirectoryCall<wchar_t> call = [&](wchar_t *buffer, std::uint32_t size) {
        ++calls;
        if (size <= folder.size()) {
            return static_cast<std::uint32_t>(folder.size() + 1);
        }
        std::wmemcpy(buffer, folder.data(), folder.size());
        return static_cast<std::uint32_t>(folder.size());
    };
    EXPECT_EQ(GetSystemFolderWith(call), folder);
    EXPECT_EQ(calls, 1);
}

} // namespace
} // namespace quorvane
