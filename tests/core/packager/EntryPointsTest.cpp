// The check of imported functions against real DLLs that the cross compilers built: names and
// ordinals, forwarders that resolve, lead nowhere or loop, and damaged export tables.
#include "core/packager/EntryPoints.h"
#include "support/PackagerTestSupport.h"

#include <gtest/gtest.h>

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

TEST(EntryPoints, ADamagedExportTableIsNamedNeverChecked)
{
    test::TempDir dir;
    test::PeBuilder b;
    b.bitness = test::Bitness::Pe32Plus;
    b.isDll = true;
    b.exports = {"Alpha"};
    test::BuiltPe pe = b.Build();
    pe.PutU32(pe.layout.exportDirectoryOffset + 20, 0x7FFFFFFF); // an address count past the file
    const std::string broken = pe.WriteTo(dir / "broken.dll").string();
    ExportTableCache exports;
    std::vector<DamagedExports> found;
    const auto missing = CheckImportedFunctions(
        {{"BROKEN.dll", false, {ByName("Alpha"), ByOrdinal(2)}}},
        [&broken](const std::string &) { return &broken; }, exports, LookIn(dir.Path()), found);
    EXPECT_TRUE(missing.empty());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, broken);
}

} // namespace
} // namespace quorvane
