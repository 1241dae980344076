// quorvane-cli tree, report and bundle on real programs and DLLs that the cross compilers built:
// a chain with a cycle, a delay-loaded DLL, an API-set import, a DLL of the wrong bitness in the
// search path, and a C++ program that needs the MinGW-w64 runtime.
#include "support/PackagerTestSupport.h"
#include "support/PosixOnly.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <sstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::Bitness;
using test::CliRun;
using test::RunQuorvaneCli;
using test::WritePe;

std::string Replaced(std::string text, const std::string &what, const std::string &with)
{
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

std::string ReadAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class CliPackager : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string reason = test::FixturesMissingReason();
        if (!reason.empty()) {
            GTEST_SKIP() << "real Windows programs not available: " << reason;
        }
        fs::copy(test::FixtureFolder(), dir.Path() / "fx", fs::copy_options::recursive);
        // A system folder with 64-bit stand-ins for the two DLLs every MinGW program needs, which
        // export what the programs import; the programs of the function checks stay out of the
        // folder that report reads.
        fs::rename(dir / "fx" / "functions" / "sys64", dir / "sys64");
        fs::rename(dir / "fx" / "functions" / "sys32", dir / "sys32");
        fs::remove_all(dir / "fx" / "functions");
    }
    std::string F(const std::string &relative) const
    {
        return test::Slashed((dir / "fx" / relative).string());
    }
    /// A 64-bit Wine prefix whose syswow64 holds the 32-bit stand-ins.
    std::string WinePrefix()
    {
        test::MakeWinePrefix(dir / "wine", true);
        for (const auto &dll : fs::directory_iterator(dir / "sys32")) {
            // Removed first: with MinGW's GCC 12, copy_file cannot overwrite ("File exists").
            const auto to = dir / "wine/drive_c/windows/syswow64" / dll.path().filename();
            fs::remove(to);
            fs::copy_file(dll.path(), to);
        }
        return (dir / "wine").string();
    }
    std::string Sys() const { return "--system-dir=" + test::Slashed((dir / "sys64").string()); }
    std::vector<std::string> App64(std::vector<std::string> more = {}) const
    {
        std::vector<std::string> args = {"tree",     F("app64/app.exe"), "--search=" + F("wrong32"),
                                         "--search", F("deps64"),        Sys()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    test::TempDir dir;
};

TEST_F(CliPackager, TreeGivesTheMissingNamesWithChainsAndReasonsThenWhatWasFound)
{
    const CliRun r = RunQuorvaneCli(App64());
    const std::string hint =
        "      private to the application: ship it with the program (build it, or add the folder "
        "that holds it with --search)\n";
    EXPECT_EQ(Replaced(Replaced(r.out, F(""), "{fx}/"), test::Slashed((dir / "sys64/").string()),
                       "{sys}/"),
              "{fx}/app64/app.exe: 64-bit (x86-64); 5 DLLs found, 2 missing, 1 API-set contract\n"
              "missing:\n"
              "  libgone.dll: app.exe -> liba.dll -> libb.dll -> libgone.dll\n" +
                  hint +
                  "  libwrong.dll: app.exe -> libwrong.dll\n"
                  "      found {fx}/wrong32/libwrong.dll, but it is 32-bit\n" +
                  hint +
                  "found:\n"
                  "  KERNEL32.dll => {sys}/kernel32.dll [system]\n"
                  "  liba.dll => {fx}/deps64/liba.dll\n"
                  "  libb.dll => {fx}/deps64/libb.dll\n"
                  "  libdelay.dll => {fx}/deps64/libdelay.dll [delay-loaded]\n"
                  "  msvcrt.dll => {sys}/msvcrt.dll [system]\n"
                  "API-set contracts (Windows resolves them itself):\n"
                  "  api-ms-win-core-synch-l1-2-0.dll\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, kExitMissing);
}

TEST_F(CliPackager, TreeJsonIsStableForScripts)
{
    const CliRun r = RunQuorvaneCli(App64({"--json"}));
    ASSERT_EQ(r.status, kExitMissing) << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["command"], "tree");
    EXPECT_EQ(doc["exit_status"], 1);
    EXPECT_EQ(doc["search_order"]["search"], json::array({F("wrong32") + "/", F("deps64") + "/"}));
    const json &file = doc["files"][0];
    EXPECT_EQ(file["path"], F("app64/app.exe"));
    EXPECT_EQ(file["bits"], 64);
    EXPECT_EQ(file["machine"], "x86-64");
    ASSERT_EQ(file["missing"].size(), 2u);
    const json &gone = file["missing"][0];
    EXPECT_EQ(gone["name"], "libgone.dll");
    EXPECT_EQ(gone["chain"], json::array({"app.exe", "liba.dll", "libb.dll", "libgone.dll"}));
    EXPECT_EQ(gone["needed_by"], json::array({F("deps64/libb.dll")}));
    EXPECT_EQ(gone["category"], "application");
    EXPECT_EQ(gone["delay_loaded"], false);
    EXPECT_EQ(file["missing"][1]["rejected"][0]["path"], F("wrong32/libwrong.dll"));
    bool sawDelay = false;
    for (const json &m : file["resolved"]) {
        if (m["name"] == "libdelay.dll") {
            sawDelay = true;
            EXPECT_EQ(m["delay_loaded"], true);
            EXPECT_EQ(m["found_in"], "search");
        }
        if (m["name"] == "libb.dll") {
            EXPECT_EQ(m["imports"][2], json({{"name", "liba.dll"}, {"delay_loaded", false}}));
        }
    }
    EXPECT_TRUE(sawDelay);
    EXPECT_EQ(file["api_sets"][0]["name"], "api-ms-win-core-synch-l1-2-0.dll");
    EXPECT_EQ(file["api_sets"][0]["category"], "api-set");
    EXPECT_EQ(file["damaged"], json::array());
}

TEST_F(CliPackager, TreeShapesAndMissingOnly)
{
    const CliRun tree = RunQuorvaneCli(App64({"--tree"}));
    const std::string fx = F("");
    EXPECT_NE(tree.out.find("\n      liba.dll => " + fx + "deps64/liba.dll (see above)\n"),
              std::string::npos)
        << tree.out;
    EXPECT_NE(tree.out.find("\n  libdelay.dll => " + fx + "deps64/libdelay.dll [delay-loaded]\n"),
              std::string::npos);
    EXPECT_NE(tree.out.find("\n  libwrong.dll MISSING (application)\n"), std::string::npos);
    EXPECT_NE(tree.out.find("\n  api-ms-win-core-synch-l1-2-0.dll [API set]\n"), std::string::npos);

    const CliRun missing = RunQuorvaneCli(App64({"--missing-only"}));
    EXPECT_EQ(missing.out.find("found:"), std::string::npos);
    EXPECT_NE(missing.out.find("libgone.dll: app.exe -> liba.dll -> libb.dll -> libgone.dll"),
              std::string::npos);
    EXPECT_EQ(missing.status, kExitMissing);

    // With the right folder first, nothing is missing and --missing-only prints nothing.
    for (const auto &[name, function] :
         {std::pair{"libgone.dll", "gone_fun"}, std::pair{"libwrong.dll", "wrong_fun"}}) {
        test::PeBuilder b;
        b.bitness = Bitness::Pe32Plus;
        b.isDll = true;
        b.exports = {function};
        fs::create_directories(dir / "more");
        b.Build().WriteTo(dir / "more" / name);
    }
    const CliRun none =
        RunQuorvaneCli(App64({"--missing-only", "--search=" + (dir / "more").string()}));
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.status, kExitOk);
}

TEST_F(CliPackager, TheMinGWRuntimeIsNamedAndFoundInTheToolchainsFolder)
{
    const CliRun missing =
        RunQuorvaneCli({"tree", F("app32/cxx.exe"), "--system-dir", (dir / "sys64").string()});
    EXPECT_NE(missing.out.find("  libstdc++-6.dll: cxx.exe -> libstdc++-6.dll\n      MinGW-w64 "
                               "runtime: copy it from the toolchain's folders"),
              std::string::npos)
        << missing.out;
    // The 64-bit stand-ins in the system folder do not serve a 32-bit program.
    EXPECT_NE(missing.out.find("found " + test::Slashed((dir / "sys64" / "kernel32.dll").string()) +
                               ", but it is 64-bit"),
              std::string::npos);

    // In a 64-bit Wine prefix a 32-bit program's system folder is syswow64.
    const CliRun found = RunQuorvaneCli({"tree", F("app32/cxx.exe"), "--search=" + F("toolchain32"),
                                         "--wine-prefix=" + WinePrefix(), "--json"});
    EXPECT_EQ(found.status, kExitOk) << found.out;
    const json file = json::parse(found.out)["files"][0];
    EXPECT_EQ(file["missing"], json::array());
    EXPECT_EQ(file["system_dir"], test::Slashed((dir / "wine/drive_c/windows/syswow64").string()));
    std::vector<std::string> paths;
    for (const json &m : file["resolved"]) {
        paths.push_back(m["path"]);
    }
    EXPECT_EQ(paths,
              (std::vector<std::string>{
                  test::Slashed((dir / "wine/drive_c/windows/syswow64/kernel32.dll").string()),
                  F("toolchain32/libgcc_s_dw2-1.dll"), F("toolchain32/libstdc++-6.dll"),
                  test::Slashed((dir / "wine/drive_c/windows/syswow64/msvcrt.dll").string())}));
}

TEST_F(CliPackager, ExitStatusesAndWrongUsage)
{
    dir.Write("notpe.dll", "just text");
    const CliRun bad =
        RunQuorvaneCli({"tree", Sys(), F("app64/app.exe"), (dir / "notpe.dll").string()});
    EXPECT_EQ(bad.status, kExitUnreadable);
    EXPECT_EQ(bad.err, test::Slashed((dir / "notpe.dll").string()) + ": Error mapping file.\n");
    EXPECT_NE(bad.out.find("app.exe: 64-bit"), std::string::npos); // the other file is answered

    EXPECT_EQ(RunQuorvaneCli({"tree", Sys(), "--wine-prefix=/tmp", F("app64/app.exe")}).status,
              kExitUsage);
    const CliRun noFolder = RunQuorvaneCli({"tree", "--search=/nonexistent/x", F("app64/app.exe")});
    EXPECT_EQ(noFolder.status, kExitUsage);
    EXPECT_EQ(noFolder.err, "quorvane-cli: --search /nonexistent/x: not a folder\n");
    EXPECT_EQ(RunQuorvaneCli({"tree"}).status, kExitUsage);
    // Each --search takes one folder: the program after it stays the program.
    const CliRun spaced =
        RunQuorvaneCli({"tree", "--search", F("deps64"), F("app64/app.exe"), Sys()});
    EXPECT_EQ(spaced.status, kExitMissing) << spaced.err;
    EXPECT_NE(spaced.out.find("liba.dll => " + F("deps64/liba.dll")), std::string::npos);
    EXPECT_EQ(RunQuorvaneCli({"bundle", F("app64/app.exe")}).status, kExitUsage); // no --to
}

TEST_F(CliPackager, ReportListsEachMissingNameOnceAndAnswersWho)
{
    test::MakeWinePrefix(dir / "wine", true);
    const std::string wine = "--wine-prefix=" + (dir / "wine").string();
    const CliRun r = RunQuorvaneCli({"report", F(""), "--search=" + F("deps64"), wine, "--json"});
    ASSERT_EQ(r.status, kExitMissing) << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["pe_files"], 9);
    std::vector<std::string> names;
    for (const json &m : doc["missing"]) {
        names.push_back(m["name"]);
    }
    // 32-bit files find their system DLLs in syswow64, the toolchain's DLLs each other in their
    // own folder; the C++ program does not see the toolchain's folder.
    EXPECT_EQ(names, (std::vector<std::string>{"libgcc_s_dw2-1.dll", "libgone.dll",
                                               "libstdc++-6.dll", "libwrong.dll"}));
    EXPECT_EQ(doc["missing"][1]["needed_by"],
              json::array({{{"file", F("deps64/libb.dll")}, {"delay_loaded", false}}}));
    EXPECT_EQ(doc["missing"][0]["category"], "mingw-runtime");

    const CliRun who = RunQuorvaneCli({"report", F(""), Sys(), "--who=LIBA.DLL"});
    EXPECT_EQ(who.out, F("app64/app.exe") + "\n" + F("deps64/libb.dll") + "\n");
    EXPECT_EQ(who.status, kExitOk);
    EXPECT_EQ(RunQuorvaneCli({"report", F(""), Sys(), "--who=nothing.dll"}).status, kExitMissing);
}

TEST_F(CliPackager, BundleCopiesWhatTheProgramNeedsAndNeverClobbers)
{
    const fs::path to = dir / "out";
    const auto args = [&](std::vector<std::string> more) {
        std::vector<std::string> a = {"bundle",
                                      F("app64/app.exe"),
                                      "--to=" + to.string(),
                                      "--search=" + F("wrong32"),
                                      "--search=" + F("deps64"),
                                      Sys()};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    const auto before = fs::last_write_time(F("deps64/liba.dll"));
    const CliRun first = RunQuorvaneCli(args({}));
    EXPECT_EQ(first.status, kExitMissing); // libgone.dll and libwrong.dll are nowhere
    EXPECT_NE(first.out.find("copied: " + F("deps64/liba.dll") + " -> " +
                             test::Slashed((to / "liba.dll").string())),
              std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("still missing:\n  libgone.dll:"), std::string::npos);
    std::vector<std::string> copied;
    for (const auto &entry : fs::directory_iterator(to)) {
        copied.push_back(entry.path().filename().string());
    }
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, (std::vector<std::string>{"liba.dll", "libb.dll", "libdelay.dll"}));
    EXPECT_EQ(ReadAll(to / "libb.dll"), ReadAll(F("deps64/libb.dll")));
    EXPECT_EQ(fs::last_write_time(F("deps64/liba.dll")), before);

    const CliRun again = RunQuorvaneCli(args({"--json"}));
    const json doc = json::parse(again.out);
    for (const json &item : doc["files"]) {
        EXPECT_EQ(item["action"], item["name"] == "kernel32.dll" || item["name"] == "msvcrt.dll"
                                      ? "system"
                                      : "present")
            << item;
    }

    // A different file of the same name (in another letter case) is left alone without --force.
    fs::remove(to / "libb.dll");
    dir.Write("out/LIBB.DLL", "someone else's");
    const CliRun conflict = RunQuorvaneCli(args({}));
    EXPECT_EQ(conflict.status, kExitMissing);
    EXPECT_NE(conflict.out.find("not copied: " + F("deps64/libb.dll") + " -> " +
                                test::Slashed((to / "LIBB.DLL").string()) + "\n      " +
                                test::Slashed((to / "LIBB.DLL").string()) +
                                " holds a different file (--force replaces it)"),
              std::string::npos)
        << conflict.out;
    EXPECT_EQ(ReadAll(to / "LIBB.DLL"), "someone else's");
    const CliRun forced = RunQuorvaneCli(args({"--force"}));
    EXPECT_NE(forced.out.find("replaced: "), std::string::npos);
    EXPECT_EQ(ReadAll(to / "LIBB.DLL"), ReadAll(F("deps64/libb.dll")));

    // A link at the name is replaced, never written through; a folder is never replaced.
    QUORVANE_POSIX_ONLY_FROM_HERE(test::kNoLinks);
    dir.Write("outside.dll", "must stay");
    fs::remove(to / "liba.dll");
    fs::create_symlink(dir / "outside.dll", to / "liba.dll");
    fs::remove(to / "libdelay.dll");
    fs::create_directory(to / "libdelay.dll");
    const CliRun links = RunQuorvaneCli(args({"--force"}));
    EXPECT_EQ(ReadAll(dir / "outside.dll"), "must stay");
    EXPECT_FALSE(fs::is_symlink(to / "liba.dll"));
    EXPECT_EQ(ReadAll(to / "liba.dll"), ReadAll(F("deps64/liba.dll")));
    EXPECT_TRUE(fs::is_directory(to / "libdelay.dll"));
    EXPECT_NE(links.out.find("is not a regular file: never replaced"), std::string::npos);
    for (const auto &entry : fs::directory_iterator(to)) {
        EXPECT_EQ(entry.path().filename().string().rfind(".quorvane", 0), std::string::npos);
    }
}

TEST_F(CliPackager, BundleBesideTheProgramShipsTheRuntime)
{
    const std::string prefix = WinePrefix();
    const std::string app = F("app32/cxx.exe");
    const std::string programBytes = ReadAll(app);
    const CliRun r = RunQuorvaneCli({"bundle", app, "--to=" + F("app32"),
                                     "--search=" + F("toolchain32"), "--wine-prefix=" + prefix});
    EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
    EXPECT_EQ(ReadAll(F("app32/libstdc++-6.dll")), ReadAll(F("toolchain32/libstdc++-6.dll")));
    EXPECT_TRUE(fs::exists(F("app32/libgcc_s_dw2-1.dll")));
    EXPECT_FALSE(fs::exists(F("app32/kernel32.dll")));
    EXPECT_EQ(ReadAll(app), programBytes);
    // Now the program's own folder holds them: the closure finds them there.
    const CliRun tree = RunQuorvaneCli({"tree", app, "--wine-prefix=" + prefix});
    EXPECT_EQ(tree.status, kExitOk);
    EXPECT_NE(tree.out.find("libstdc++-6.dll => " + F("app32/libstdc++-6.dll")), std::string::npos);
}

} // namespace
} // namespace quorvane
