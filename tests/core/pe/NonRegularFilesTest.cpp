// Paths that are not plain, steady PE files: devices, pipes, folders, link loops, files that change
// or shrink while they are read, a 4 GiB file, a file without read permission. Each gets a status
// at once, never a signal or a wait.
#include "core/pe/FileBytes.h"
#include "core/pe/PeImage.h"
#include "core/pe/modPETables.h"
#include "support/PeBuilder.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Timing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::Bitness;
using test::BuiltPe;
using test::PeBuilder;

BuiltPe Sample(Bitness bitness = Bitness::Pe32)
{
    PeBuilder b;
    b.bitness = bitness;
    b.imports = {"KERNEL32.dll", "USER32.dll"};
    b.exports = {"Alpha", "Beta"};
    return b.Build();
}

class SpecialFiles : public ::testing::Test {
protected:
    test::TempDir dir;
};

TEST_F(SpecialFiles, PathsThatAreNoRegularFileFailAtOnce)
{
    const auto fifo = (dir / "pipe.dll").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto loop = dir / "loop.dll";
    std::filesystem::create_symlink(loop, loop);
    const auto toDevice = dir / "device.dll";
    std::filesystem::create_symlink("/dev/zero", toDevice);
    const auto empty = dir.Write("empty.dll", "").string();
    const std::vector<std::string> paths = {fifo,
                                            "/dev/zero",
                                            "/dev/urandom",
                                            "/proc/self/status",
                                            "/proc/self/mem",
                                            dir.Path().string(),
                                            loop.string(),
                                            toDevice.string(),
                                            (dir / "missing.dll").string(),
                                            (dir / "missing" / "deeper.dll").string(),
                                            "",
                                            empty};
    for (const std::string &path : paths) {
        const auto start = std::chrono::steady_clock::now();
        std::string list = "untouched", status;
        EXPECT_FALSE(GetImportList(path, list, status)) << path;
        EXPECT_EQ(status, kStatusErrorMapping) << path;
        EXPECT_FALSE(GetExportList(path, list, status)) << path;
        EXPECT_EQ(status, kStatusErrorMapping) << path;
        EXPECT_EQ(list, "untouched") << path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, test::kAtOnce) << path;
    }
}

TEST_F(SpecialFiles, FileWithoutReadPermissionFailsToMap)
{
    // As root every file is readable, so the reading runs as an unprivileged user then.
    const auto path = Sample().WriteTo(dir / "locked.dll").string();
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    std::filesystem::permissions(path, std::filesystem::perms::none);
    const auto r = test::RunUnprivileged(
        [&path] {
            std::string list, status;
            const bool imports = GetImportList(path, list, status);
            const bool importStatus = status == kStatusErrorMapping;
            const bool exports = GetExportList(path, list, status);
            return !imports && importStatus && !exports && status == kStatusErrorMapping ? 0 : 1;
        },
        10s);
    EXPECT_TRUE(r.exited && r.exitCode == 0) << "exit " << r.exitCode << ", signal " << r.signal;
}

TEST_F(SpecialFiles, FileThatShrinksAfterOpeningEndsInAStatus)
{
    // Enough descriptors that the names lie pages away from the headers.
    PeBuilder b;
    b.imports.assign(4000, "A_RATHER_LONG_LIBRARY_NAME.dll");
    const BuiltPe pe = b.Build();
    ASSERT_GT(pe.layout.importNameOffsets[0], FileBytes::kPageSize);
    const auto path = pe.WriteTo(dir / "shrinking.dll");
    auto file = FileBytes::Open(path.string());
    ASSERT_TRUE(file);
    ASSERT_TRUE(PeImage::Parse(*file));
    // Cut the file after its headers were read: the pages still to be read are gone.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(pe.layout.sectionOffset + 8)), 0);
    const auto r = ReadImportNames(*file);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.Status(), kStatusImportWalkFailed) << "the headers' page was read before the cut";
    EXPECT_TRUE(r.names.empty());
}

TEST_F(SpecialFiles, FileThatGrowsAfterOpeningShowsOnlyItsOldBytes)
{
    // A name that runs to the end of the file without its zero; the zero arrives after opening.
    const auto path = dir.Write("growing.dll", "MZ-NAME-WITHOUT-END").string();
    auto file = FileBytes::Open(path);
    ASSERT_TRUE(file);
    std::ofstream(path, std::ios::binary | std::ios::app).write("\0tail", 5);
    EXPECT_EQ(ByteView(*file).ReadCString(3), std::nullopt)
        << "bytes past the size the file had when it was opened are not part of it";
}

TEST_F(SpecialFiles, FileRewrittenWhileReadGivesTheTrueNamesOrAStatus)
{
    PeBuilder b;
    b.imports.assign(3000, "LIBRARY.dll"); // tables that span two pages
    b.exports = {"Alpha", "Beta"};
    const BuiltPe pe = b.Build();
    const auto path = pe.WriteTo(dir / "changing.dll");
    std::string expected, unused;
    ASSERT_TRUE(GetImportList(path.string(), expected, unused));

    std::atomic<bool> stop = false;
    std::thread writer([&] {
        for (std::uint64_t round = 0; !stop; ++round) {
            switch (round % 3) {
            case 0:
                std::filesystem::resize_file(path, 0);
                break;
            case 1:
                std::filesystem::resize_file(path, pe.bytes.size() / 2);
                break;
            default:
                pe.WriteTo(path);
                break;
            }
        }
    });
    int good = 0, failed = 0;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < 1s) {
        std::string list, status;
        if (GetImportList(path.string(), list, status)) {
            EXPECT_EQ(list, expected) << "a list is only ever the true one";
            ++good;
        } else {
            EXPECT_TRUE(status == kStatusErrorMapping || status == kStatusImportWalkFailed ||
                        status == kStatusNoImports)
                << status;
            ++failed;
        }
        GetExportList(path.string(), list, status);
    }
    stop = true;
    writer.join();
    std::printf("changing file: %d full lists, %d statuses\n", good, failed);
    EXPECT_GT(good + failed, 10);
}

// Bytes this process has read through read-type calls so far; nullopt where /proc has no io file.
std::optional<std::uint64_t> BytesReadSoFar()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") {
            return value;
        }
    }
    return std::nullopt;
}

TEST_F(SpecialFiles, FourGibibyteSparseFileReadsOnlyItsTables)
{
    const BuiltPe pe = Sample(Bitness::Pe32Plus);
    const auto path = pe.WriteTo(dir / "huge.dll");
    std::filesystem::resize_file(path, 1ull << 32);
    const auto before = BytesReadSoFar();
    const auto start = std::chrono::steady_clock::now();
    std::string imports, exports, status;
    EXPECT_TRUE(GetImportList(path.string(), imports, status));
    EXPECT_TRUE(GetExportList(path.string(), exports, status));
    EXPECT_LT(std::chrono::steady_clock::now() - start, test::kAtOnce);
    EXPECT_EQ(imports, "KERNEL32.dll\r\nUSER32.dll");
    EXPECT_EQ(exports, "Alpha\r\nBeta");
    if (before) {
        // Two readers, each one 64 KiB page of headers and tables.
        EXPECT_LE(*BytesReadSoFar() - *before, 4 * FileBytes::kPageSize);
    }
}

} // namespace
} // namespace quorvane
