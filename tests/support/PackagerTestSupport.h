#pragma once

// What the packager tests share: running quorvane-cli in-process, the real programs built by
// make_fixtures.sh, and small PE files written by the builder into temporary folders.

#include "cli/Cli.h"
#include "support/PeBuilder.h"
#ifndef _WIN32
#include "support/ScopedEnv.h"
#endif
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane::test {

#ifndef _WIN32
/// No system folder from the machine: neither $QUORVANE_SYSTEM_DIR nor a Wine prefix. (Windows
/// always has its own.)
struct NoMachineSystemFolder {
    ScopedEnv system{"QUORVANE_SYSTEM_DIR", std::nullopt};
    ScopedEnv wine{"WINEPREFIX", std::nullopt};
    ScopedEnv home{"HOME", "/nonexistent/quorvane-test-home"};
};
#endif

struct CliRun {
    int status = 0;
    std::string out;
    std::string err;
};

/// The expectations are written with '/'. On Windows the program joins paths with '\\', so there
/// its output is compared with each separator turned into '/' (in JSON text, each escaped one).
inline std::string Slashed(std::string text, [[maybe_unused]] bool json = false)
{
#ifdef _WIN32
    std::string slashed;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            slashed += text[i];
        } else if (!json) {
            slashed += '/';
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            slashed += '/'; // an escaped backslash; any other escape stays as it is
            ++i;
        } else {
            slashed += text[i];
        }
    }
    return slashed;
#else
    return text;
#endif
}

inline CliRun RunQuorvaneCli(const std::vector<std::string> &args)
{
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    return {status, Slashed(out.str(), json), Slashed(err.str(), json)};
}

/// The folder of real programs, or the reason they were not built.
inline std::filesystem::path FixtureFolder()
{
    return QUORVANE_PACKAGER_FIXTURES;
}

inline std::string FixturesMissingReason()
{
    const auto folder = FixtureFolder();
    if (std::filesystem::exists(folder / "READY")) {
        return {};
    }
    std::ifstream note(folder / "SKIPPED");
    std::string reason;
    std::getline(note, reason);
    return reason.empty() ? "the fixture programs were not built (" + folder.string() + ")"
                          : reason;
}

#define QUORVANE_NEED_FIXTURES()                                                                   \
    do {                                                                                           \
        const std::string reason = ::quorvane::test::FixturesMissingReason();                      \
        if (!reason.empty()) {                                                                     \
            GTEST_SKIP() << "real Windows programs not available: " << reason;                     \
        }                                                                                          \
    } while (false)

/// A DLL or program of the builder: PE32+ for x86-64 unless said otherwise. The builder imports
/// ordinal 1 from each DLL; every file exports one function, so that each has it.
inline std::filesystem::path WritePe(const std::filesystem::path &path,
                                     std::vector<std::string> imports,
                                     std::vector<std::string> delayImports = {},
                                     Bitness bitness = Bitness::Pe32Plus)
{
    PeBuilder b;
    b.bitness = bitness;
    b.isDll = path.extension() != ".exe";
    b.imports = std::move(imports);
    b.delayImports = std::move(delayImports);
    b.exports = {"Entry"};
    std::filesystem::create_directories(path.parent_path());
    return b.Build().WriteTo(path);
}

/// A fake Wine prefix: drive_c/windows/system32 with 64-bit system DLLs and, for a 64-bit prefix,
/// syswow64 with 32-bit ones.
inline void MakeWinePrefix(const std::filesystem::path &prefix, bool with32BitFolder,
                           const std::vector<std::string> &dlls = {"kernel32.dll", "msvcrt.dll"})
{
    const auto windows = prefix / "drive_c" / "windows";
    for (const std::string &dll : dlls) {
        WritePe(windows / "system32" / dll, {});
        if (with32BitFolder) {
            WritePe(windows / "syswow64" / dll, {}, {}, Bitness::Pe32);
        }
    }
    std::filesystem::create_directories(windows / "system32");
}

} // namespace quorvane::test
