// The deep scan of a path: every kind of path that is no readable file fails at once with its
// reason and creates nothing; a sparse file past 4 GiB is read to its end in pieces, never copied.
#include "core/scan/DeepScan.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

constexpr std::array<bool, 5> kAllTypes{true, true, true, true, true};

TEST(RunDeepScan, PathsThatNameNoReadableFileFailAtOnceAndCreateNothing)
{
    test::TempDir dir;
    const auto locked = dir.Write("locked.dll", std::string("\0A.DLL\0", 7));
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const std::pair<std::string, DeepScanOutcome> rows[] = {
        {(dir / "absent.dll").string(), DeepScanOutcome::NoSuchFile},
        {(dir / "no/such/folder.dll").string(), DeepScanOutcome::NoSuchFile},
        {"", DeepScanOutcome::NoSuchFile},
        {dir.Path().string(), DeepScanOutcome::NotAFile},
        {(dir / "pipe").string(), DeepScanOutcome::NotAFile}, // no writer: opening it would hang
        {"/dev/zero", DeepScanOutcome::NotAFile},             // endless
        {"/dev/null", DeepScanOutcome::NotAFile},
        {locked.string(),
         ::geteuid() == 0 ? DeepScanOutcome::Complete : DeepScanOutcome::CannotOpen},
    };
    for (const auto &[path, outcome] : rows) {
        const DeepScanResult r = RunDeepScan(path, kAllTypes);
        EXPECT_EQ(r.outcome, outcome) << path;
        EXPECT_EQ(r.scratch.empty(), outcome != DeepScanOutcome::Complete) << path;
        EXPECT_TRUE(r.dependencies.size() == r.scratch.size()) << path;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

// Names at the start, across the seam of the first two pieces and past every 32-bit offset, with
// a hole of 4 GiB between them that costs no disk; the most memory the process ever held grows by
// far less than the file.
TEST(RunDeepScan, AFileOfFourGibibytesIsReadToItsEndWithoutACopy)
{
    test::TempDir dir;
    const auto path = dir / "large.dll";
    constexpr std::uint64_t kFar = (std::uint64_t{1} << 32) + 100;
    {
        std::ofstream file(path, std::ios::binary);
        file.write("\0KERNEL32.DLL\0", 14);
        file.seekp(static_cast<std::streamoff>(kDeepScanChunkSize - 3));
        file.write("\\SEAM.OCX\\", 10);
        file.seekp(static_cast<std::streamoff>(kFar));
        file.write("\0FAR.DLL\0", 9);
    }
    ASSERT_EQ(std::filesystem::file_size(path), kFar + 9);
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const DeepScanResult r = RunDeepScan(path.string(), kAllTypes);
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(r.outcome, DeepScanOutcome::Complete);
    EXPECT_EQ(r.scratch, (std::vector<std::string>{"KERNEL32.DLL", "FAR.DLL", "SEAM.OCX"}));
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes";
}

} // namespace
} // namespace quorvane
