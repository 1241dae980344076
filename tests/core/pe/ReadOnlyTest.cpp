// The analysed file is only ever read. Every malformed case and every sample image is read from a
// file; its bytes, size, modification and change times must be the same afterwards. And the
// reading runs where opening for writing would fail: as an unprivileged user on files it may not
// write (as root; otherwise the files carry no write permission for their owner), so that a reader
// that asked for write access would get "Error mapping file." instead of its names.
#include "core/pe/modPETables.h"
#include "support/MalformedPe.h"
#include "support/PeBuilder.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sys/stat.h>

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::Bitness;

struct Snapshot {
    std::vector<std::uint8_t> bytes;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static Snapshot Of(const std::filesystem::path &path)
    {
        Snapshot s;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            s.size = st.st_size;
            s.modified = st.st_mtim;
            s.changed = st.st_ctim;
        }
        std::ifstream in(path, std::ios::binary);
        s.bytes.resize(static_cast<std::size_t>(std::max<off_t>(s.size, 0)));
        in.read(reinterpret_cast<char *>(s.bytes.data()),
                static_cast<std::streamsize>(s.bytes.size()));
        s.bytes.resize(static_cast<std::size_t>(in.gcount()));
        return s;
    }
    bool operator==(const Snapshot &o) const
    {
        return bytes == o.bytes && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};

struct AnalysedFile {
    std::string path;
    test::ExpectedRead imports;
    test::ExpectedRead exports;
};

// Every malformed case as PE32 and PE32+, written read-only into dir.
std::vector<AnalysedFile> WriteAll(const test::TempDir &dir)
{
    std::vector<AnalysedFile> files;
    for (const auto &f : test::WriteMalformedCases(dir.Path())) {
        files.push_back({f.path.string(), f.c->imports, f.c->exports});
    }
    for (const auto &f : files) {
        std::filesystem::permissions(f.path, std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::group_read |
                                                 std::filesystem::perms::others_read);
    }
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    return files;
}

bool Matches(const test::ExpectedRead &expected, bool ok, const std::string &list,
             const std::string &status)
{
    if (status != expected.status) {
        return false;
    }
    std::string joined;
    for (std::size_t i = 0; i < expected.names.size(); ++i) {
        joined += (i ? "\r\n" : "") + expected.names[i];
    }
    return !ok || list == joined;
}

TEST(ReadOnly, EveryCaseIsReadWithoutWriteAccessAndLeftAsItWas)
{
    test::TempDir dir;
    const auto files = WriteAll(dir);
    std::vector<Snapshot> before;
    for (const auto &f : files) {
        before.push_back(Snapshot::Of(f.path));
    }

    const auto r = test::RunUnprivileged(
        [&files] {
            int mismatches = 0;
            for (const auto &f : files) {
                std::string list, status;
                bool ok = GetImportList(f.path, list, status);
                if (!Matches(f.imports, ok, list, status)) {
                    std::cerr << f.path << ": imports gave " << status << '\n';
                    ++mismatches;
                }
                ok = GetExportList(f.path, list, status);
                if (!Matches(f.exports, ok, list, status)) {
                    std::cerr << f.path << ": exports gave " << status << '\n';
                    ++mismatches;
                }
            }
            return mismatches == 0 ? 0 : 1;
        },
        60s);
    EXPECT_TRUE(r.exited && r.exitCode == 0)
        << "exit " << r.exitCode << ", signal " << r.signal << ": see the lines above";

    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(Snapshot::Of(files[i].path) == before[i]) << files[i].path << " changed";
    }
}

} // namespace
} // namespace quorvane
