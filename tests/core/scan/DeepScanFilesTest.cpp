// The deep scan of a path: real files read in pieces, and every kind of path that is no readable
// file, which gives empty lists, quickly, without creating or changing anything.
#include "core/pe/FileBytes.h"
#include "core/scan/DeepScan.h"
#include "core/scan/DeepScanReference.h"
#include "core/scan/ScanSources.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

using test::kAllTypes;
using test::TempDir;
using namespace std::string_literals;

std::vector<std::string> Entries(const std::filesystem::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void ExpectNotReadable(const DeepScanResult &r, DeepScanOutcome why, const std::string &what)
{
    EXPECT_EQ(r.outcome, why) << what;
    EXPECT_TRUE(r.scratch.empty()) << what;
    EXPECT_TRUE(r.dependencies.empty()) << what;
}

TEST(RunDeepScan, NamesAcrossThePiecesOfARealFile)
{
    // Around each seam between pieces a name whose point stands a little further on, so that the
    // seams cut the names' runs, their points and their extensions; then a run longer than a piece.
    constexpr std::size_t kSeams = 11;
    std::string bytes((kSeams + 3) * kDeepScanChunkSize, '\0');
    for (std::size_t seam = 1; seam <= kSeams; ++seam) {
        const std::string name = "SEAM" + std::to_string(seam) + ".Dll";
        const std::size_t point = seam * kDeepScanChunkSize + seam - 7;
        bytes.replace(point - (name.size() - 4), name.size(), name);
    }
    reference::Result expected = reference::DeepScan(bytes, kAllTypes);
    ASSERT_EQ(expected.scratch.size(), kSeams);
    // The reference's regular expression recurses once per character: a name this long is checked
    // by hand.
    const std::string longRun(kDeepScanChunkSize + 100, 'w');
    bytes.replace((kSeams + 1) * kDeepScanChunkSize - 50, longRun.size() + 4, longRun + ".ocx");
    expected.scratch.push_back(std::string(longRun.size(), 'W') + ".OCX");
    expected.dependencies.push_back(expected.scratch.back());

    TempDir dir;
    const auto path = dir.Write("seams.bin", bytes);
    const DeepScanResult r = RunDeepScan(path.string(), kAllTypes);
    EXPECT_EQ(r.outcome, DeepScanOutcome::Complete);
    EXPECT_EQ(r.scratch, expected.scratch);
    EXPECT_EQ(r.dependencies, expected.dependencies);
    EXPECT_EQ(test::ReadWholeFile(path), bytes) << "the scanned file is never written";
}

TEST(RunDeepScan, MissingPathGivesEmptyListsAndCreatesNothing)
{
    TempDir dir;
    dir.Write("present.dll", "\0A.DLL\0"s);
    const auto before = Entries(dir.Path());
    ExpectNotReadable(RunDeepScan((dir / "absent.dll").string(), kAllTypes),
                      DeepScanOutcome::NoSuchFile, "absent");
    ExpectNotReadable(RunDeepScan((dir / "no/such/folder.dll").string(), kAllTypes),
                      DeepScanOutcome::NoSuchFile, "folder");
    ExpectNotReadable(RunDeepScan("", kAllTypes), DeepScanOutcome::NoSuchFile, "empty path");
    EXPECT_EQ(Entries(dir.Path()), before);
}

TEST(RunDeepScan, FolderPipeAndDeviceAreNotRead)
{
    TempDir dir;
    ExpectNotReadable(RunDeepScan(dir.Path().string(), kAllTypes), DeepScanOutcome::NotAFile,
                      "folder");
    const auto fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ExpectNotReadable(RunDeepScan(fifo.string(), kAllTypes), DeepScanOutcome::NotAFile,
                      "pipe with no writer: no hang");
    ExpectNotReadable(RunDeepScan("/dev/zero", kAllTypes), DeepScanOutcome::NotAFile,
                      "endless device");
    ExpectNotReadable(RunDeepScan("/dev/null", kAllTypes), DeepScanOutcome::NotAFile,
                      "empty device");
}

TEST(RunDeepScan, EmptyFileIsReadableAndHoldsNoNames)
{
    TempDir dir;
    const DeepScanResult r = RunDeepScan(dir.Write("empty.dll", "").string(), kAllTypes);
    EXPECT_EQ(r.outcome, DeepScanOutcome::Complete);
    EXPECT_TRUE(r.scratch.empty());
}

TEST(RunDeepScan, UnreadableFileGivesEmptyLists)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    TempDir dir;
    const auto path = dir.Write("locked.dll", "\0A.DLL\0"s);
    std::filesystem::permissions(path, std::filesystem::perms::none);
    ExpectNotReadable(RunDeepScan(path.string(), kAllTypes), DeepScanOutcome::CannotOpen,
                      "no permission");
}

// The real file cut short on disk between two pieces: pread then comes back short.
TEST(RunDeepScan, FileThatShrinksWhileScannedEndsTheScan)
{
    TempDir dir;
    const auto path = dir.Write("shrinks.dll", "\0A.DLL\0"s + std::string(1 << 20, 'x'));
    const auto file = FileBytes::Open(path.string());
    ASSERT_TRUE(file);
    class ShrinkingFile final : public PagedSource {
    public:
        ShrinkingFile(const FileBytes &f, std::filesystem::path p)
            : PagedSource(f.Size()), m_file(f), m_path(std::move(p))
        {
        }
        std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
        {
            if (++m_reads == 2) {
                std::filesystem::resize_file(m_path, 1000);
            }
            return m_file.ReadAt(offset, out);
        }

    private:
        const FileBytes &m_file;
        std::filesystem::path m_path;
        mutable int m_reads = 0;
    };
    const DeepScanResult r = ScanSourceContents(ShrinkingFile(*file, path), kAllTypes);
    EXPECT_EQ(r.outcome, DeepScanOutcome::ReadFailed);
    EXPECT_TRUE(r.scratch.empty());
    EXPECT_TRUE(r.dependencies.empty());
}

TEST(RunDeepScan, FileThatGrowsWhileScannedIsReadToTheSizeItHad)
{
    TempDir dir;
    const auto path = dir.Write("grows.dll", "\0A.DLL\0"s + std::string(1 << 20, 'x'));
    const auto file = FileBytes::Open(path.string());
    ASSERT_TRUE(file);
    class GrowingFile final : public PagedSource {
    public:
        GrowingFile(const FileBytes &f, std::filesystem::path p)
            : PagedSource(f.Size()), m_file(f), m_path(std::move(p))
        {
        }
        std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
        {
            std::ofstream(m_path, std::ios::binary | std::ios::app) << "\\GROWN.DLL\\";
            return m_file.ReadAt(offset, out);
        }

    private:
        const FileBytes &m_file;
        std::filesystem::path m_path;
    };
    const DeepScanResult r = ScanSourceContents(GrowingFile(*file, path), kAllTypes);
    EXPECT_EQ(r.outcome, DeepScanOutcome::Complete);
    EXPECT_EQ(r.scratch, std::vector<std::string>{"A.DLL"});
}

TEST(RunDeepScan, NamesThatDoNotFitInMemoryEndTheScan)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer stops the program at a request this large";
#else
    // A piece of 16 TiB stands in for a name of that size: the first allocation that cannot be met.
    const DeepScanResult r =
        ScanSourceContents(test::BytesSource("\0A.DLL"s), kAllTypes, nullptr, std::size_t{1} << 44);
    EXPECT_EQ(r.outcome, DeepScanOutcome::OutOfMemory);
    EXPECT_TRUE(r.scratch.empty());
#endif
}

TEST(RunDeepScan, CancelledBeforeItStarts)
{
    TempDir dir;
    const auto path = dir.Write("a.dll", "\0A.DLL\0"s);
    std::atomic<bool> cancel{true};
    EXPECT_EQ(RunDeepScan(path.string(), kAllTypes, &cancel).outcome, DeepScanOutcome::Cancelled);
    cancel = false;
    EXPECT_EQ(RunDeepScan(path.string(), kAllTypes, &cancel).scratch,
              std::vector<std::string>{"A.DLL"});
}

} // namespace
} // namespace quorvane
