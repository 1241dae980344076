// Real Windows DLLs that Debian ships (MinGW-w64's winpthreads, 32- and 64-bit), read by Quorvane
// and by binutils' objdump: the names must agree.
#include "core/pe/modPETables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

namespace quorvane {
namespace {

struct Peer {
    std::string dll;
    std::string objdump;
};

struct ObjdumpNames {
    std::vector<std::string> imports;
    std::vector<std::string> exports;
};

ObjdumpNames RunObjdump(const Peer &peer)
{
    const std::string command = peer.objdump + " -p '" + peer.dll + "'";
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string text;
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get())) {
        text += buffer;
    }
    ObjdumpNames names;
    std::istringstream lines(text);
    std::string line;
    bool inExportNames = false;
    while (std::getline(lines, line)) {
        if (const auto at = line.find("DLL Name: "); at != std::string::npos) {
            names.imports.push_back(line.substr(at + 10));
        }
        if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
            inExportNames = true;
            continue;
        }
        if (inExportNames) {
            const auto close = line.find("] ");
            if (line.empty() || close == std::string::npos) {
                inExportNames = false;
            } else {
                names.exports.push_back(line.substr(close + 2));
            }
        }
    }
    return names;
}

class RealDlls : public ::testing::TestWithParam<Peer> {};

TEST_P(RealDlls, NamesAgreeWithObjdump)
{
    const Peer &peer = GetParam();
    if (!std::filesystem::exists(peer.dll) ||
        std::system((peer.objdump + " --version >/dev/null 2>&1").c_str()) != 0) {
        GTEST_SKIP() << peer.dll << " or " << peer.objdump << " is not installed";
    }
    const ObjdumpNames expected = RunObjdump(peer);
    ASSERT_FALSE(expected.imports.empty());
    ASSERT_GT(expected.exports.size(), 100u);

    const auto imports = ReadImportNames(peer.dll);
    const auto exports = ReadExportNames(peer.dll);
    EXPECT_EQ(imports.Status(), kStatusImportsOk);
    EXPECT_EQ(imports.names, expected.imports);
    EXPECT_EQ(exports.Status(), kStatusExportsOk);
    EXPECT_EQ(exports.names, expected.exports);
}

INSTANTIATE_TEST_SUITE_P(Winpthreads, RealDlls,
                         ::testing::Values(Peer{"/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll",
                                                "x86_64-w64-mingw32-objdump"},
                                           Peer{"/usr/i686-w64-mingw32/lib/libwinpthread-1.dll",
                                                "i686-w64-mingw32-objdump"}),
                         [](const auto &param) {
                             return param.index == 0 ? std::string("Pe32Plus")
                                                     : std::string("Pe32");
                         });

} // namespace
} // namespace quorvane
