#include "support/MalformedPe.h"

#include "core/pe/modPETables.h"

#include <algorithm>

namespace quorvane::test {
namespace {

// Field positions the cases break, from the start of their structure.
constexpr std::uint64_t kNumberOfSections = 6;      // NT headers
constexpr std::uint64_t kSizeOfOptionalHeader = 20; // NT headers
constexpr std::uint64_t kSectionAlignment = 32;     // optional header, PE32 and PE32+
constexpr std::uint64_t kFileAlignment = 36;
constexpr std::uint64_t kSizeOfImage = 56;
constexpr std::uint64_t kSizeOfHeaders = 60;
constexpr std::uint64_t kEntryCount = ~std::uint64_t{3}; // NumberOfRvaAndSizes: 4 bytes before
constexpr std::uint64_t kVirtualSize = 8;                // section header
constexpr std::uint64_t kRawSize = 16;
constexpr std::uint64_t kRawPointer = 20;
constexpr std::uint64_t kDescriptorSize = 20; // import descriptor
constexpr std::uint64_t kDescriptorName = 12;
constexpr std::uint64_t kSecondName = kDescriptorSize + kDescriptorName;
constexpr std::uint64_t kExportOrdinalBase = 16; // export directory
constexpr std::uint64_t kExportAddressCount = 20;
constexpr std::uint64_t kExportNameCount = 24;
constexpr std::uint64_t kExportAddressTable = 28;
constexpr std::uint64_t kExportNamePointers = 32;
constexpr std::uint64_t kDosStub = 0x40; // free bytes inside the headers, before the NT headers
constexpr std::uint32_t kNowhere = 0x7FFF0000; // an RVA that no section holds

using Names = std::vector<std::string>;
using Make = std::function<std::vector<std::uint8_t>(Bitness)>;

const Names kImportNames = {"KERNEL32.dll", "USER32.dll"};
const Names kExportNames = {"Alpha", "Beta"};

ExpectedRead ImportsOk(Names names = kImportNames)
{
    return {kStatusImportsOk, std::move(names)};
}
ExpectedRead ExportsOk(Names names = kExportNames)
{
    return {kStatusExportsOk, std::move(names)};
}
const ExpectedRead kUnmappable{kStatusErrorMapping, {}};
const ExpectedRead kNoImports{kStatusNoImports, {}};
const ExpectedRead kNoExports{kStatusNoExports, {}};
const ExpectedRead kImportWalkFails{kStatusImportWalkFailed, {}};
const ExpectedRead kExportWalkFails{kStatusExportWalkFailed, {}};
// What both readers answer, where that is the same kind of answer.
const std::pair<ExpectedRead, ExpectedRead> kNotPe{kUnmappable, kUnmappable};
const std::pair<ExpectedRead, ExpectedRead> kWalksFail{kImportWalkFails, kExportWalkFails};
const std::pair<ExpectedRead, ExpectedRead> kBothOk{ImportsOk(), ExportsOk()};

// The builder's image with both names of each table, configured and then broken by the case.
Make Mutated(std::function<void(BuiltPe &)> mutate, std::function<void(PeBuilder &)> configure = {})
{
    return [mutate = std::move(mutate), configure = std::move(configure)](Bitness bitness) {
        PeBuilder b;
        b.bitness = bitness;
        b.imports = kImportNames;
        b.exports = kExportNames;
        if (configure) {
            configure(b);
        }
        BuiltPe pe = b.Build();
        mutate(pe);
        return pe.bytes;
    };
}

Make Built(std::function<void(PeBuilder &)> configure)
{
    return Mutated([](BuiltPe &) {}, std::move(configure));
}

// The structures the cases write into, and a field's file offset in one.
enum class At { File, Nt, Optional, Directories, Section, Imports, Export, NamePointers };

std::uint64_t Where(const BuiltPe &pe, At at, std::uint64_t field)
{
    const PeLayout &l = pe.layout;
    const std::uint64_t starts[] = {0,
                                    l.ntOffset,
                                    l.optionalOffset,
                                    l.dataDirectoriesOffset,
                                    l.sectionTableOffset,
                                    l.importDirectoryOffset,
                                    l.exportDirectoryOffset,
                                    l.exportNamePointersOffset};
    return starts[static_cast<int>(at)] + field;
}

struct Poke {
    At at;
    std::uint64_t field;
    std::uint32_t value;
    int width = 4;
};

// The image with values written over fields; a low-alignment one with lowAlignment.
Make Poked(std::vector<Poke> pokes, bool lowAlignment = false)
{
    return Mutated(
        [pokes](BuiltPe &pe) {
            for (const Poke &p : pokes) {
                const std::uint64_t at = Where(pe, p.at, p.field);
                p.width == 2 ? pe.PutU16(at, static_cast<std::uint16_t>(p.value))
                             : pe.PutU32(at, p.value);
            }
        },
        [lowAlignment](PeBuilder &b) { b.lowAlignment = lowAlignment; });
}

void PutBytes(BuiltPe &pe, std::uint64_t at, std::string_view bytes)
{
    std::copy(bytes.begin(), bytes.end(), pe.bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

// Appends bytes at the end of the file, inside the data section, and returns their RVA.
std::uint32_t AppendToSection(BuiltPe &pe, std::string_view bytes)
{
    const std::uint64_t at = pe.bytes.size();
    pe.bytes.insert(pe.bytes.end(), bytes.begin(), bytes.end());
    const auto raw = static_cast<std::uint32_t>(pe.bytes.size() - pe.layout.sectionOffset);
    pe.PutU32(Where(pe, At::Section, kRawSize), raw);
    pe.PutU32(Where(pe, At::Section, kVirtualSize), raw);
    return pe.layout.RvaOf(at);
}

// The file offset of the export address table's entry at index.
std::uint64_t AddressEntry(const BuiltPe &pe, std::uint64_t index)
{
    const std::uint32_t rva = pe.GetU32(pe.layout.exportDirectoryOffset + kExportAddressTable);
    return rva - pe.layout.sectionRva + pe.layout.sectionOffset + 4 * index;
}

// Points Alpha's entry at text appended to the file, inside the export directory's range, which
// makes it a forwarder; Beta's now points below that range, at the start of the section.
void ForwardAlphaTo(BuiltPe &pe, std::string_view text)
{
    const std::uint32_t at = AppendToSection(pe, text);
    const std::uint32_t directory = pe.GetU32(pe.layout.dataDirectoriesOffset);
    pe.PutU32(pe.layout.dataDirectoriesOffset + 4, at + 0x100 - directory);
    pe.PutU32(AddressEntry(pe, 0), at);
    pe.PutU32(AddressEntry(pe, 1), pe.layout.sectionRva);
}

// The bytes after the section table, up to SizeOfHeaders: room for small tables in the headers.
std::uint64_t FreeHeaderSpace(const BuiltPe &pe)
{
    return pe.layout.sectionTableOffset + 40 + 8; // after the one header and a gap
}

std::vector<MalformedCase> MakeCases()
{
    std::vector<MalformedCase> c;
    const auto add = [&c](std::string name, Make make, ExpectedRead imports, ExpectedRead exports) {
        c.push_back({std::move(name), std::move(make), std::move(imports), std::move(exports)});
    };
    const auto both = [&add](std::string name, Make make, const auto &answers) {
        add(std::move(name), std::move(make), answers.first, answers.second);
    };

    // --- Not a PE image: the MS-DOS header, e_lfanew, the signature, the headers' extent.
    both(
        "EmptyFile", [](Bitness) { return std::vector<std::uint8_t>{}; }, kNotPe);
    both("NoMzSignature", Poked({{At::File, 0, 'X', 2}}), kNotPe);
    both("ELfanewNegative", Poked({{At::File, 0x3C, 0xFFFFFFF0}}), kNotPe);
    both("ELfanewLeavesNoRoomForTheFileHeader", Mutated([](BuiltPe &pe) {
             const auto at = static_cast<std::uint32_t>(pe.bytes.size() - 8);
             pe.PutU32(0x3C, at);
             pe.PutU32(at, 0x4550); // a signature, but no file header after it
         }),
         kNotPe);
    both("NoPeSignature", Poked({{At::Nt, 2, 1, 2}}), kNotPe);
    both("UnknownOptionalHeaderMagic", Poked({{At::Optional, 0, 0x107, 2}}), kNotPe);
    both("SizeOfOptionalHeaderZero", Poked({{At::Nt, kSizeOfOptionalHeader, 0, 2}}), kNotPe);
    both("TruncatedOptionalHeader",
         Mutated([](BuiltPe &pe) { pe.bytes.resize(pe.layout.optionalOffset + 50); }), kNotPe);
    both("SectionTablePastTheEnd", Poked({{At::Nt, kNumberOfSections, 0xFFFF, 2}}), kNotPe);

    // --- The optional header: how many data directory entries it really holds.
    add("OptionalHeaderHoldsOnlyTheExportEntry", Mutated([](BuiltPe &pe) {
            // The section table then starts on the import entry; its one header has no raw data.
            const auto size = pe.layout.dataDirectoriesOffset - pe.layout.optionalOffset + 8;
            pe.PutU16(pe.layout.ntOffset + kSizeOfOptionalHeader, static_cast<std::uint16_t>(size));
        }),
        kNoImports, kExportWalkFails);
    add("OptionalHeaderMagicOfTheOtherKind", Mutated([](BuiltPe &pe) {
            // Read with the other layout, the directories hold nothing at entries 0 and 1.
            const bool wide = pe.bytes[pe.layout.optionalOffset + 1] == 0x02;
            pe.PutU16(pe.layout.optionalOffset, wide ? 0x10B : 0x20B);
        }),
        kNoImports, kNoExports);
    add("NumberOfRvaAndSizesOne", Poked({{At::Directories, kEntryCount, 1}}), kNoImports,
        ExportsOk());
    both("NumberOfRvaAndSizesHuge", Poked({{At::Directories, kEntryCount, 0xFFFFFFFF}}), kBothOk);

    // --- The section table: where RVAs land in the file.
    both("SectionRawDataBeyondTheEndOfTheFile", Poked({{At::Section, kRawPointer, 0x7FFFF000}}),
         kWalksFail);
    both("SectionRawSizeZero", Poked({{At::Section, kRawSize, 0}}), kWalksFail);
    both("SectionRawSizeWrapping32Bits",
         Poked({{At::Section, kRawSize, 0xFFFFFFFF}, {At::Section, kRawPointer, 0xFFFFFF00}}),
         kWalksFail);
    both("SectionVirtualSizeZero", Poked({{At::Section, kVirtualSize, 0}}), kBothOk);
    both("OverlappingSectionsResolveThroughTheFirst", Mutated([](BuiltPe &pe) {
             // A second header over the same RVAs with its raw data on the MS-DOS header.
             const std::uint64_t second = Where(pe, At::Section, 40);
             std::copy_n(pe.bytes.begin() + static_cast<std::ptrdiff_t>(Where(pe, At::Section, 0)),
                         40, pe.bytes.begin() + static_cast<std::ptrdiff_t>(second));
             pe.PutU32(second + kRawPointer, 0);
             pe.PutU16(pe.layout.ntOffset + kNumberOfSections, 2);
         }),
         kBothOk);

    // --- Where the loader reads differently from a plain walk of the section table. The section's
    // bytes start at 0x200; in a low-alignment image its RVA is 0x200 too.
    both("PointerToRawDataRoundedDownTo512", Poked({{At::Section, kRawPointer, 0x21F}}), kBothOk);
    both("SizeOfRawDataRoundedUpToFileAlignment", Poked({{At::Section, kRawSize, 1}}), kBothOk);
    both("SizeOfRawDataNotRoundedWithoutAValidFileAlignment",
         Poked({{At::Section, kRawSize, 1}, {At::Optional, kFileAlignment, 0x300}}), kWalksFail);
    both("LowAlignmentNamesPastTheSectionsRawData", Poked({{At::Section, kRawSize, 0x10}}, true),
         kBothOk);
    both("LowAlignmentRvasPastSizeOfImage",
         Poked({{At::Section, kRawSize, 0x10}, {At::Optional, kSizeOfImage, 0x210}}, true),
         kWalksFail);
    both("UnequalSmallAlignmentsAreNotLowAlignment",
         Poked({{At::Section, kRawSize, 0x10}, {At::Optional, kFileAlignment, 0x100}}, true),
         kWalksFail);
    both("SectionAlignmentZeroIsNotLowAlignment",
         Poked({{At::Section, kRawSize, 0x10},
                {At::Optional, kSectionAlignment, 0},
                {At::Optional, kFileAlignment, 0}},
               true),
         kWalksFail);

    // --- Tables and names inside the headers, which the loader maps as they stand in the file.
    add("ImportNameInTheHeaders", Mutated([](BuiltPe &pe) {
            PutBytes(pe, kDosStub, std::string_view("STUB.dll\0", 9));
            pe.PutU32(Where(pe, At::Imports, kSecondName), kDosStub);
        }),
        ImportsOk({"KERNEL32.dll", "STUB.dll"}), ExportsOk());
    add("ImportNameInTheHeadersPastSizeOfHeaders", Mutated([](BuiltPe &pe) {
            PutBytes(pe, kDosStub, std::string_view("STUB.dll\0", 9));
            pe.PutU32(Where(pe, At::Imports, kSecondName), kDosStub);
            pe.PutU32(pe.layout.optionalOffset + kSizeOfHeaders, kDosStub);
        }),
        kImportWalkFails, ExportsOk());
    add("ExportTableInTheHeaders", Mutated([](BuiltPe &pe) {
            const std::uint64_t table = FreeHeaderSpace(pe);
            pe.PutU32(table + kExportNameCount, 1);
            pe.PutU32(table + kExportNamePointers, static_cast<std::uint32_t>(table + 40));
            pe.PutU32(table + 40, static_cast<std::uint32_t>(table + 44));
            PutBytes(pe, table + 44, std::string_view("Head\0", 5));
            pe.PutU32(Where(pe, At::Directories, 0), static_cast<std::uint32_t>(table));
        }),
        ImportsOk(), ExportsOk({"Head"}));
    // Its address table is empty: the one name names no entry, which the export table reader,
    // unlike the name reader, sees.
    c.back().exportTable = kExportWalkFails;

    // --- The import directory table.
    add("ImportDirectoryRvaZero", Poked({{At::Directories, 8, 0}}), kNoImports, ExportsOk());
    add("ImportNameRvaInNoSection", Poked({{At::Imports, kSecondName, kNowhere}}), kImportWalkFails,
        ExportsOk());
    // Only the Name RVA of the terminating descriptor, the third, has to be zero.
    both("TerminatorWhoseOnlyZeroFieldIsTheNameRva",
         Poked({{At::Imports, 40, 0xDEADBEEF},
                {At::Imports, 44, 0xDEADBEEF},
                {At::Imports, 48, 0xDEADBEEF},
                {At::Imports, 56, 0xDEADBEEF}}),
         kBothOk);
    add("FirstImportDescriptorIsTheTerminator", Poked({{At::Imports, kDescriptorName, 0}}),
        ImportsOk({}), ExportsOk());
    add("DescriptorsAfterTheTerminatorAreNotRead", Poked({{At::Imports, kSecondName, 0}}),
        ImportsOk({"KERNEL32.dll"}), ExportsOk());
    both("ImportTableWithoutTerminator", Mutated([](BuiltPe &pe) {
             // Every field from the table to the end of the file names a DLL in the MS-DOS stub;
             // the exports, overwritten too, point their name table at the stub's bytes.
             PutBytes(pe, kDosStub, std::string_view("A.dll\0", 6));
             for (std::uint64_t at = pe.layout.importDirectoryOffset; at + 4 <= pe.bytes.size();
                  at += 4) {
                 pe.PutU32(at, kDosStub);
             }
         }),
         kWalksFail);
    add("SixtyThousandImportDescriptors", Built([](PeBuilder &b) {
            b.imports.assign(60000, "X.dll");
            b.exports.clear();
        }),
        ImportsOk(Names(60000, "X.dll")), kNoExports);

    // --- The export directory and its name pointer table.
    add("ExportDirectoryRvaZero", Poked({{At::Directories, 0, 0}}), ImportsOk(), kNoExports);
    add("ExportDirectoryRunsOffTheFile", Mutated([](BuiltPe &pe) {
            pe.PutU32(Where(pe, At::Directories, 0), pe.layout.RvaOf(pe.bytes.size() - 20));
        }),
        ImportsOk(), kExportWalkFails);
    const auto nameCount = [](std::uint32_t count) {
        return Poked({{At::Export, kExportNameCount, count}});
    };
    add("ExportNameCountZero", nameCount(0), ImportsOk(), ExportsOk({}));
    add("ExportNameCountOneOfTwo", nameCount(1), ImportsOk(), ExportsOk({"Alpha"}));
    add("ExportNameCountAbove2To31", nameCount(0x80000000), ImportsOk(), kExportWalkFails);
    add("ExportNameRvaInNoSection", Poked({{At::NamePointers, 4, kNowhere}}), ImportsOk(),
        kExportWalkFails);
    // --- The export address table, ordinals and forwarders (the export table reader's own).
    both("ExportAddressCountPastTheTable", Poked({{At::Export, kExportAddressCount, 0x00100000}}),
         kBothOk);
    c.back().exportTable = kExportWalkFails;
    both("ExportOrdinalBaseNear2To32", Poked({{At::Export, kExportOrdinalBase, 0xFFFFFFFF}}),
         kBothOk);
    // The loader subtracts the base modulo 2^32: Beta's ordinal is 0.
    c.back().exportTable = ExpectedRead{kStatusExportsOk, {"#4294967295 Alpha", "#0 Beta"}};
    both("ForwarderToItself",
         Mutated([](BuiltPe &pe) { ForwardAlphaTo(pe, std::string_view("SAMPLE.Alpha\0", 13)); }),
         kBothOk);
    c.back().exportTable = ExpectedRead{kStatusExportsOk, {"#1 Alpha -> SAMPLE.Alpha", "#2 Beta"}};
    both("ImportLookupTableRunsOffTheFile", Mutated([](BuiltPe &pe) {
             // One import by ordinal, then the end of the file where the next entry should be.
             const std::uint32_t at = AppendToSection(pe, std::string_view("\x01\x00\x00\x80", 4));
             pe.PutU32(Where(pe, At::Imports, kDescriptorSize), at);
         }),
         kBothOk);
    c.back().importFunctionsStatus = kStatusImportWalkFailed;

    add("ExportNamesPastTheOutputLimit",
        Mutated(
            [](BuiltPe &pe) {
                // 70,000 pointers at one 1,000-byte name ask for 70 MB of names from a 300 KB file.
                const std::uint32_t name = pe.GetU32(pe.layout.exportNamePointersOffset);
                std::string table;
                for (int k = 0; k < 70000; ++k) {
                    for (int i = 0; i < 4; ++i) {
                        table.push_back(static_cast<char>(name >> (8 * i)));
                    }
                }
                const std::uint32_t at = AppendToSection(pe, table);
                pe.PutU32(pe.layout.exportDirectoryOffset + kExportNameCount, 70000);
                pe.PutU32(pe.layout.exportDirectoryOffset + kExportNamePointers, at);
            },
            [](PeBuilder &b) { b.exports = {std::string(1000, 'N')}; }),
        ImportsOk(), kExportWalkFails);

    // --- Names: their end, their length, and bytes that mean something elsewhere.
    add("ImportNameWithoutZeroAtTheEndOfTheFile", Mutated([](BuiltPe &pe) {
            pe.PutU32(Where(pe, At::Imports, kSecondName), AppendToSection(pe, "NOZERO"));
        }),
        kImportWalkFails, ExportsOk());
    add("EmptyName", Mutated([](BuiltPe &pe) {
            // The terminating descriptor's bytes are zero: an empty name.
            pe.PutU32(Where(pe, At::Imports, kSecondName),
                      pe.layout.RvaOf(Where(pe, At::Imports, 2 * kDescriptorSize)));
            pe.PutU32(pe.layout.exportNamePointersOffset,
                      pe.layout.RvaOf(Where(pe, At::Imports, 2 * kDescriptorSize)));
        }),
        ImportsOk({"KERNEL32.dll", ""}), ExportsOk({"", "Beta"}));
    const std::string longName = std::string(100000, 'L') + ".dll";
    add("HundredThousandByteName", Mutated([longName](BuiltPe &pe) {
            const std::string stored = longName + '\0';
            pe.PutU32(Where(pe, At::Imports, kSecondName), AppendToSection(pe, stored));
        }),
        ImportsOk({"KERNEL32.dll", longName}), ExportsOk());
    add("NamesWithBytesAbove127", Built([](PeBuilder &b) {
            b.imports = {"Caf\xE9.dll", "\x80\x9F\xA0\xFF.dll"};
            b.exports = {"\x81"};
        }),
        ImportsOk({"Caf\xC3\xA9.dll", "\xE2\x82\xAC\xC5\xB8\xC2\xA0\xC3\xBF.dll"}),
        ExportsOk({"\xC2\x81"}));
    return c;
}

} // namespace

const std::vector<MalformedCase> &MalformedCases()
{
    static const std::vector<MalformedCase> cases = MakeCases();
    return cases;
}

std::vector<MalformedFile> WriteMalformedCases(const std::filesystem::path &folder)
{
    std::vector<MalformedFile> files;
    for (const auto &c : MalformedCases()) {
        for (const Bitness bitness : {Bitness::Pe32, Bitness::Pe32Plus}) {
            BuiltPe pe;
            pe.bytes = c.make(bitness);
            const auto name = c.name + (bitness == Bitness::Pe32 ? ".exe" : ".dll");
            files.push_back({pe.WriteTo(folder / name), &c});
        }
    }
    return files;
}

} // namespace quorvane::test
