// The readers on files: every malformed case read where opening for writing would fail and left as
// it was; paths that are no regular file, which fail at once without being opened; files that
// shrink or grow while they are read; a 4 GiB file of which only the tables are read; and real
// DLLs, whose names must agree with objdump's.
#include "core/pe/FileBytes.h"
#include "core/pe/PeImage.h"
#include "support/MalformedPe.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Timing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>

namespace quorvane {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::Mismatch;

// As root the reading runs as an unprivileged user on files it may not write; otherwise the files
// carry no write permission for their owner. Either way a reader that asked for write access gets
// "Error mapping file." instead of its names, as it must for a file it may not read (the last).
TEST(PeFiles, EveryMalformedCaseIsReadWithoutWriteAccessAndLeftAsItWas)
{
    // A file's bytes, size, and modification and change times.
    const auto snapshot = [](const std::string &path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        std::ostringstream s;
        s << st.st_size << ' ' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << ' '
          << st.st_ctim.tv_sec << '.' << st.st_ctim.tv_nsec << ' ' << std::ifstream(path).rdbuf();
        return s.str();
    };
    test::TempDir dir;
    std::vector<std::pair<std::string, test::ExpectedRead>> reads;
    std::vector<std::string> before;
    for (const auto &c : test::MalformedCases()) {
        for (const auto bitness : {test::Bitness::Pe32, test::Bitness::Pe32Plus}) {
            test::BuiltPe pe{c.make(bitness), {}};
            const auto path = pe.WriteTo(dir / (c.name + std::to_string(int(bitness)))).string();
            fs::permissions(path, fs::perms(0444));
            before.push_back(snapshot(path));
            reads.insert(reads.end(), {{path, c.imports}, {path, c.exports}});
        }
    }
    fs::permissions(dir.Path(), fs::perms::others_exec, fs::perm_options::add);
    const auto locked = test::PeBuilder{}.Build().WriteTo(dir / "locked.dll").string();
    fs::permissions(locked, fs::perms::none);
    reads.push_back({locked, {kStatusErrorMapping, {}}});
    const auto r = test::RunUnprivileged(
        [&reads] {
            int mismatches = 0;
            for (std::size_t i = 0; i < reads.size(); ++i) {
                const auto &[path, expected] = reads[i];
                const auto m =
                    Mismatch(expected, i % 2 ? ReadExportNames(path) : ReadImportNames(path));
                if (!m.empty()) {
                    std::cerr << path << (i % 2 ? " exports: " : " imports: ") << m << '\n';
                    ++mismatches;
                }
            }
            return mismatches == 0 ? 0 : 1;
        },
        240s); // a guard against a hang: the sanitizer build is slow on a busy machine
    EXPECT_TRUE(r.exited && r.exitCode == 0) << "exit " << r.exitCode << ", signal " << r.signal;
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(snapshot(reads[2 * i].first), before[i]) << reads[2 * i].first << " changed";
    }
}

TEST(PeFiles, PathsThatAreNoRegularFileFailAtOnceWithoutBeingOpened)
{
    test::TempDir dir;
    const auto fifo = dir / "pipe.dll";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO, or a device, can have effects of its own: the readers only look at them.
    const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(opens, fifo.c_str(), IN_OPEN), 0);
    fs::create_symlink(dir / "loop.dll", dir / "loop.dll");
    fs::create_symlink("/dev/zero", dir / "device.dll");
    for (const fs::path &path :
         {fifo, fs::path("/dev/zero"), fs::path("/dev/urandom"), fs::path("/proc/self/mem"),
          dir.Path(), dir / "loop.dll", dir / "device.dll", dir / "missing" / "x.dll", fs::path(),
          dir.Write("empty.dll", "")}) {
        const auto start = std::chrono::steady_clock::now();
        std::string list = "untouched", status;
        EXPECT_FALSE(GetImportList(path, list, status) || status != kStatusErrorMapping) << path;
        EXPECT_FALSE(GetExportList(path, list, status) || status != kStatusErrorMapping) << path;
        EXPECT_EQ(list, "untouched") << path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, test::kAtOnce) << path;
    }
    char event[256];
    EXPECT_LT(::read(opens, event, sizeof event), 0) << "the FIFO was opened";
    ::close(opens);
}

// A file cut after its headers were read no longer holds the pages still to be read (with enough
// descriptors, the names lie pages away from the headers); one that grew shows only its old bytes,
// here a name that runs to the end without its zero, which arrives after opening.
TEST(PeFiles, FileThatShrinksOrGrowsAfterOpeningEndsInAStatus)
{
    test::TempDir dir;
    // 4,000 copies of one name.
    const test::BuiltPe pe =
        test::PeBuilder{.imports = {4000, "A_RATHER_LONG_LIBRARY_NAME.dll"}}.Build();
    const auto path = pe.WriteTo(dir / "shrinking.dll").string();
    auto file = FileBytes::Open(path);
    ASSERT_TRUE(file && PeImage::Parse(*file));
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(pe.layout.sectionOffset + 8)), 0);
    EXPECT_EQ(Mismatch({kStatusImportWalkFailed, {}}, ReadImportNames(*file)), "");

    file = FileBytes::Open(dir.Write("growing.dll", "MZ-NAME-WITHOUT-END").string());
    ASSERT_TRUE(file);
    std::ofstream(dir / "growing.dll", std::ios::binary | std::ios::app).write("\0tail", 5);
    EXPECT_EQ(ByteView(*file).ReadCString(3), std::nullopt);
}

// Two readers, each one 64 KiB page of headers and tables.
TEST(PeFiles, FourGibibyteSparseFileReadsOnlyItsTables)
{
    // Bytes this process has read through read-type calls so far (0 where /proc has no io file).
    const auto bytesReadSoFar = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        std::uint64_t value = 0;
        while (io >> key >> value && key != "rchar:") {
        }
        return value;
    };
    test::TempDir dir;
    const test::PeBuilder b{.bitness = test::Bitness::Pe32Plus,
                            .imports = {"KERNEL32.dll", "USER32.dll"},
                            .exports = {"Alpha", "Beta"}};
    const auto path = b.Build().WriteTo(dir / "huge.dll");
    fs::resize_file(path, 1ull << 32);
    const auto before = bytesReadSoFar();
    const auto start = std::chrono::steady_clock::now();
    std::string imports, exports, status;
    EXPECT_TRUE(GetImportList(path, imports, status) && GetExportList(path, exports, status));
    EXPECT_LT(std::chrono::steady_clock::now() - start, test::kAtOnce);
    EXPECT_EQ(imports + "|" + exports, "KERNEL32.dll\r\nUSER32.dll|Alpha\r\nBeta");
    EXPECT_LE(bytesReadSoFar() - before, 4 * FileBytes::kPageSize);
}

// Real Windows DLLs that Debian ships (MinGW-w64's winpthreads, 32- and 64-bit) against the objdump
// of their architecture, whose DLL names and export name table awk picks out of "-p".
class RealDlls : public ::testing::TestWithParam<std::string> {};

TEST_P(RealDlls, NamesAgreeWithObjdump)
{
    const std::string dll = "/usr/" + GetParam() + "/lib/libwinpthread-1.dll";
    const std::string objdump =
        GetParam() + "-objdump -p '" + dll + "' 2>/dev/null | awk '" +
        R"(/DLL Name: / { print "I" $3 } t && !/\] / { t = 0 })" +
        R"(t { sub(/^[^\]]*\] /, "E"); print } /Name Pointer\] Table/ { t = 1 }')";
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(objdump.c_str(), "r"), ::pclose);
    std::vector<std::string> names[2]; // imports, exports
    for (char line[4096]; pipe && std::fgets(line, sizeof line, pipe.get());) {
        names[line[0] == 'E'].emplace_back(line + 1, std::strcspn(line + 1, "\r\n"));
    }
    if (names[0].empty() || names[1].empty()) {
        GTEST_SKIP() << dll << " or " << GetParam() << "-objdump is not installed";
    }
    EXPECT_EQ(Mismatch({kStatusImportsOk, names[0]}, ReadImportNames(dll)), "");
    EXPECT_EQ(Mismatch({kStatusExportsOk, names[1]}, ReadExportNames(dll)), "");
}

INSTANTIATE_TEST_SUITE_P(Winpthreads, RealDlls,
                         ::testing::Values("x86_64-w64-mingw32", "i686-w64-mingw32"),
                         [](const auto &param) { return param.index == 0 ? "Pe32Plus" : "Pe32"; });

} // namespace
} // namespace quorvane
