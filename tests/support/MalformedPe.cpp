#include "support/MalformedPe.h"

#include <algorithm>

namespace quorvane::test {
namespace {

using Names = std::vector<std::string>;
using Make = std::function<std::vector<std::uint8_t>(Bitness)>;
using Edit = std::function<void(BuiltPe &)>;
using Configure = std::function<void(PeBuilder &)>;
const Configure kDefaults = [](PeBuilder &) {};
const Edit kAsBuilt = [](BuiltPe &) {};

// The fields the cases break: the structure that holds one (none: the file), where in it, how wide.
struct Field {
    std::uint64_t PeLayout::*in;
    std::int64_t offset;
    int width = 4;
};
constexpr auto kNt = &PeLayout::ntOffset, kOptional = &PeLayout::optionalOffset,
               kDirectories = &PeLayout::dataDirectoriesOffset,
               kSections = &PeLayout::sectionTableOffset,
               kImports = &PeLayout::importDirectoryOffset,
               kExport = &PeLayout::exportDirectoryOffset;
constexpr Field kMz{nullptr, 0, 2}, kLfanew{nullptr, 0x3C};
constexpr Field kSignature{kNt, 0}, kNumberOfSections{kNt, 6, 2}, kSizeOfOptionalHeader{kNt, 20, 2};
constexpr Field kMagic{kOptional, 0, 2}, kSectionAlignment{kOptional, 32},
    kFileAlignment{kOptional, 36}, kSizeOfImage{kOptional, 56}, kSizeOfHeaders{kOptional, 60};
constexpr Field kRvaCount{kDirectories, -4}; // NumberOfRvaAndSizes
constexpr Field kExportDirectory{kDirectories, 0}, kImportDirectory{kDirectories, 8};
constexpr Field kVirtualSize{kSections, 8}, kRawSize{kSections, 16}, kRawPointer{kSections, 20};
constexpr Field kFirstName{kImports, 12}, kSecondName{kImports, 32};
constexpr Field kOrdinalBase{kExport, 16}, kAddressCount{kExport, 20}, kNameCount{kExport, 24};
constexpr Field kSecondNamePointer{&PeLayout::exportNamePointersOffset, 4};
constexpr std::uint32_t kDosStub = 0x40;       // free bytes inside the headers
constexpr std::uint32_t kNowhere = 0x7FFF0000; // an RVA that no section holds

const auto Where = [](const BuiltPe &pe, Field f) {
    return (f.in ? pe.layout.*f.in : 0) + static_cast<std::uint64_t>(f.offset);
};

const auto Put = [](BuiltPe &pe, Field f, std::uint64_t v) { pe.Put(Where(pe, f), v, f.width); };

using Poke = std::pair<Field, std::uint64_t>;

// The builder's image with both names of each table, configured, edited, then with values poked.
Make Image(std::vector<Poke> pokes, Edit edit = kAsBuilt, Configure configure = kDefaults)
{
    return [=](Bitness bitness) {
        PeBuilder b{.bitness = bitness,
                    .imports = {"KERNEL32.dll", "USER32.dll"},
                    .exports = {"Alpha", "Beta"}};
        configure(b);
        BuiltPe pe = b.Build();
        edit(pe);
        for (const auto &[field, value] : pokes) {
            Put(pe, field, value);
        }
        return pe.bytes;
    };
}

const auto Set = [](Field f, std::uint64_t value) { return Image({{f, value}}); };
const auto Edited = [](Edit edit) { return Image({}, std::move(edit)); };
const auto Built = [](Configure configure) { return Image({}, kAsBuilt, std::move(configure)); };

// A low-alignment image whose section holds only the first 16 bytes of its raw data, so that the
// names lie past it, where only a low-alignment image maps them.
const auto LowAlignment = [](std::vector<Poke> pokes) {
    const Edit cut = [](BuiltPe &pe) { Put(pe, kRawSize, 0x10); };
    return Image(std::move(pokes), cut, [](PeBuilder &b) { b.lowAlignment = true; });
};

// Appends bytes at the end of the file, inside the data section, and returns their RVA.
const auto Append = [](BuiltPe &pe, std::string_view bytes) {
    const std::uint64_t at = pe.bytes.size();
    pe.bytes.insert(pe.bytes.end(), bytes.begin(), bytes.end());
    Put(pe, kRawSize, pe.bytes.size() - pe.layout.sectionOffset);
    Put(pe, kVirtualSize, pe.bytes.size() - pe.layout.sectionOffset);
    return pe.layout.RvaOf(at);
};

const auto SignatureAtTheEnd = [](BuiltPe &pe) {
    Put(pe, kLfanew, pe.bytes.size() - 8);
    pe.PutU32(pe.bytes.size() - 8, 0x4550); // a signature, but no file header after it
};

// The section table then starts on the import entry; its one header has no raw data.
const Edit kOnlyTheExportEntry = [](BuiltPe &pe) {
    Put(pe, kSizeOfOptionalHeader, pe.layout.dataDirectoriesOffset + 8 - pe.layout.optionalOffset);
};

// Read with the other layout (0x10B and 0x20B), the directories hold nothing at entries 0 and 1.
const Edit kOtherMagic = [](BuiltPe &pe) { Put(pe, kMagic, pe.GetU32(Where(pe, kMagic)) ^ 0x300); };

// A second header over the same RVAs with its raw data on the MS-DOS header.
const auto OverlappingSection = [](BuiltPe &pe) {
    const auto first = pe.bytes.begin() + static_cast<std::ptrdiff_t>(Where(pe, kVirtualSize) - 8);
    std::copy_n(first, 40, first + 40);
    pe.PutU32(Where(pe, kRawPointer) + 40, 0);
    Put(pe, kNumberOfSections, 2);
};

const Edit kStubName = [](BuiltPe &pe) {
    std::copy_n("STUB.dll", 9, pe.bytes.begin() + kDosStub);
    Put(pe, kSecondName, kDosStub);
};

// An export directory in the free bytes after the section header: one name, whose entry 0 lies
// just past the address table, which is empty.
const auto ExportsInTheHeaders = [](BuiltPe &pe) {
    const auto table = static_cast<std::uint32_t>(Where(pe, kVirtualSize) + 40);
    pe.PutU32(table + 24, 1);
    pe.PutU32(table + 32, table + 40);
    pe.PutU32(table + 36, table + 52); // the name ordinal table: zeros
    pe.PutU32(table + 40, table + 44);
    std::copy_n("Head", 5, pe.bytes.begin() + table + 44);
    Put(pe, kExportDirectory, table);
};

// Only the Name RVA of the terminating descriptor, the third, has to be zero.
const auto TerminatorWithOtherFields = [](BuiltPe &pe) {
    for (const std::uint64_t field : {0u, 4u, 8u, 16u}) {
        pe.PutU32(pe.layout.importDirectoryOffset + 40 + field, 0xDEADBEEF);
    }
};

// Every field from the table to the end of the file names a DLL in the MS-DOS stub; the exports,
// overwritten too, point their name table at the stub's bytes.
const auto NoTerminator = [](BuiltPe &pe) {
    std::copy_n("A.dll", 6, pe.bytes.begin() + kDosStub);
    for (std::uint64_t at = pe.layout.importDirectoryOffset; at + 4 <= pe.bytes.size(); at += 4) {
        pe.PutU32(at, kDosStub);
    }
};

// Points Alpha's entry at text appended to the file, inside the export directory's range, which
// makes it a forwarder; Beta's now points below that range, at the start of the section.
const auto ForwarderToItself = [](BuiltPe &pe) {
    const std::uint32_t at = Append(pe, std::string_view("SAMPLE.Alpha\0", 13));
    const std::uint64_t entries =
        pe.GetU32(Where(pe, kAddressCount) + 8) - pe.layout.sectionRva + pe.layout.sectionOffset;
    pe.PutU32(Where(pe, kExportDirectory) + 4, at + 0x100 - pe.GetU32(Where(pe, kExportDirectory)));
    pe.PutU32(entries, at);
    pe.PutU32(entries + 4, pe.layout.sectionRva);
};

// One import by ordinal, then the end of the file where the next entry should be.
const Edit kLookupTableRunsOff = [](BuiltPe &pe) {
    pe.PutU32(pe.layout.importDirectoryOffset + 20, Append(pe, std::string_view("\1\0\0\x80", 4)));
};

// 70,000 pointers at one 1,000-byte name ask for 70 MB of names from a 300 KB file.
const auto NamesPastTheLimit = [](BuiltPe &pe) {
    std::string table;
    for (int k = 0; k < 70000; ++k) {
        table.append(reinterpret_cast<const char *>(&pe.bytes[pe.layout.exportNamePointersOffset]),
                     4);
    }
    Put(pe, kNameCount, 70000);
    pe.PutU32(Where(pe, kNameCount) + 8, Append(pe, table));
};

// The terminating descriptor's bytes are zero: an empty name.
const auto EmptyNames = [](BuiltPe &pe) {
    Put(pe, kSecondName, pe.layout.RvaOf(pe.layout.importDirectoryOffset + 40));
    pe.PutU32(pe.layout.exportNamePointersOffset,
              pe.layout.RvaOf(pe.layout.importDirectoryOffset + 40));
};

const std::string kLongName = std::string(100000, 'L') + ".dll";

const ExpectedRead kNotPe{kStatusErrorMapping, {}}, kNoImports{kStatusNoImports, {}},
    kNoExports{kStatusNoExports, {}}, kBadImports{kStatusImportWalkFailed, {}},
    kBadExports{kStatusExportWalkFailed, {}};
const auto Imports = [](Names names = {"KERNEL32.dll", "USER32.dll"}) {
    return ExpectedRead{kStatusImportsOk, std::move(names)};
};
const auto Exports = [](Names names = {"Alpha", "Beta"}) {
    return ExpectedRead{kStatusExportsOk, std::move(names)};
};

std::vector<MalformedCase> MakeCases()
{
    return {
        // Not a PE image: the MS-DOS header, e_lfanew, the signature, the headers' extent.
        {"NoMzSignature", Set(kMz, 'X'), kNotPe, kNotPe},
        {"ELfanewNegative", Set(kLfanew, 0xFFFFFFF0), kNotPe, kNotPe},
        {"ELfanewLeavesNoRoomForTheFileHeader", Edited(SignatureAtTheEnd), kNotPe, kNotPe},
        {"NoPeSignature", Set(kSignature, 0), kNotPe, kNotPe},
        {"UnknownOptionalHeaderMagic", Set(kMagic, 0x107), kNotPe, kNotPe},
        {"SizeOfOptionalHeaderZero", Set(kSizeOfOptionalHeader, 0), kNotPe, kNotPe},
        {"TruncatedOptionalHeader", Edited([](BuiltPe &pe) { pe.bytes.resize(0x98 + 50); }), kNotPe,
         kNotPe},
        {"SectionTablePastTheEnd", Set(kNumberOfSections, 0xFFFF), kNotPe, kNotPe},
        // The optional header: how many data directory entries it really holds.
        {"OnlyTheExportDirectoryEntry", Edited(kOnlyTheExportEntry), kNoImports, kBadExports},
        {"OptionalHeaderMagicOfTheOtherKind", Edited(kOtherMagic), kNoImports, kNoExports},
        {"NumberOfRvaAndSizesOne", Set(kRvaCount, 1), kNoImports, Exports()},
        {"NumberOfRvaAndSizesHuge", Set(kRvaCount, 0xFFFFFFFF), Imports(), Exports()},
        // The section table: where RVAs land in the file.
        {"SectionRawDataPastTheEnd", Set(kRawPointer, 0x7FFFF000), kBadImports, kBadExports},
        {"SectionRawSizeZero", Set(kRawSize, 0), kBadImports, kBadExports},
        {"SectionRawSizeWrapping32Bits", Image({{kRawSize, 0xFFFFFFFF}, {kRawPointer, 0xFFFFFF00}}),
         kBadImports, kBadExports},
        {"SectionVirtualSizeZero", Set(kVirtualSize, 0), Imports(), Exports()},
        {"OverlappingSectionsFirstWins", Edited(OverlappingSection), Imports(), Exports()},
        // Where the loader reads differently from a plain walk of the section table. The section's
        // bytes start at 0x200; in a low-alignment image its RVA is 0x200 too.
        {"PointerToRawDataRoundedDownTo512", Set(kRawPointer, 0x21F), Imports(), Exports()},
        {"SizeOfRawDataRoundedUpToFileAlignment", Set(kRawSize, 1), Imports(), Exports()},
        {"SizeOfRawDataNotRoundedWithoutAValidFileAlignment",
         Image({{kRawSize, 1}, {kFileAlignment, 0x300}}), kBadImports, kBadExports},
        {"LowAlignmentNamesPastTheSectionsRawData", LowAlignment({}), Imports(), Exports()},
        {"LowAlignmentRvasPastSizeOfImage", LowAlignment({{kSizeOfImage, 0x210}}), kBadImports,
         kBadExports},
        {"UnequalSmallAlignmentsAreNotLowAlignment", LowAlignment({{kFileAlignment, 0x100}}),
         kBadImports, kBadExports},
        {"SectionAlignmentZeroIsNotLowAlignment",
         LowAlignment({{kSectionAlignment, 0}, {kFileAlignment, 0}}), kBadImports, kBadExports},
        // Tables and names inside the headers, which the loader maps as they stand in the file.
        {"NameInTheHeaders", Edited(kStubName), Imports({"KERNEL32.dll", "STUB.dll"}), Exports()},
        {"NameInTheHeadersPastSizeOfHeaders", Image({{kSizeOfHeaders, kDosStub}}, kStubName),
         kBadImports, Exports()},
        // The export table reader, unlike the name reader, sees that the one name names no entry.
        {"ExportTableInTheHeaders", Edited(ExportsInTheHeaders), Imports(), Exports({"Head"}),
         kBadExports},
        // The import directory table.
        {"ImportDirectoryRvaZero", Set(kImportDirectory, 0), kNoImports, Exports()},
        {"ImportNameRvaInNoSection", Set(kSecondName, kNowhere), kBadImports, Exports()},
        {"TerminatorWithOnlyItsNameZero", Edited(TerminatorWithOtherFields), Imports(), Exports()},
        {"FirstImportDescriptorIsTheTerminator", Set(kFirstName, 0), Imports({}), Exports()},
        {"ImportTableWithoutTerminator", Edited(NoTerminator), kBadImports, kBadExports},
        {"SixtyThousandImportDescriptors",
         Built([](PeBuilder &b) { b.imports.assign(60000, "X.dll"), b.exports = {}; }),
         Imports(Names(60000, "X.dll")), kNoExports},
        // The export directory and its name pointer table.
        {"ExportDirectoryRvaZero", Set(kExportDirectory, 0), Imports(), kNoExports},
        // The file ends with the section's 0x200 bytes at RVA 0x1000.
        {"ExportDirectoryRunsOffTheFile", Set(kExportDirectory, 0x1200 - 20), Imports(),
         kBadExports},
        {"ExportNameCountZero", Set(kNameCount, 0), Imports(), Exports({})},
        {"ExportNameCountOneOfTwo", Set(kNameCount, 1), Imports(), Exports({"Alpha"})},
        {"ExportNameCountAbove2To31", Set(kNameCount, 0x80000000), Imports(), kBadExports},
        {"ExportNameRvaInNoSection", Set(kSecondNamePointer, kNowhere), Imports(), kBadExports},
        {"ExportNamesPastTheOutputLimit",
         Image({}, NamesPastTheLimit, [](PeBuilder &b) { b.exports = {std::string(1000, 'N')}; }),
         Imports(), kBadExports},
        // The export address table, ordinals and forwarders (the export table reader's own). The
        // loader subtracts the base modulo 2^32: with base 2^32 - 1, Beta's ordinal is 0.
        {"ExportAddressCountPastTheTable", Set(kAddressCount, 0x100000), Imports(), Exports(),
         kBadExports},
        {"ExportOrdinalBaseNear2To32", Set(kOrdinalBase, 0xFFFFFFFF), Imports(), Exports(),
         Exports({"#4294967295 Alpha", "#0 Beta"})},
        {"ForwarderToItself", Edited(ForwarderToItself), Imports(), Exports(),
         Exports({"#1 Alpha -> SAMPLE.Alpha", "#2 Beta"})},
        {"ImportLookupTableRunsOffTheFile", Edited(kLookupTableRunsOff), Imports(), Exports(),
         std::nullopt, kStatusImportWalkFailed},
        // Names: their end, their length, and bytes that mean something elsewhere.
        {"ImportNameWithoutZeroAtTheEndOfTheFile",
         Edited([](BuiltPe &pe) { Put(pe, kSecondName, Append(pe, "NOZERO")); }), kBadImports,
         Exports()},
        {"EmptyName", Edited(EmptyNames), Imports({"KERNEL32.dll", ""}), Exports({"", "Beta"})},
        {"HundredThousandByteName",
         Edited([](BuiltPe &pe) { Put(pe, kSecondName, Append(pe, kLongName + '\0')); }),
         Imports({"KERNEL32.dll", kLongName}), Exports()},
        {"NamesWithBytesAbove127", Built([](PeBuilder &b) {
             b.imports = {"Caf\xE9.dll", "\x80\x9F\xA0\xFF.dll"}, b.exports = {"\x81"};
         }),
         Imports({"Caf\xC3\xA9.dll", "\xE2\x82\xAC\xC5\xB8\xC2\xA0\xC3\xBF.dll"}),
         Exports({"\xC2\x81"})},
    };
}

} // namespace

const std::vector<MalformedCase> &MalformedCases()
{
    static const std::vector<MalformedCase> cases = MakeCases();
    return cases;
}

std::string Mismatch(const ExpectedRead &expected, std::string_view status, bool ok,
                     const std::vector<std::string> &names)
{
    if (status != expected.status ||
        ok != (status == kStatusImportsOk || status == kStatusExportsOk)) {
        return "status " + std::string(status);
    }
    return names == expected.names ? "" : std::to_string(names.size()) + " other names";
}

} // namespace quorvane::test
