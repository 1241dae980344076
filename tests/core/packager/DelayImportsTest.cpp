// The delay-load import table in its old layout, which holds addresses instead of RVAs.
#include "core/pe/FileBytes.h"
#include "core/pe/modDelayImports.h"
#include "support/PeBuilder.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(DelayImports, TheOldLayoutHoldsAddressesNotRvas)
{
    test::PeBuilder b;
    b.isDll = true;
    b.delayImports = {"old.dll"};
    test::BuiltPe pe = b.Build();
    const std::uint64_t entry = pe.layout.delayImportDirectoryOffset;
    const std::uint32_t nameRva = pe.GetU32(entry + 4);
    pe.PutU32(entry, 0); // attributes: addresses
    pe.PutU32(entry + 4, 0x10000000 + nameRva);
    EXPECT_EQ(ReadDelayImportNames(MemorySource(pe.bytes)).names,
              std::vector<std::string>{"old.dll"});
    pe.PutU32(entry + 4, nameRva); // an address below the image base leads nowhere
    EXPECT_EQ(ReadDelayImportNames(MemorySource(pe.bytes)).Status(), kStatusDelayImportWalkFailed);
}

} // namespace
} // namespace quorvane
