#pragma once

// What the packager tests share: running quorvane-cli in-process, the real programs built by
// make_fixtures.sh, and small PE files written by the builder into temporary folders.

#include "cli/Cli.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane::test {

struct CliRun {
    int status = 0;
    std::string out, err;
};

inline std::string ReplaceAll(std::string text, const std::string &from, const std::string &to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

/// The expectations are written with '/'. On Windows the program joins paths with '\\', so there
/// its output is compared with each separator turned into '/' (in JSON text, each escaped one).
inline std::string Slashed(std::string text, [[maybe_unused]] bool json = false)
{
#ifdef _WIN32
    return ReplaceAll(text, json ? "\\\\" : "\\", "/");
#else
    return text;
#endif
}

/// Folders that stand in a command line or an expectation as a key such as "{d}".
using Folders = std::vector<std::pair<std::string, std::filesystem::path>>;

/// The text with each key of a folder replaced by the folder, as the runner gives it: with '/'.
inline std::string Expand(std::string text, const Folders &folders)
{
    for (const auto &[key, folder] : folders) {
        text = ReplaceAll(text, key, folder.string());
    }
    return Slashed(text);
}

/// Runs quorvane-cli in-process on a command line, split at each space after the folders are put
/// in.
inline CliRun RunCliLine(const std::string &line, const Folders &folders)
{
    std::istringstream words(Expand(line, folders));
    const std::vector<std::string> args(std::istream_iterator<std::string>(words), {});
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    const bool json = line.find("--json") != std::string::npos;
    return {status, Slashed(out.str(), json), Slashed(err.str(), json)};
}

/// The folder of real programs, and why they are not there ("" when they are).
inline const std::filesystem::path kFixtures = QUORVANE_PACKAGER_FIXTURES;

inline std::string FixturesMissingReason()
{
    std::string reason = "they were not built (" + kFixtures.string() + ")";
    std::getline(std::ifstream(kFixtures / "SKIPPED"), reason); // left by make_fixtures.sh
    return std::filesystem::exists(kFixtures / "READY") ? "" : reason;
}

#define QUORVANE_NEED_FIXTURES()                                                                   \
    if (const std::string why = ::quorvane::test::FixturesMissingReason(); !why.empty())           \
    GTEST_SKIP() << "real Windows programs not available: " << why

/// A DLL or program of the builder: PE32+ for x86-64 unless said otherwise. The builder imports
/// ordinal 1 from each DLL; every file exports one function, so that each has it. Returns the
/// file's bytes, for a test that damages them.
inline BuiltPe WritePe(const std::filesystem::path &path, std::vector<std::string> imports,
                       std::vector<std::string> delayImports = {},
                       Bitness bitness = Bitness::Pe32Plus)
{
    std::filesystem::create_directories(path.parent_path());
    const PeBuilder b{.bitness = bitness,
                      .isDll = path.extension() != ".exe",
                      .imports = std::move(imports),
                      .exports = {"Entry"},
                      .delayImports = std::move(delayImports)};
    BuiltPe pe = b.Build();
    pe.WriteTo(path);
    return pe;
}

} // namespace quorvane::test
