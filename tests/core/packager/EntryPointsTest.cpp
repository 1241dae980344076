// The check of imported functions against real DLLs that the cross compilers built: names and
// ordinals, forwarders that resolve, lead nowhere or loop; and the hints that tell what kind of DLL
// a missing name is.
#include "core/packager/EntryPoints.h"
#include "core/packager/DllHints.h"
#include "core/packager/KnownDlls.h"
#include "support/PackagerTestSupport.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

const auto ByName = [](const char *name) { return ImportedFunction{name, 0, std::nullopt}; };
const auto ByOrdinal = [](std::uint16_t ordinal) { return ImportedFunction{"", 0, ordinal}; };

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
    const std::string loop = "libloopa.loop_fun"; // and back through libloopb
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
        {"app/libfwd.dll", ByName("fwd_loop"), ForwarderLoop, {loop, "libloopb.loop_fun", loop}},
    };
    const fs::path folder = test::kFixtures / "functions";
    ExportTableCache exports;
    // A forwarder's DLL is looked for beside the program, as the closure looks.
    const ForwarderDllLookup beside = [&](const std::string &name) {
        const fs::path path = folder / "app" / name;
        return fs::exists(path) ? std::optional(path.string()) : std::nullopt;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.dll) + " " + FunctionLabel(c.function));
        const auto missing =
            MissingEntryPoints((folder / c.dll).string(), {c.function}, exports, beside);
        ASSERT_EQ(missing.size(), c.fault ? 1u : 0u);
        if (c.fault) {
            EXPECT_EQ(missing[0].fault, *c.fault);
            EXPECT_EQ(missing[0].forwarders, c.forwarders);
        }
    }
}

TEST(HintTable, KnownNamesFallIntoTheirCategoriesInAnyCase)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"msvc-runtime", {"VCRUNTIME140.dll", "api-ms-win-crt-runtime-l1-1-0.dll"}},
        {"system", {"msvcrt.dll", "xinput1_4.dll"}},
        {"mingw-runtime", {"LIBWINPTHREAD-1.DLL", "libstdc++-6.dll"}},
        {"directx", {"XINPUT1_3.dll"}},
        {"api-set", {"api-ms-win-core-synch-l1-2-0.dll"}},
        {"application", {"xinput1_10.dll", "libfoo.dll", "", "kernel32.dll.bak"}},
    };
    for (const auto &[category, names] : cases) {
        for (const std::string &name : names) {
            EXPECT_EQ(HintForDependency(name).category, category) << name;
        }
    }
    EXPECT_EQ(BuiltInHints().Problems(), std::vector<std::string>{});
    // Windows loads its KnownDLLs from the system folder, whatever a program carries.
    for (const std::string &name : ParseKnownDlls(BuiltInKnownDllsText())) {
        EXPECT_EQ(HintFor(name).category, kHintSystem) << name;
    }
}

} // namespace
} // namespace quorvane
