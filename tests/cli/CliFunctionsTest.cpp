// quorvane-cli on the functions of real programs and DLLs that the cross compilers built: the
// listings of imported functions and of every export, readable C++ names, the missing entry points
// of tree and report, and Windows' KnownDLLs.
#include "support/PackagerTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::CliRun;
using test::RunQuorvaneCli;

class CliFunctions : public ::testing::Test {
protected:
    void SetUp() override
    {
        QUORVANE_NEED_FIXTURES();
        fs::copy(test::FixtureFolder() / "functions", dir / "fn", fs::copy_options::recursive);
    }
    std::string F(const std::string &relative) const
    {
        return test::Slashed((dir / "fn" / relative).string());
    }
    std::vector<std::string> Tree(const std::string &program, const std::string &dlls,
                                  std::vector<std::string> more = {}) const
    {
        std::vector<std::string> args = {"tree", F(program), "--search=" + F(dlls),
                                         "--system-dir=" + F("sys64")};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    static bool Has(const CliRun &r, const std::string &text)
    {
        return r.out.find(text) != std::string::npos;
    }

    test::TempDir dir;
};

TEST_F(CliFunctions, ListsImportedFunctionsAndEveryExport)
{
    const CliRun imports = RunQuorvaneCli({"imports", "--functions", F("app/verapp.exe")});
    EXPECT_EQ(imports.status, kExitOk);
    EXPECT_TRUE(Has(imports, "\nlibord.dll\n\t#5\n\tord_named (hint 9)\n\t#7\n"
                             "libdv.dll [delay-loaded]\n\tdv_new (hint 0)\n\tdv_old (hint 0)\n"))
        << imports.out;
    // The plain listing stays the import table's DLL names.
    EXPECT_EQ(RunQuorvaneCli({"imports", F("app/verapp.exe")}).out,
              "KERNEL32.dll\nmsvcrt.dll\nlibver.dll\nlibord.dll\n");

    const CliRun exports =
        RunQuorvaneCli({"exports", "--all", F("app/libfwd.dll"), F("new/libord.dll")});
    EXPECT_EQ(exports.status, kExitOk);
    for (const std::string line :
         {"\t#1  fwd_api    -> api-ms-win-core-synch-l1-2-0.WakeByAddressAll\n",
          "\t#5  fwd_noord  -> libtarget.#9\n", "\t#8  own_fun    0x", "\t#5  (no name)  0x",
          "\t#9  ord_named  0x"}) {
        EXPECT_TRUE(Has(exports, line)) << line << exports.out;
    }

    const json list =
        json::parse(RunQuorvaneCli({"imports", "--functions", "--json", F("app/verapp.exe")}).out);
    const json &dlls = list["files"][0]["dlls"];
    EXPECT_EQ(dlls[3]["functions"], json::parse(R"([{"ordinal": 5}, {"name": "ord_named",
                                                    "hint": 9}, {"ordinal": 7}])"));
    EXPECT_EQ(dlls[4]["delay_loaded"], true);
    const json table =
        json::parse(RunQuorvaneCli({"exports", "--all", "--json", F("new/libord.dll")}).out);
    EXPECT_EQ(table["files"][0]["exports"][1]["ordinal"], 7);
    EXPECT_EQ(table["files"][0]["exports"][1]["name"], nullptr);
    EXPECT_EQ(RunQuorvaneCli({"imports", "--demangle", F("app/verapp.exe")}).status, kExitUsage);
}

TEST_F(CliFunctions, DemangleReadsBothToolchainsNames)
{
    const CliRun gnu = RunQuorvaneCli({"exports", "--all", "--demangle", F("app/libcxxgnu.dll")});
    EXPECT_TRUE(Has(gnu, "  foo::Widget::close()  ")) << gnu.out;
    const CliRun ms = RunQuorvaneCli({"imports", "--functions", "--demangle", F("app/cxxapp.exe")});
    EXPECT_TRUE(Has(ms, "\tpublic: void __cdecl foo::Widget::close(void) (hint 0)\n")) << ms.out;
    const json plain =
        json::parse(RunQuorvaneCli({"exports", "--demangle", "--json", F("new/libcxxms.dll")}).out);
    EXPECT_EQ(plain["files"][0]["names"][2], "?close@Widget@foo@@QEAAXXZ");
    EXPECT_EQ(plain["files"][0]["demangled"][2], "public: void __cdecl foo::Widget::close(void)");
}

TEST_F(CliFunctions, TreeNamesTheMissingEntryPointsWithTheirChainsAndFails)
{
    const CliRun old = RunQuorvaneCli(Tree("app/verapp.exe", "old"));
    EXPECT_EQ(old.status, kExitMissing);
    EXPECT_TRUE(Has(old, ": 64-bit (x86-64); 5 DLLs found, 0 missing, 0 API-set contracts, 4 "
                         "missing entry points\nmissing entry points:\n"
                         "  libver.dll (verapp.exe -> libver.dll): ver_new1, ver_new2 [2 of 5 "
                         "imports]\n      " +
                             F("old/libver.dll") + " is another build of libver.dll"))
        << old.out;
    EXPECT_TRUE(Has(old, "  libord.dll (verapp.exe -> libord.dll): #7 [1 of 3 imports]\n"));
    EXPECT_TRUE(Has(old, "  libdv.dll (verapp.exe -> libdv.dll): dv_new [1 of 2 imports] "
                         "[delay-loaded]\n"));
    const CliRun missingOnly = RunQuorvaneCli(Tree("app/verapp.exe", "old", {"--missing-only"}));
    EXPECT_EQ(missingOnly.out.rfind(F("app/verapp.exe") + ": 4 missing entry points\n", 0), 0u);
    EXPECT_TRUE(Has(RunQuorvaneCli(Tree("app/verapp.exe", "old", {"--tree"})),
                    "libver.dll => " + F("old/libver.dll") + " [2 missing entry points]\n"));

    const CliRun fresh = RunQuorvaneCli(Tree("app/verapp.exe", "new", {"--missing-only"}));
    EXPECT_EQ(fresh.out, "");
    EXPECT_EQ(fresh.status, kExitOk);

    const CliRun forwarded = RunQuorvaneCli(Tree("app/fwdapp.exe", "app", {"--json"}));
    EXPECT_EQ(forwarded.status, kExitMissing);
    const json entry = json::parse(forwarded.out)["files"][0]["missing_entry_points"][0];
    EXPECT_EQ(entry["chain"], json::array({"fwdapp.exe", "libfwd.dll"}));
    EXPECT_EQ(entry["imported"], 8);
    std::vector<std::string> reasons;
    for (const json &f : entry["functions"]) {
        reasons.push_back(f["name"].get<std::string>() + ' ' + f["reason"].get<std::string>());
    }
    EXPECT_EQ(reasons, (std::vector<std::string>{"fwd_gone not_exported", "fwd_loop forwarder_loop",
                                                 "fwd_nodll forwarder_dll_missing",
                                                 "fwd_noord not_exported"}));

    const CliRun cxx =
        RunQuorvaneCli(Tree("app/cxxapp.exe", "old", {"--missing-only", "--demangle"}));
    EXPECT_TRUE(Has(cxx, "(cxxapp.exe -> libcxxms.dll): public: void __cdecl "
                         "foo::Widget::close(void) [1 of 3 imports]\n"))
        << cxx.out;
}

TEST_F(CliFunctions, ReportChecksTheFunctionsOfEveryFile)
{
    // Each file by its name: with MinGW's GCC 12, fs::copy into a folder fails ("File exists").
    fs::create_directories(dir / "rep");
    fs::copy_file(F("app/verapp.exe"), dir / "rep" / "verapp.exe");
    for (const auto &dll : fs::directory_iterator(F("old"))) {
        fs::copy_file(dll.path(), dir / "rep" / dll.path().filename());
    }
    const std::string rep = test::Slashed((dir / "rep").string());
    const CliRun r = RunQuorvaneCli({"report", rep, "--system-dir=" + F("sys64")});
    EXPECT_EQ(r.status, kExitMissing);
    EXPECT_TRUE(Has(r, "; 0 missing names, 0 damaged, 4 missing entry points\n")) << r.out;
    EXPECT_TRUE(Has(r, "  libver.dll (" + rep + "/verapp.exe -> " + rep +
                           "/libver.dll): ver_new1, ver_new2 [2 of 5 imports]\n"));
    const json doc =
        json::parse(RunQuorvaneCli({"report", rep, "--system-dir=" + F("sys64"), "--json"}).out);
    EXPECT_EQ(doc["missing_entry_points"].size(), 3u);
    EXPECT_EQ(doc["missing_entry_points"][0]["file"], rep + "/verapp.exe");
}

TEST_F(CliFunctions, KnownDllCopiesAreIgnoredAndNeverBundled)
{
    fs::copy_file(F("sys64/kernel32.dll"), F("app/KERNEL32.DLL"));
    const CliRun tree = RunQuorvaneCli(Tree("app/verapp.exe", "new"));
    EXPECT_EQ(tree.status, kExitOk);
    EXPECT_TRUE(Has(tree, "  KERNEL32.dll => " + F("sys64/kernel32.dll") + " [system]\n"));
    EXPECT_TRUE(Has(tree, "ignored (Windows loads its own copy of these, one of its KnownDLLs):\n"
                          "  " +
                              F("app/KERNEL32.DLL") + "\n"))
        << tree.out;

    const CliRun bundle =
        RunQuorvaneCli({"bundle", F("app/verapp.exe"), "--to=" + (dir / "out").string(),
                        "--search=" + F("new"), "--system-dir=" + F("sys64")});
    EXPECT_EQ(bundle.status, kExitOk) << bundle.out;
    EXPECT_TRUE(fs::exists(dir / "out" / "libver.dll"));
    EXPECT_FALSE(fs::exists(dir / "out" / "KERNEL32.DLL"));
    EXPECT_FALSE(fs::exists(dir / "out" / "kernel32.dll"));
}

} // namespace
} // namespace quorvane
