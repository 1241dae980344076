// quorvane-cli tree, report and bundle on real programs and DLLs that the cross compilers built:
// a chain with a cycle, a delay-loaded DLL, an API-set import, a DLL of the wrong bitness in the
// search path, a C++ program that needs the MinGW-w64 runtime; and the function level: imported
// functions, every export, readable C++ names, missing entry points and Windows' KnownDLLs.
#include "support/PackagerTestSupport.h"
#include "support/PosixOnly.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::CliRun;
using test::RunQuorvaneCli;

std::string ReadAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool Has(const CliRun &r, const std::string &text)
{
    return r.out.find(text) != std::string::npos;
}

class CliPackager : public ::testing::Test {
protected:
    void SetUp() override
    {
        QUORVANE_NEED_FIXTURES();
        fs::copy(test::FixtureFolder(), dir / "fx", fs::copy_options::recursive);
        // The programs of the function checks, and the system folder's stand-ins for the two
        // DLLs every MinGW program needs, stay out of the folder that report reads.
        fs::rename(dir / "fx" / "functions", dir / "fn");
    }
    std::string F(const std::string &relative) const
    {
        return test::Slashed((dir / "fx" / relative).string());
    }
    std::string Fn(const std::string &relative) const
    {
        return test::Slashed((dir / "fn" / relative).string());
    }
    std::string Sys() const { return "--system-dir=" + Fn("sys64"); }
    std::vector<std::string> App64(std::vector<std::string> more = {}) const
    {
        std::vector<std::string> args = {"tree",     F("app64/app.exe"), "--search=" + F("wrong32"),
                                         "--search", F("deps64"),        Sys()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    /// tree on a program of the function checks, with its DLLs from one folder.
    std::vector<std::string> Tree(const std::string &program, const std::string &dlls,
                                  std::vector<std::string> more = {}) const
    {
        std::vector<std::string> args = {"tree", Fn(program), "--search=" + Fn(dlls), Sys()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    test::TempDir dir;
};

TEST_F(CliPackager, TreeTellsWhatIsMissingWhyAndWhereTheRestWasFound)
{
    const CliRun r = RunQuorvaneCli(App64());
    std::string out = r.out;
    for (const auto &[what, with] : {std::pair{F(""), "{fx}/"}, {Fn("sys64/"), "{sys}/"}}) {
        for (std::size_t at = out.find(what); at != std::string::npos; at = out.find(what, at)) {
            out.replace(at, what.size(), with);
        }
    }
    const std::string hint =
        "      private to the application: ship it with the program (build it, or add the folder "
        "that holds it with --search)\n";
    EXPECT_EQ(out,
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

    EXPECT_TRUE(Has(RunQuorvaneCli(App64({"--tree"})),
                    "\n      liba.dll => " + F("deps64/liba.dll") + " (see above)\n"));
    const json file = json::parse(RunQuorvaneCli(App64({"--json"})).out)["files"][0];
    const json &gone = file["missing"][0];
    EXPECT_EQ(gone["chain"], json::array({"app.exe", "liba.dll", "libb.dll", "libgone.dll"}));
    EXPECT_EQ(gone["needed_by"], json::array({F("deps64/libb.dll")}));
    EXPECT_EQ(file["missing"][1]["rejected"][0]["path"], F("wrong32/libwrong.dll"));
    std::map<std::string, std::string> foundIn;
    for (const json &m : file["resolved"]) {
        foundIn[m["name"]] = m["found_in"].get<std::string>() + (m["delay_loaded"] ? "+delay" : "");
    }
    EXPECT_EQ(foundIn["libdelay.dll"], "search+delay");
    EXPECT_EQ(foundIn["msvcrt.dll"], "system");
}

TEST_F(CliPackager, TheMinGWRuntimeIsNamedFoundAndBundled)
{
    const CliRun missing = RunQuorvaneCli({"tree", F("app32/cxx.exe"), Sys()});
    EXPECT_TRUE(Has(missing, "  libstdc++-6.dll: cxx.exe -> libstdc++-6.dll\n      MinGW-w64 "
                             "runtime: copy it from the toolchain's folders"))
        << missing.out;
    // The 64-bit stand-ins in the system folder do not serve a 32-bit program.
    EXPECT_TRUE(Has(missing, "found " + Fn("sys64/kernel32.dll") + ", but it is 64-bit"));

    // In a 64-bit Wine prefix a 32-bit program's system folder is syswow64.
    test::MakeWinePrefix(dir / "wine", true);
    for (const auto &dll : fs::directory_iterator(dir / "fn" / "sys32")) {
        // Removed first: with MinGW's GCC 12, copy_file cannot overwrite ("File exists").
        const auto to = dir / "wine/drive_c/windows/syswow64" / dll.path().filename();
        fs::remove(to);
        fs::copy_file(dll.path(), to);
    }
    const std::string prefix = (dir / "wine").string();
    const std::string wow = test::Slashed((dir / "wine/drive_c/windows/syswow64").string());
    const CliRun found = RunQuorvaneCli({"tree", F("app32/cxx.exe"), "--search=" + F("toolchain32"),
                                         "--wine-prefix=" + prefix, "--json"});
    EXPECT_EQ(found.status, kExitOk) << found.out;
    const json file = json::parse(found.out)["files"][0];
    EXPECT_EQ(file["missing"], json::array());
    EXPECT_EQ(file["system_dir"], wow);
    EXPECT_EQ(file["resolved"][0]["path"], wow + "/kernel32.dll");

    // Bundled beside the program: the program stays as it was, the closure then finds them there.
    const std::string app = F("app32/cxx.exe");
    const std::string programBytes = ReadAll(app);
    std::vector<std::string> bundle = {"bundle", app, "--to=" + F("app32"),
                                       "--search=" + F("toolchain32"), "--wine-prefix=" + prefix};
    const CliRun r = RunQuorvaneCli(bundle);
    EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
    EXPECT_EQ(ReadAll(F("app32/libstdc++-6.dll")), ReadAll(F("toolchain32/libstdc++-6.dll")));
    EXPECT_FALSE(fs::exists(F("app32/kernel32.dll")));
    EXPECT_EQ(ReadAll(app), programBytes);

    // Another build of the same size is a different file: left alone, and the bundle fails.
    std::string other = ReadAll(F("toolchain32/libgcc_s_dw2-1.dll"));
    other[other.size() / 2] ^= 1;
    fs::create_directories(dir / "out32");
    dir.Write("out32/libgcc_s_dw2-1.dll", other);
    bundle[2] = "--to=" + (dir / "out32").string();
    const CliRun again = RunQuorvaneCli(bundle);
    EXPECT_EQ(again.status, kExitMissing);
    EXPECT_TRUE(Has(again, "holds a different file (--force replaces it)")) << again.out;
    EXPECT_TRUE(ReadAll(dir / "out32/libgcc_s_dw2-1.dll") == other);
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
    EXPECT_TRUE(Has(first, "copied: " + F("deps64/liba.dll") + " -> " +
                               test::Slashed((to / "liba.dll").string())))
        << first.out;
    EXPECT_TRUE(Has(first, "still missing:\n  libgone.dll:"));
    EXPECT_EQ(std::distance(fs::directory_iterator(to), {}), 3); // liba, libb, libdelay
    EXPECT_EQ(ReadAll(to / "libb.dll"), ReadAll(F("deps64/libb.dll")));
    EXPECT_EQ(fs::last_write_time(F("deps64/liba.dll")), before);
    const CliRun again = RunQuorvaneCli(args({}));
    EXPECT_TRUE(Has(again, "already there: ") && !Has(again, "copied: ")) << again.out;

    // A different file of the same name (in another letter case) is left alone without --force.
    fs::remove(to / "libb.dll");
    dir.Write("out/LIBB.DLL", "someone else's");
    const std::string target = test::Slashed((to / "LIBB.DLL").string());
    EXPECT_TRUE(Has(RunQuorvaneCli(args({})), "not copied: " + F("deps64/libb.dll") + " -> " +
                                                  target + "\n      " + target +
                                                  " holds a different file (--force replaces it)"));
    EXPECT_EQ(ReadAll(to / "LIBB.DLL"), "someone else's");
    EXPECT_TRUE(Has(RunQuorvaneCli(args({"--force"})), "replaced: "));
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
    EXPECT_TRUE(Has(links, "is not a regular file: never replaced"));
    for (const auto &entry : fs::directory_iterator(to)) {
        EXPECT_EQ(entry.path().filename().string().rfind(".quorvane", 0), std::string::npos);
    }
}

TEST_F(CliPackager, ListsImportedFunctionsEveryExportAndReadableNames)
{
    const CliRun imports = RunQuorvaneCli({"imports", "--functions", Fn("app/verapp.exe")});
    EXPECT_EQ(imports.status, kExitOk);
    EXPECT_TRUE(Has(imports, "\nlibord.dll\n\t#5\n\tord_named (hint 9)\n\t#7\n"
                             "libdv.dll [delay-loaded]\n\tdv_new (hint 0)\n\tdv_old (hint 0)\n"))
        << imports.out;
    const CliRun exports =
        RunQuorvaneCli({"exports", "--all", Fn("app/libfwd.dll"), Fn("new/libord.dll")});
    EXPECT_EQ(exports.status, kExitOk);
    for (const std::string line :
         {"\t#1  fwd_api    -> api-ms-win-core-synch-l1-2-0.WakeByAddressAll\n",
          "\t#5  fwd_noord  -> libtarget.#9\n", "\t#8  own_fun    0x", "\t#5  (no name)  0x",
          "\t#9  ord_named  0x"}) {
        EXPECT_TRUE(Has(exports, line)) << line << exports.out;
    }
    // Both toolchains' C++ names, in plain text and beside the raw name in JSON.
    const CliRun gnu = RunQuorvaneCli({"exports", "--all", "--demangle", Fn("app/libcxxgnu.dll")});
    EXPECT_TRUE(Has(gnu, "  foo::Widget::close()  ")) << gnu.out;
    const CliRun ms =
        RunQuorvaneCli({"imports", "--functions", "--demangle", Fn("app/cxxapp.exe")});
    EXPECT_TRUE(Has(ms, "\tpublic: void __cdecl foo::Widget::close(void) (hint 0)\n")) << ms.out;
    const json plain = json::parse(
        RunQuorvaneCli({"exports", "--demangle", "--json", Fn("new/libcxxms.dll")}).out);
    EXPECT_EQ(plain["files"][0]["names"][2], "?close@Widget@foo@@QEAAXXZ");
    EXPECT_EQ(plain["files"][0]["demangled"][2], "public: void __cdecl foo::Widget::close(void)");
}

TEST_F(CliPackager, MissingEntryPointsAreNamedWithTheirChainsAndFail)
{
    const CliRun old = RunQuorvaneCli(Tree("app/verapp.exe", "old"));
    EXPECT_EQ(old.status, kExitMissing);
    EXPECT_TRUE(Has(old, ": 64-bit (x86-64); 5 DLLs found, 0 missing, 0 API-set contracts, 4 "
                         "missing entry points\nmissing entry points:\n"
                         "  libver.dll (verapp.exe -> libver.dll): ver_new1, ver_new2 [2 of 5 "
                         "imports]\n      " +
                             Fn("old/libver.dll") + " is another build of libver.dll"))
        << old.out;
    EXPECT_TRUE(Has(old, "  libord.dll (verapp.exe -> libord.dll): #7 [1 of 3 imports]\n"));
    EXPECT_TRUE(Has(old, "  libdv.dll (verapp.exe -> libdv.dll): dv_new [1 of 2 imports] "
                         "[delay-loaded]\n"));
    const json forwarded =
        json::parse(RunQuorvaneCli(Tree("app/fwdapp.exe", "app", {"--json"})).out);
    const json &entry = forwarded["files"][0]["missing_entry_points"][0];
    EXPECT_EQ(entry["chain"], json::array({"fwdapp.exe", "libfwd.dll"}));
    EXPECT_EQ(entry["functions"][1]["forwarders"],
              json({"libloopa.loop_fun", "libloopb.loop_fun", "libloopa.loop_fun"}));
    EXPECT_TRUE(Has(RunQuorvaneCli(Tree("app/cxxapp.exe", "old", {"--missing-only", "--demangle"})),
                    "(cxxapp.exe -> libcxxms.dll): public: void __cdecl "
                    "foo::Widget::close(void) [1 of 3 imports]\n"));

    // report checks the functions of every file in the folder.
    fs::create_directories(dir / "rep");
    fs::copy_file(Fn("app/verapp.exe"), dir / "rep" / "verapp.exe");
    for (const auto &dll : fs::directory_iterator(Fn("old"))) {
        fs::copy_file(dll.path(), dir / "rep" / dll.path().filename());
    }
    const std::string rep = test::Slashed((dir / "rep").string());
    const CliRun report = RunQuorvaneCli({"report", rep, Sys()});
    EXPECT_EQ(report.status, kExitMissing);
    EXPECT_TRUE(Has(report, "; 0 missing names, 0 damaged, 4 missing entry points\n"))
        << report.out;
    EXPECT_TRUE(Has(report, "  libver.dll (" + rep + "/verapp.exe -> " + rep +
                                "/libver.dll): ver_new1, ver_new2 [2 of 5 imports]\n"));
}

TEST_F(CliPackager, KnownDllCopiesAreIgnoredAndNeverBundled)
{
    fs::copy_file(Fn("sys64/kernel32.dll"), Fn("app/KERNEL32.DLL"));
    const CliRun tree = RunQuorvaneCli(Tree("app/verapp.exe", "new"));
    EXPECT_EQ(tree.status, kExitOk);
    EXPECT_TRUE(Has(tree, "  KERNEL32.dll => " + Fn("sys64/kernel32.dll") + " [system]\n"));
    EXPECT_TRUE(Has(tree, "ignored (Windows loads its own copy of these, one of its KnownDLLs):\n"
                          "  " +
                              Fn("app/KERNEL32.DLL") + "\n"))
        << tree.out;
    const CliRun bundle =
        RunQuorvaneCli({"bundle", Fn("app/verapp.exe"), "--to=" + (dir / "out").string(),
                        "--search=" + Fn("new"), Sys()});
    EXPECT_EQ(bundle.status, kExitOk) << bundle.out;
    EXPECT_TRUE(fs::exists(dir / "out" / "libver.dll"));
    EXPECT_FALSE(fs::exists(dir / "out" / "KERNEL32.DLL"));
    EXPECT_FALSE(fs::exists(dir / "out" / "kernel32.dll"));
}

} // namespace
} // namespace quorvane
