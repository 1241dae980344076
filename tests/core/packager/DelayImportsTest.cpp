// The delay-load import table reader, on built images with chosen faults and on a program that lld
// linked with a delay-loaded DLL.
#include "core/packager/PeFacts.h"
#include "core/pe/FileBytes.h"
#include "core/pe/modDelayImports.h"
#include "support/PackagerTestSupport.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using test::Bitness;
using test::BuiltPe;
using test::PeBuilder;

constexpr std::uint64_t kDelayDirectory = 13;

BuiltPe WithDelayImports(Bitness bitness, std::vector<std::string> names)
{
    PeBuilder b;
    b.bitness = bitness;
    b.isDll = true;
    b.imports = {"KERNEL32.dll"};
    b.delayImports = std::move(names);
    return b.Build();
}

ReaderResult Read(const BuiltPe &pe)
{
    const MemorySource source(pe.bytes);
    return ReadDelayImportNames(source);
}

TEST(DelayImports, NamesInTableOrderForBothKinds)
{
    for (const Bitness bitness : {Bitness::Pe32, Bitness::Pe32Plus}) {
        const ReaderResult r = Read(WithDelayImports(bitness, {"comdlg32.dll", "LIBDELAY.DLL"}));
        EXPECT_TRUE(r.Ok());
        EXPECT_EQ(r.Status(), kStatusImportsOk);
        EXPECT_EQ(r.names, (std::vector<std::string>{"comdlg32.dll", "LIBDELAY.DLL"}));
    }
}

TEST(DelayImports, NoTableIsNoErrorAndNoNames)
{
    const ReaderResult r = Read(WithDelayImports(Bitness::Pe32Plus, {}));
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.Status(), kStatusNoDelayImports);
    const std::vector<std::uint8_t> text(512, 'x');
    const MemorySource notPe(text);
    EXPECT_EQ(ReadDelayImportNames(notPe).Status(), kStatusErrorMapping);
}

TEST(DelayImports, TheOldLayoutHoldsAddressesNotRvas)
{
    BuiltPe pe = WithDelayImports(Bitness::Pe32, {"old.dll"});
    const std::uint64_t entry = pe.layout.delayImportDirectoryOffset;
    const std::uint32_t nameRva = pe.GetU32(entry + 4);
    pe.PutU32(entry, 0); // attributes: addresses
    pe.PutU32(entry + 4, 0x10000000 + nameRva);
    EXPECT_EQ(Read(pe).names, std::vector<std::string>{"old.dll"});

    pe.PutU32(entry + 4, nameRva); // an address below the image base leads nowhere
    EXPECT_EQ(Read(pe).Status(), kStatusDelayImportWalkFailed);
}

TEST(DelayImports, DamagedTablesAreReportedAsDamaged)
{
    const BuiltPe good = WithDelayImports(Bitness::Pe32Plus, {"a.dll", "b.dll"});
    const std::uint64_t directory = good.layout.dataDirectoriesOffset + 8 * kDelayDirectory;
    const std::uint64_t entry = good.layout.delayImportDirectoryOffset;
    struct Case {
        const char *what;
        std::function<void(BuiltPe &)> breakIt;
    };
    const std::vector<Case> cases = {
        {"table outside every section", [&](BuiltPe &pe) { pe.PutU32(directory, 0x00F00000); }},
        {"name outside every section", [&](BuiltPe &pe) { pe.PutU32(entry + 32 + 4, 0x00F00000); }},
        {"table without its end, running off the file",
         [&](BuiltPe &pe) {
             pe.PutU32(directory, pe.layout.RvaOf(pe.bytes.size() - 36));
             pe.PutU32(pe.bytes.size() - 36 + 4, pe.GetU32(entry + 4));
         }},
        {"name without its zero at the end of the file",
         [&](BuiltPe &pe) {
             pe.bytes.back() = 'x';
             pe.PutU32(entry + 4, pe.layout.RvaOf(pe.bytes.size() - 1));
         }},
    };
    for (const Case &c : cases) {
        BuiltPe pe = good;
        c.breakIt(pe);
        const ReaderResult r = Read(pe);
        EXPECT_FALSE(r.Ok()) << c.what;
        EXPECT_EQ(r.Status(), kStatusDelayImportWalkFailed) << c.what;

        // The packager's view keeps the import table's names but never calls the file sound.
        const MemorySource source(pe.bytes);
        const PeFacts facts = ReadPeFacts(source, true);
        EXPECT_EQ(facts.Problem(), kStatusDelayImportWalkFailed) << c.what;
        EXPECT_EQ(facts.imports, std::vector<std::string>{"KERNEL32.dll"}) << c.what;
    }
}

TEST(DelayImports, AgreesWithTheLinkerOnARealProgram)
{
    QUORVANE_NEED_FIXTURES();
    // lld wrote this table for -delayload=libdelay.dll; llvm-readobj lists the same one name.
    const std::string app = (test::FixtureFolder() / "app64" / "app.exe").string();
    const ReaderResult delayed = ReadDelayImportNames(app);
    EXPECT_TRUE(delayed.Ok()) << delayed.Status();
    EXPECT_EQ(delayed.names, std::vector<std::string>{"libdelay.dll"});
    const PeFacts facts = ReadPeFacts(app, true);
    EXPECT_EQ(facts.machine, 0x8664);
    EXPECT_EQ(facts.imports,
              (std::vector<std::string>{"KERNEL32.dll", "msvcrt.dll", "liba.dll", "libwrong.dll",
                                        "api-ms-win-core-synch-l1-2-0.dll"}));
    // A file the GNU linker made has no delay-load table at all.
    const PeFacts plain =
        ReadPeFacts((test::FixtureFolder() / "deps64" / "liba.dll").string(), true);
    EXPECT_TRUE(plain.Problem().empty()) << plain.Problem();
    EXPECT_TRUE(plain.delayImports.empty());
}

} // namespace
} // namespace quorvane
