// The readers on files: every malformed case read where opening for writing would fail and left as
// it was; paths that are no regular file, which fail at once without being opened; files that
// shrink or grow while they are read; a 4 GiB file of which only the tables are read; and real
// DLLs, whose names must agree with objdump's.
#include "core/pe/FileBytes.h"
#include "core/pe/PeImage.h"
#include "core/pe/modPETables.h"
#include "support/MalformedPe.h"
#include "support/PeBuilder.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Timing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A file's bytes, size, and modification and change times.
std::string Snapshot(const fs::path &path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << st.st_size << ' ' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << ' '
      << st.st_ctim.tv_sec << '.' << st.st_ctim.tv_nsec << ' ' << in.rdbuf();
    return s.str();
}

bool Matches(const test::ExpectedRead &expected, bool ok, const std::string &list,
             const std::string &status)
{
    std::string joined;
    for (std::size_t i = 0; i < expected.names.size(); ++i) {
        joined += (i ? "\r\n" : "") + expected.names[i];
    }
    return status == expected.status && (!ok || list == joined);
}

// As root the reading runs as an unprivileged user on files it may not write; otherwise the files
// carry no write permission for their owner. Either way a reader that asked for write access gets
// "Error mapping file." instead of its names, as it must for a file it may not read.
TEST(PeFiles, EveryMalformedCaseIsReadWithoutWriteAccessAndLeftAsItWas)
{
    test::TempDir dir;
    const auto files = test::WriteMalformedCases(dir.Path());
    std::vector<std::string> before;
    for (const auto &f : files) {
        fs::permissions(f.path,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        before.push_back(Snapshot(f.path));
    }
    fs::permissions(dir.Path(), fs::perms::others_exec, fs::perm_options::add);
    // And a sound file that the reader may not read at all.
    const auto locked = test::PeBuilder{}.Build().WriteTo(dir / "locked.dll").string();
    fs::permissions(locked, fs::perms::none);
    const auto r = test::RunUnprivileged(
        [&files, &locked] {
            std::string list, status;
            int mismatches = GetImportList(locked, list, status) || status != kStatusErrorMapping;
            for (const auto &f : files) {
                bool ok = GetImportList(f.path.string(), list, status);
                if (!Matches(f.c->imports, ok, list, status)) {
                    std::cerr << f.path << ": imports gave " << status << '\n';
                    ++mismatches;
                }
                ok = GetExportList(f.path.string(), list, status);
                if (!Matches(f.c->exports, ok, list, status)) {
                    std::cerr << f.path << ": exports gave " << status << '\n';
                    ++mismatches;
                }
            }
            return mismatches == 0 ? 0 : 1;
        },
        60s);
    EXPECT_TRUE(r.exited && r.exitCode == 0) << "exit " << r.exitCode << ", signal " << r.signal;
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(Snapshot(files[i].path), before[i]) << files[i].path << " changed";
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
    for (const std::string &path :
         {fifo.string(), std::string("/dev/zero"), std::string("/dev/urandom"),
          std::string("/proc/self/mem"), dir.Path().string(), (dir / "loop.dll").string(),
          (dir / "device.dll").string(), (dir / "missing" / "x.dll").string(), std::string(),
          dir.Write("empty.dll", "").string()}) {
        const auto start = std::chrono::steady_clock::now();
        std::string list = "untouched", status;
        EXPECT_FALSE(GetImportList(path, list, status)) << path;
        EXPECT_EQ(status, kStatusErrorMapping) << path;
        EXPECT_FALSE(GetExportList(path, list, status)) << path;
        EXPECT_EQ(status, kStatusErrorMapping) << path;
        EXPECT_EQ(list, "untouched") << path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, test::kAtOnce) << path;
    }
    char event[256];
    EXPECT_LT(::read(opens, event, sizeof event), 0) << "the FIFO was opened";
    ::close(opens);
}

TEST(PeFiles, FileThatShrinksAfterOpeningEndsInAStatus)
{
    // Enough descriptors that the names lie pages away from the headers.
    test::TempDir dir;
    test::PeBuilder b;
    b.imports.assign(4000, "A_RATHER_LONG_LIBRARY_NAME.dll");
    const test::BuiltPe pe = b.Build();
    ASSERT_GT(pe.layout.importNameOffsets[0], FileBytes::kPageSize);
    const auto path = pe.WriteTo(dir / "shrinking.dll");
    auto file = FileBytes::Open(path.string());
    ASSERT_TRUE(file);
    ASSERT_TRUE(PeImage::Parse(*file));
    // Cut the file after its headers were read: the pages still to be read are gone.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(pe.layout.sectionOffset + 8)), 0);
    const auto r = ReadImportNames(*file);
    EXPECT_EQ(r.Status(), kStatusImportWalkFailed) << "the headers' page was read before the cut";
    EXPECT_TRUE(r.names.empty());
}

TEST(PeFiles, FileThatGrowsAfterOpeningShowsOnlyItsOldBytes)
{
    // A name that runs to the end of the file without its zero; the zero arrives after opening.
    test::TempDir dir;
    const auto path = dir.Write("growing.dll", "MZ-NAME-WITHOUT-END").string();
    auto file = FileBytes::Open(path);
    ASSERT_TRUE(file);
    std::ofstream(path, std::ios::binary | std::ios::app).write("\0tail", 5);
    EXPECT_EQ(ByteView(*file).ReadCString(3), std::nullopt);
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

TEST(PeFiles, FourGibibyteSparseFileReadsOnlyItsTables)
{
    test::TempDir dir;
    test::PeBuilder b;
    b.bitness = test::Bitness::Pe32Plus;
    b.imports = {"KERNEL32.dll", "USER32.dll"};
    b.exports = {"Alpha", "Beta"};
    const auto path = b.Build().WriteTo(dir / "huge.dll");
    fs::resize_file(path, 1ull << 32);
    const auto before = BytesReadSoFar();
    const auto start = std::chrono::steady_clock::now();
    std::string imports, exports, status;
    EXPECT_TRUE(GetImportList(path.string(), imports, status));
    EXPECT_TRUE(GetExportList(path.string(), exports, status));
    EXPECT_LT(std::chrono::steady_clock::now() - start, test::kAtOnce);
    EXPECT_EQ(imports, "KERNEL32.dll\r\nUSER32.dll");
    EXPECT_EQ(exports, "Alpha\r\nBeta");
    if (before) { // two readers, each one 64 KiB page of headers and tables
        EXPECT_LE(*BytesReadSoFar() - *before, 4 * FileBytes::kPageSize);
    }
}

// Real Windows DLLs that Debian ships (MinGW-w64's winpthreads, 32- and 64-bit).
struct Peer {
    const char *dll;
    const char *objdump;
};

class RealDlls : public ::testing::TestWithParam<Peer> {};

TEST_P(RealDlls, NamesAgreeWithObjdump)
{
    const Peer &peer = GetParam();
    const std::string objdump = std::string(peer.objdump) + " -p '" + peer.dll + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(objdump.c_str(), "r"), ::pclose);
    std::vector<std::string> imports, exports;
    bool inExportNames = false;
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get())) {
        std::string line(buffer);
        line.erase(line.find_last_not_of("\r\n") + 1);
        if (const auto at = line.find("DLL Name: "); at != std::string::npos) {
            imports.push_back(line.substr(at + 10));
        } else if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
            inExportNames = true;
        } else if (const auto close = line.find("] "); inExportNames) {
            inExportNames = close != std::string::npos;
            if (inExportNames) {
                exports.push_back(line.substr(close + 2));
            }
        }
    }
    if (exports.empty()) {
        GTEST_SKIP() << peer.dll << " or " << peer.objdump << " is not installed";
    }
    ASSERT_FALSE(imports.empty());
    const auto ourImports = ReadImportNames(std::string(peer.dll));
    const auto ourExports = ReadExportNames(std::string(peer.dll));
    EXPECT_EQ(ourImports.Status(), kStatusImportsOk);
    EXPECT_EQ(ourImports.names, imports);
    EXPECT_EQ(ourExports.Status(), kStatusExportsOk);
    EXPECT_EQ(ourExports.names, exports);
}

INSTANTIATE_TEST_SUITE_P(Winpthreads, RealDlls,
                         ::testing::Values(Peer{"/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll",
                                                "x86_64-w64-mingw32-objdump"},
                                           Peer{"/usr/i686-w64-mingw32/lib/libwinpthread-1.dll",
                                                "i686-w64-mingw32-objdump"}),
                         [](const auto &param) {
                             return std::string(param.index == 0 ? "Pe32Plus" : "Pe32");
                         });

} // namespace
} // namespace quorvane
