// quorvane-cli tree, report and bundle on real programs and DLLs that the cross compilers built:
// a chain with a cycle, a delay-loaded DLL, an API-set import, a DLL of the wrong bitness in the
// search path, a C++ program that needs the MinGW-w64 runtime; and the function level: imported
// functions, every export, readable C++ names, missing entry points and Windows' KnownDLLs.
#include "support/PackagerTestSupport.h"
#include "support/PosixOnly.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::AllOf;
using ::testing::HasSubstr;

std::string ReadAll(const fs::path &path)
{
    return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

// The system folder's stand-ins for the two DLLs every MinGW program needs; and the 64-bit
// program with its DLLs in a folder of the wrong bitness and in the right one.
const std::string kSys = " --system-dir={fn}/sys64";
const std::string kWine = " --wine-prefix={d}/wine";
const std::string kApp64 = " {fx}/app64/app.exe --search={fx}/wrong32 --search {fx}/deps64" + kSys;

class CliPackager : public ::testing::Test {
protected:
    void SetUp() override
    {
        QUORVANE_NEED_FIXTURES();
        fs::copy(test::kFixtures, dir / "fx", fs::copy_options::recursive);
        // The programs of the function checks stay out of the folder that report reads.
        fs::rename(dir / "fx" / "functions", dir / "fn");
        // A 64-bit Wine prefix (kWine) with the stand-ins of both bitnesses.
        const fs::path windows = dir / "wine" / "drive_c" / "windows";
        fs::create_directories(windows);
        fs::copy(dir / "fn" / "sys64", windows / "system32", fs::copy_options::recursive);
        fs::copy(dir / "fn" / "sys32", windows / "syswow64", fs::copy_options::recursive);
    }
    auto Run(const std::string &line) const { return test::RunCliLine(line, folders); }
    auto X(const std::string &text) const { return test::Expand(text, folders); }

    test::TempDir dir;
    const test::Folders folders = {{"{fx}", dir / "fx"}, {"{fn}", dir / "fn"}, {"{d}", dir.Path()}};
};

TEST_F(CliPackager, TreeTellsWhatIsMissingWhyAndWhereTheRestWasFound)
{
    const auto r = Run("tree" + kApp64);
    EXPECT_THAT(r.out,
                AllOf(HasSubstr(X("{fx}/app64/app.exe: 64-bit (x86-64); 5 DLLs found, 2 missing, 1 "
                                  "API-set contract\nmissing:\n"
                                  "  libgone.dll: app.exe -> liba.dll -> libb.dll -> libgone.dll\n"
                                  "      private to the application: ship it with the program "
                                  "(build it, or add the folder that holds it with --search)\n"
                                  "  libwrong.dll: app.exe -> libwrong.dll\n"
                                  "      found {fx}/wrong32/libwrong.dll, but it is 32-bit\n")),
                      HasSubstr(X("  libdelay.dll => {fx}/deps64/libdelay.dll [delay-loaded]\n"
                                  "  msvcrt.dll => {fn}/sys64/msvcrt.dll [system]\n"
                                  "API-set contracts (Windows resolves them itself):\n"
                                  "  api-ms-win-core-synch-l1-2-0.dll\n"))));
    EXPECT_EQ(r.status, kExitMissing);

    const json file = json::parse(Run("tree --json" + kApp64).out)["files"][0];
    EXPECT_EQ(file["missing"][0]["needed_by"], json::array({X("{fx}/deps64/libb.dll")}));
    EXPECT_EQ(file["resolved"][3]["found_in"], "search"); // libdelay.dll
}

TEST_F(CliPackager, TheMinGWRuntimeIsNamedFoundAndBundled)
{
    const auto missing = Run("tree {fx}/app32/cxx.exe" + kSys);
    EXPECT_THAT(missing.out,
                HasSubstr("  libstdc++-6.dll: cxx.exe -> libstdc++-6.dll\n      MinGW-w64 "
                          "runtime: copy it from the toolchain's folders"));
    // The 64-bit stand-ins in the system folder do not serve a 32-bit program; in a 64-bit Wine
    // prefix its system folder is syswow64.
    EXPECT_THAT(missing.out, HasSubstr(X("found {fn}/sys64/kernel32.dll, but it is 64-bit")));
    const std::string toolchain = " --search={fx}/toolchain32";
    const auto found = Run("tree --json {fx}/app32/cxx.exe" + toolchain + kWine);
    EXPECT_EQ(found.status, kExitOk) << found.out;
    EXPECT_EQ(json::parse(found.out)["files"][0]["resolved"][0]["path"],
              X("{d}/wine/drive_c/windows/syswow64/kernel32.dll"));

    // Bundled beside the program: the program stays as it was, the closure then finds them there.
    const std::string program = ReadAll(X("{fx}/app32/cxx.exe"));
    const auto r = Run("bundle {fx}/app32/cxx.exe --to={fx}/app32" + toolchain + kWine);
    EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
    EXPECT_EQ(ReadAll(dir / "fx/app32/libstdc++-6.dll"),
              ReadAll(dir / "fx/toolchain32/libstdc++-6.dll"));
    EXPECT_EQ(ReadAll(dir / "fx/app32/cxx.exe"), program);

    // Another build of the same size is a different file: left alone, and the bundle fails.
    std::string other = ReadAll(dir / "fx/toolchain32/libgcc_s_dw2-1.dll");
    other[other.size() / 2] ^= 1;
    dir.Write("libgcc_s_dw2-1.dll", other);
    const auto again = Run("bundle {fx}/app32/cxx.exe --to={d}" + toolchain + kWine);
    EXPECT_EQ(again.status, kExitMissing);
    EXPECT_THAT(again.out, HasSubstr("holds a different file (--force replaces it)"));
    EXPECT_TRUE(ReadAll(dir / "libgcc_s_dw2-1.dll") == other);
}

TEST_F(CliPackager, ReportListsEachMissingNameOnceAndAnswersWho)
{
    const auto r = Run("report --json {fx} --search={fx}/deps64" + kWine);
    ASSERT_EQ(r.status, kExitMissing) << r.err;
    const json doc = json::parse(r.out);
    std::vector<std::string> names;
    for (const json &m : doc["missing"]) {
        names.push_back(m["name"]);
    }
    // 32-bit files find their system DLLs in syswow64, the toolchain's DLLs each other in their
    // own folder; the C++ program does not see the toolchain's folder.
    EXPECT_EQ(names, (std::vector<std::string>{"libgcc_s_dw2-1.dll", "libgone.dll",
                                               "libstdc++-6.dll", "libwrong.dll"}));
    EXPECT_EQ(doc["missing"][1]["needed_by"],
              json::array({{{"file", X("{fx}/deps64/libb.dll")}, {"delay_loaded", false}}}));
    EXPECT_EQ(doc["missing"][0]["category"], "mingw-runtime");

    const auto who = Run("report {fx} --who=LIBA.DLL" + kSys);
    EXPECT_EQ(who.out, X("{fx}/app64/app.exe\n{fx}/deps64/libb.dll\n"));
    EXPECT_EQ(who.status, kExitOk);
    EXPECT_EQ(Run("report {fx} --who=nothing.dll" + kSys).status, kExitMissing);
}

TEST_F(CliPackager, BundleCopiesWhatTheProgramNeedsAndNeverClobbers)
{
    const fs::path to = dir / "out";
    const std::string bundle = "bundle --to={d}/out" + kApp64;
    const auto first = Run(bundle);
    EXPECT_EQ(first.status, kExitMissing); // libgone.dll and libwrong.dll are nowhere
    EXPECT_THAT(first.out, HasSubstr(X("copied: {fx}/deps64/liba.dll -> {d}/out/liba.dll")));
    EXPECT_THAT(Run(bundle).out,
                AllOf(HasSubstr("already there: "), ::testing::Not(HasSubstr("copied: "))));

    // A different file of the same name (in another letter case) is left alone without --force.
    fs::remove(to / "libb.dll");
    dir.Write("out/LIBB.DLL", "someone else's");
    EXPECT_THAT(Run(bundle).out,
                HasSubstr(X("not copied: {fx}/deps64/libb.dll -> {d}/out/LIBB.DLL\n      "
                            "{d}/out/LIBB.DLL holds a different file (--force replaces it)")));
    EXPECT_EQ(ReadAll(to / "LIBB.DLL"), "someone else's");

    // A link at the name is replaced, never written through; a folder is never replaced.
    QUORVANE_POSIX_ONLY_FROM_HERE(test::kNoLinks);
    dir.Write("outside.dll", "must stay");
    fs::remove(to / "liba.dll");
    fs::create_symlink(dir / "outside.dll", to / "liba.dll");
    fs::remove(to / "libdelay.dll");
    fs::create_directory(to / "libdelay.dll");
    EXPECT_THAT(Run(bundle + " --force").out, HasSubstr("is not a regular file: never replaced"));
    EXPECT_EQ(ReadAll(dir / "outside.dll"), "must stay");
    EXPECT_EQ(ReadAll(to / "liba.dll"), ReadAll(dir / "fx/deps64/liba.dll"));
    EXPECT_TRUE(fs::is_directory(to / "libdelay.dll"));
}

TEST_F(CliPackager, ListsImportedFunctionsAndEveryExport)
{
    EXPECT_THAT(Run("imports --functions {fn}/app/verapp.exe").out,
                HasSubstr("\t#5\n\tord_named (hint 9)\n\t#7\nlibdv.dll [delay-loaded]\n"));
    EXPECT_THAT(Run("exports --all {fn}/app/libfwd.dll {fn}/new/libord.dll").out,
                AllOf(HasSubstr("\t#5  fwd_noord  -> libtarget.#9\n"),
                      HasSubstr("\t#5  (no name)  0x"), HasSubstr("\t#9  ord_named  0x")));
}

TEST_F(CliPackager, MissingEntryPointsAreNamedWithTheirChainsAndFail)
{
    fs::copy_file(dir / "fn/sys64/kernel32.dll", dir / "fn/app/KERNEL32.DLL");
    const auto old = Run("tree {fn}/app/verapp.exe --search={fn}/old" + kSys);
    EXPECT_EQ(old.status, kExitMissing);
    // Windows loads one of its KnownDLLs from the system folder, whatever the program carries.
    EXPECT_THAT(
        old.out,
        AllOf(HasSubstr(X(": 64-bit (x86-64); 5 DLLs found, 0 missing, 0 API-set contracts, "
                          "4 missing entry points\nmissing entry points:\n  libver.dll "
                          "(verapp.exe -> libver.dll): ver_new1, ver_new2 [2 of 5 imports]"
                          "\n      {fn}/old/libver.dll is another build of libver.dll")),
              HasSubstr(X("  KERNEL32.dll => {fn}/sys64/kernel32.dll [system]\n")),
              HasSubstr(X("ignored (Windows loads its own copy of these, one of its "
                          "KnownDLLs):\n  {fn}/app/KERNEL32.DLL\n"))));
    EXPECT_THAT(
        Run("tree --missing-only --demangle {fn}/app/cxxapp.exe --search={fn}/old" + kSys).out,
        HasSubstr("(cxxapp.exe -> libcxxms.dll): public: void __cdecl "
                  "foo::Widget::close(void) [1 of 3 imports]\n"));

    // report checks the functions of every file in the folder.
    const auto report = Run("report {fn}/app --search={fn}/old" + kSys);
    EXPECT_EQ(report.status, kExitMissing);
    EXPECT_THAT(report.out,
                AllOf(HasSubstr("; 0 missing names, 0 damaged, 9 missing entry points\n"),
                      HasSubstr(X("  libver.dll ({fn}/app/verapp.exe -> {fn}/old/libver.dll): "
                                  "ver_new1, ver_new2 [2 of 5 imports]\n"))));
}

} // namespace
} // namespace quorvane
