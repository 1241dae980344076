// The check of imported functions against real DLLs that the cross compilers built: names and
// ordinals, forwarders that resolve, lead nowhere or loop, damaged export tables; and Windows'
// KnownDLLs, whose copies beside a program are never loaded.
#include "core/packager/EntryPoints.h"
#include "core/packager/DependencyClosure.h"
#include "core/packager/DllHints.h"
#include "core/packager/KnownDlls.h"
#include "support/MalformedPe.h"
#include "support/PackagerTestSupport.h"
#include "support/PosixOnly.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

ImportedFunction ByName(const char *name)
{
    ImportedFunction f;
    f.name = name;
    return f;
}

ImportedFunction ByOrdinal(std::uint16_t ordinal)
{
    ImportedFunction f;
    f.ordinal = ordinal;
    return f;
}

// A forwarder's DLL is looked for in one folder, as the closure looks beside the program.
ForwarderDllLookup LookIn(const fs::path &folder)
{
    return [folder](const std::string &name) {
        const fs::path path = folder / name;
        return fs::exists(path) ? std::optional(path.string()) : std::nullopt;
    };
}

TEST(EntryPoints, EachImportIsFoundOrMissingForItsReason)
{
    QUORVANE_NEED_FIXTURES();
    using enum EntryPointFault;
    struct Case {
        const char *dll;
        ImportedFunction function;
        std::optional<EntryPointFault> fault;
        std::vector<std::string> forwarders = {};
    };
    const std::vector<Case> cases = {
        {"new/libver.dll", ByName("ver_new1"), std::nullopt},
        {"old/libver.dll", ByName("ver_new1"), NotExported},
        {"new/libver.dll", ByName("VER_OPEN"), NotExported}, // names match with their case
        {"new/libord.dll", ByOrdinal(7), std::nullopt},
        {"new/libord.dll", ByOrdinal(9), std::nullopt}, // a named export, by its ordinal
        {"old/libord.dll", ByOrdinal(7), NotExported},
        {"new/libord.dll", ByOrdinal(6), NotExported},  // inside the table, but empty
        {"new/libord.dll", ByOrdinal(4), NotExported},  // below the ordinal base
        {"new/libord.dll", ByOrdinal(10), NotExported}, // past the table
        {"app/libfwd.dll", ByName("own_fun"), std::nullopt},
        {"app/libfwd.dll", ByName("fwd_ok"), std::nullopt},
        {"app/libfwd.dll", ByName("fwd_ord"), std::nullopt},
        {"app/libfwd.dll", ByName("fwd_api"), std::nullopt}, // Windows resolves the contract
        {"app/libfwd.dll", ByName("fwd_gone"), NotExported, {"libtarget.not_there"}},
        {"app/libfwd.dll", ByName("fwd_noord"), NotExported, {"libtarget.#9"}},
        {"app/libfwd.dll", ByName("fwd_nodll"), ForwarderDllMissing, {"libnowhere.nowhere_fun"}},
        {"app/libfwd.dll",
         ByName("fwd_loop"),
         ForwarderLoop,
         {"libloopa.loop_fun", "libloopb.loop_fun", "libloopa.loop_fun"}},
    };
    const fs::path folder = test::FixtureFolder() / "functions";
    ExportTableCache exports;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.dll) + " " + FunctionLabel(c.function));
        const auto missing = MissingEntryPoints((folder / c.dll).string(), {c.function}, exports,
                                                LookIn(folder / "app"));
        if (!c.fault) {
            EXPECT_TRUE(missing.empty());
            continue;
        }
        ASSERT_EQ(missing.size(), 1u);
        EXPECT_EQ(missing[0].fault, *c.fault);
        EXPECT_EQ(missing[0].forwarders, c.forwarders);
    }
}

const test::MalformedCase &Row(const std::string &name)
{
    for (const auto &c : test::MalformedCases()) {
        if (c.name == name) {
            return c;
        }
    }
    throw std::runtime_error("no malformed case " + name);
}

TEST(EntryPoints, AForwarderToItselfIsALoopAndADamagedTableIsNeverChecked)
{
    test::TempDir dir;
    // The malformed rows' DLL calls itself SAMPLE.dll; Alpha forwards to SAMPLE.Alpha.
    test::BuiltPe self;
    self.bytes = Row("ForwarderToItself").make(test::Bitness::Pe32Plus);
    const std::string sample = self.WriteTo(dir / "SAMPLE.dll").string();
    ExportTableCache exports;
    const auto loop =
        MissingEntryPoints(sample, {ByName("Alpha"), ByName("Beta")}, exports, LookIn(dir.Path()));
    ASSERT_EQ(loop.size(), 1u);
    EXPECT_EQ(loop[0].fault, EntryPointFault::ForwarderLoop);

    test::BuiltPe damaged;
    damaged.bytes = Row("ExportAddressCountPastTheTable").make(test::Bitness::Pe32Plus);
    const std::string broken = damaged.WriteTo(dir / "broken.dll").string();
    std::vector<DamagedExports> found;
    const auto missing = CheckImportedFunctions(
        {{"BROKEN.dll", false, {ByName("Alpha"), ByOrdinal(2)}}},
        [&broken](const std::string &) { return &broken; }, exports, LookIn(dir.Path()), found);
    EXPECT_TRUE(missing.empty());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, broken);
}

TEST(KnownDlls, TheBuiltInListIsTheDataFileAndEveryNameIsAWindowsComponent)
{
    std::ifstream file(QUORVANE_KNOWN_DLLS_FILE);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(BuiltInKnownDllsText(), text.str()) << "rebuild: the program holds an older list";
    const auto names = ParseKnownDlls(BuiltInKnownDllsText());
    EXPECT_GE(names.size(), 30u);
    for (const std::string &name : names) {
        EXPECT_TRUE(IsKnownDll(name));
        EXPECT_EQ(HintFor(name).category, kHintSystem) << name;
    }
    EXPECT_TRUE(IsKnownDll("KERNEL32.dll"));
    EXPECT_FALSE(IsKnownDll("kernelbase.dll"));
    EXPECT_FALSE(IsKnownDll("kernel32"));
}

TEST(KnownDlls, ACopyBesideTheProgramIsIgnoredForTheSystemFoldersOne)
{
    test::TempDir dir;
    test::WritePe(dir / "app" / "app.exe", {"KERNEL32.dll", "USER32.dll", "libapp.dll"});
    test::WritePe(dir / "app" / "kernel32.dll", {"evil.dll"});
    test::WritePe(dir / "app" / "user32.dll", {});
    test::WritePe(dir / "app" / "libapp.dll", {});
    test::WritePe(dir / "sys" / "kernel32.dll", {});
    const auto build = [&dir](std::optional<std::string> system,
                              const std::string &program = "app/app.exe") {
        std::string problem;
        const auto order = SearchOrder::Make({}, system, std::nullopt, problem);
        FolderCache folders;
        PeFactsCache facts;
        return ClosureBuilder(*order, folders, facts).Build((dir / program).string());
    };
    const test::NoMachineSystemFolder noMachineFolder;
    const ClosureResult c = build((dir / "sys").string());
    // Spelt as the program's path is: "app/app.exe" gives "app/kernel32.dll" on Windows too.
    EXPECT_EQ(c.ignored, (std::vector<std::string>{(dir / "app/kernel32.dll").string(),
                                                   (dir / "app/user32.dll").string()}));
    ASSERT_EQ(c.modules.size(), 3u); // app.exe, the system's kernel32.dll, libapp.dll
    EXPECT_EQ(c.modules[1].path, (dir / "sys" / "kernel32.dll").string());
    ASSERT_EQ(c.named.size(), 1u); // USER32.dll: in no system folder; evil.dll never seen
    EXPECT_EQ(c.named[0].state, NamedState::Missing);
    // A program of the system folder itself loads the system folder's copy: nothing is ignored,
    // however the two paths spell the folder.
    test::WritePe(dir / "sys" / "tool.exe", {"KERNEL32.dll"});
    EXPECT_TRUE(build((dir / "app" / ".." / "sys").string(), "sys/tool.exe").ignored.empty());

    // Without a system folder a KnownDLL is a Windows component taken as present.
    QUORVANE_POSIX_ONLY_FROM_HERE("Windows always has a system folder");
    const ClosureResult unchecked = build(std::nullopt);
    EXPECT_EQ(unchecked.ignored.size(), 2u);
    EXPECT_EQ(unchecked.modules.size(), 2u);
    EXPECT_EQ(unchecked.Outcome(), PackagerOutcome::Complete);
}

} // namespace
} // namespace quorvane
