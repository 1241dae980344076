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
constexpr std::uint64_t kVirtualSize = 8; // section header
constexpr std::uint64_t kRawSize = 16;
constexpr std::uint64_t kRawPointer = 20;
constexpr std::uint64_t kDescriptorSize = 20; // import descriptor
constexpr std::uint64_t kDescriptorName = 12;
constexpr std::uint64_t kExportOrdinalBase = 16; // export directory
constexpr std::uint64_t kExportAddressCount = 20;
constexpr std::uint64_t kExportNameCount = 24;
constexpr std::uint64_t kExportAddressTable = 28;
constexpr std::uint64_t kExportNamePointers = 32;
constexpr std::uint64_t kDosStub = 0x40; // free bytes inside the headers, before the NT headers
constexpr std::uint32_t kNowhere = 0x7FFF0000; // an RVA that no section holds

using Names = std::vector<std::string>;
using Mutation = std::function<void(BuiltPe &)>;
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

PeBuilder Builder(Bitness bitness)
{
    PeBuilder b;
    b.bitness = bitness;
    b.imports = kImportNames;
    b.exports = kExportNames;
    return b;
}

Make Mutated(Mutation mutate, std::function<void(PeBuilder &)> configure = {})
{
    return [mutate = std::move(mutate), configure = std::move(configure)](Bitness bitness) {
        PeBuilder b = Builder(bitness);
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

std::uint64_t Section(const BuiltPe &pe, std::uint64_t field)
{
    return pe.layout.sectionTableOffset + field;
}

std::uint64_t Descriptor(const BuiltPe &pe, std::uint64_t index, std::uint64_t field = 0)
{
    return pe.layout.importDirectoryOffset + kDescriptorSize * index + field;
}

std::uint64_t Directory(const BuiltPe &pe, std::uint64_t index)
{
    return pe.layout.dataDirectoriesOffset + 8 * index;
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
    pe.PutU32(Section(pe, kRawSize), raw);
    pe.PutU32(Section(pe, kVirtualSize), raw);
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

    // --- Not a PE image: the MS-DOS header, e_lfanew, the signature, the headers' extent.
    add(
        "EmptyFile", [](Bitness) { return std::vector<std::uint8_t>{}; }, kUnmappable, kUnmappable);
    add("NoMzSignature", Mutated([](BuiltPe &pe) { pe.bytes[0] = 'X'; }), kUnmappable, kUnmappable);
    add("ELfanewNegative", Mutated([](BuiltPe &pe) { pe.PutU32(0x3C, 0xFFFFFFF0); }), kUnmappable,
        kUnmappable);
    add("ELfanewLeavesNoRoomForTheFileHeader", Mutated([](BuiltPe &pe) {
            const auto at = static_cast<std::uint32_t>(pe.bytes.size() - 8);
            pe.PutU32(0x3C, at);
            pe.PutU32(at, 0x4550); // a signature, but no file header after it
        }),
        kUnmappable, kUnmappable);
    add("NoPeSignature", Mutated([](BuiltPe &pe) { pe.bytes[pe.layout.ntOffset + 2] = 1; }),
        kUnmappable, kUnmappable);
    add("UnknownOptionalHeaderMagic",
        Mutated([](BuiltPe &pe) { pe.PutU16(pe.layout.optionalOffset, 0x107); }), kUnmappable,
        kUnmappable);
    add("SizeOfOptionalHeaderZero",
        Mutated([](BuiltPe &pe) { pe.PutU16(pe.layout.ntOffset + kSizeOfOptionalHeader, 0); }),
        kUnmappable, kUnmappable);
    add("TruncatedOptionalHeader",
        Mutated([](BuiltPe &pe) { pe.bytes.resize(pe.layout.optionalOffset + 50); }), kUnmappable,
        kUnmappable);
    add("SectionTablePastTheEnd",
        Mutated([](BuiltPe &pe) { pe.PutU16(pe.layout.ntOffset + kNumberOfSections, 0xFFFF); }),
        kUnmappable, kUnmappable);

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
    add("NumberOfRvaAndSizesOne",
        Mutated([](BuiltPe &pe) { pe.PutU32(pe.layout.dataDirectoriesOffset - 4, 1); }), kNoImports,
        ExportsOk());
    add("NumberOfRvaAndSizesHuge",
        Mutated([](BuiltPe &pe) { pe.PutU32(pe.layout.dataDirectoriesOffset - 4, 0xFFFFFFFF); }),
        ImportsOk(), ExportsOk());

    // --- The section table: where RVAs land in the file.
    add("SectionRawDataBeyondTheEndOfTheFile",
        Mutated([](BuiltPe &pe) { pe.PutU32(Section(pe, kRawPointer), 0x7FFFF000); }),
        kImportWalkFails, kExportWalkFails);
    add("SectionRawSizeZero", Mutated([](BuiltPe &pe) { pe.PutU32(Section(pe, kRawSize), 0); }),
        kImportWalkFails, kExportWalkFails);
    add("SectionRawSizeWrapping32Bits", Mutated([](BuiltPe &pe) {
            pe.PutU32(Section(pe, kRawSize), 0xFFFFFFFF);
            pe.PutU32(Section(pe, kRawPointer), 0xFFFFFF00);
        }),
        kImportWalkFails, kExportWalkFails);
    add("SectionVirtualSizeZero",
        Mutated([](BuiltPe &pe) { pe.PutU32(Section(pe, kVirtualSize), 0); }), ImportsOk(),
        ExportsOk());
    add("OverlappingSectionsResolveThroughTheFirst", Mutated([](BuiltPe &pe) {
            // A second header over the same RVAs with its raw data on the MS-DOS header.
            const std::uint64_t second = Section(pe, 40);
            std::copy_n(pe.bytes.begin() + static_cast<std::ptrdiff_t>(Section(pe, 0)), 40,
                        pe.bytes.begin() + static_cast<std::ptrdiff_t>(second));
            pe.PutU32(second + kRawPointer, 0);
            pe.PutU16(pe.layout.ntOffset + kNumberOfSections, 2);
        }),
        ImportsOk(), ExportsOk());

    // --- Where the loader reads differently from a plain walk of the section table.
    add("PointerToRawDataRoundedDownTo512", Mutated([](BuiltPe &pe) {
            pe.PutU32(Section(pe, kRawPointer), pe.GetU32(Section(pe, kRawPointer)) + 0x1F);
        }),
        ImportsOk(), ExportsOk());
    add("SizeOfRawDataRoundedUpToFileAlignment",
        Mutated([](BuiltPe &pe) { pe.PutU32(Section(pe, kRawSize), 1); }), ImportsOk(),
        ExportsOk());
    add("SizeOfRawDataNotRoundedWithoutAValidFileAlignment", Mutated([](BuiltPe &pe) {
            pe.PutU32(Section(pe, kRawSize), 1);
            pe.PutU32(pe.layout.optionalOffset + kFileAlignment, 0x300);
        }),
        kImportWalkFails, kExportWalkFails);
    const auto lowAlignment = [](PeBuilder &b) { b.lowAlignment = true; };
    add("LowAlignmentNamesPastTheSectionsRawData",
        Mutated([](BuiltPe &pe) { pe.PutU32(Section(pe, kRawSize), 0x10); }, lowAlignment),
        ImportsOk(), ExportsOk());
    add("LowAlignmentRvasPastSizeOfImage",
        Mutated(
            [](BuiltPe &pe) {
                pe.PutU32(Section(pe, kRawSize), 0x10);
                pe.PutU32(pe.layout.optionalOffset + kSizeOfImage, pe.layout.sectionRva + 0x10);
            },
            lowAlignment),
        kImportWalkFails, kExportWalkFails);
    add("UnequalSmallAlignmentsAreNotLowAlignment",
        Mutated(
            [](BuiltPe &pe) {
                pe.PutU32(Section(pe, kRawSize), 0x10);
                pe.PutU32(pe.layout.optionalOffset + kFileAlignment, 0x100);
            },
            lowAlignment),
        kImportWalkFails, kExportWalkFails);
    add("SectionAlignmentZeroIsNotLowAlignment",
        Mutated(
            [](BuiltPe &pe) {
                pe.PutU32(Section(pe, kRawSize), 0x10);
                pe.PutU32(pe.layout.optionalOffset + kSectionAlignment, 0);
                pe.PutU32(pe.layout.optionalOffset + kFileAlignment, 0);
            },
            lowAlignment),
        kImportWalkFails, kExportWalkFails);

    // --- Tables and names inside the headers, which the loader maps as they stand in the file.
    add("ImportNameInTheHeaders", Mutated([](BuiltPe &pe) {
            PutBytes(pe, kDosStub, std::string_view("STUB.dll\0", 9));
            pe.PutU32(Descriptor(pe, 1, kDescriptorName), kDosStub);
        }),
        ImportsOk({"KERNEL32.dll", "STUB.dll"}), ExportsOk());
    add("ImportNameInTheHeadersPastSizeOfHeaders", Mutated([](BuiltPe &pe) {
            PutBytes(pe, kDosStub, std::string_view("STUB.dll\0", 9));
            pe.PutU32(Descriptor(pe, 1, kDescriptorName), kDosStub);
            pe.PutU32(pe.layout.optionalOffset + kSizeOfHeaders, kDosStub);
        }),
        kImportWalkFails, ExportsOk());
    add("ExportTableInTheHeaders", Mutated([](BuiltPe &pe) {
            const std::uint64_t table = FreeHeaderSpace(pe);
            pe.PutU32(table + kExportNameCount, 1);
            pe.PutU32(table + kExportNamePointers, static_cast<std::uint32_t>(table + 40));
            pe.PutU32(table + 40, static_cast<std::uint32_t>(table + 44));
            PutBytes(pe, table + 44, std::string_view("Head\0", 5));
            pe.PutU32(Directory(pe, 0), static_cast<std::uint32_t>(table));
        }),
        ImportsOk(), ExportsOk({"Head"}));
    // Its address table is empty: the one name names no entry, which the export table reader,
    // unlike the name reader, sees.
    c.back().exportTable = kExportWalkFails;

    // --- The import directory table.
    add("ImportDirectoryRvaZero", Mutated([](BuiltPe &pe) { pe.PutU32(Directory(pe, 1), 0); }),
        kNoImports, ExportsOk());
    add("ImportNameRvaInNoSection",
        Mutated([](BuiltPe &pe) { pe.PutU32(Descriptor(pe, 1, kDescriptorName), kNowhere); }),
        kImportWalkFails, ExportsOk());
    add("TerminatorWhoseOnlyZeroFieldIsTheNameRva", Mutated([](BuiltPe &pe) {
            for (const std::uint64_t field : {0u, 4u, 8u, 16u}) {
                pe.PutU32(Descriptor(pe, 2, field), 0xDEADBEEF);
            }
        }),
        ImportsOk(), ExportsOk());
    add("FirstImportDescriptorIsTheTerminator",
        Mutated([](BuiltPe &pe) { pe.PutU32(Descriptor(pe, 0, kDescriptorName), 0); }),
        ImportsOk({}), ExportsOk());
    add("DescriptorsAfterTheTerminatorAreNotRead",
        Mutated([](BuiltPe &pe) { pe.PutU32(Descriptor(pe, 1, kDescriptorName), 0); }),
        ImportsOk({"KERNEL32.dll"}), ExportsOk());
    add("ImportTableWithoutTerminator", Mutated([](BuiltPe &pe) {
            // Every field from the table to the end of the file names a DLL in the MS-DOS stub;
            // the exports, overwritten too, point their name table at the stub's bytes.
            PutBytes(pe, kDosStub, std::string_view("A.dll\0", 6));
            for (std::uint64_t at = pe.layout.importDirectoryOffset; at + 4 <= pe.bytes.size();
                 at += 4) {
                pe.PutU32(at, kDosStub);
            }
        }),
        kImportWalkFails, kExportWalkFails);
    add("SixtyThousandImportDescriptors", Built([](PeBuilder &b) {
            b.imports.assign(60000, "X.dll");
            b.exports.clear();
        }),
        ImportsOk(Names(60000, "X.dll")), kNoExports);

    // --- The export directory and its name pointer table.
    add("ExportDirectoryRvaZero", Mutated([](BuiltPe &pe) { pe.PutU32(Directory(pe, 0), 0); }),
        ImportsOk(), kNoExports);
    add("ExportDirectoryRunsOffTheFile", Mutated([](BuiltPe &pe) {
            pe.PutU32(Directory(pe, 0), pe.layout.RvaOf(pe.bytes.size() - 20));
        }),
        ImportsOk(), kExportWalkFails);
    const auto nameCount = [](std::uint32_t count) {
        return Mutated([count](BuiltPe &pe) {
            pe.PutU32(pe.layout.exportDirectoryOffset + kExportNameCount, count);
        });
    };
    add("ExportNameCountZero", nameCount(0), ImportsOk(), ExportsOk({}));
    add("ExportNameCountOneOfTwo", nameCount(1), ImportsOk(), ExportsOk({"Alpha"}));
    add("ExportNameCountHuge", nameCount(0x00100000), ImportsOk(), kExportWalkFails);
    add("ExportNameCountAbove2To31", nameCount(0x80000000), ImportsOk(), kExportWalkFails);
    add("ExportNameRvaInNoSection",
        Mutated([](BuiltPe &pe) { pe.PutU32(pe.layout.exportNamePointersOffset + 4, kNowhere); }),
        ImportsOk(), kExportWalkFails);
    // --- The export address table, ordinals and forwarders (the export table reader's own).
    add("ExportAddressCountPastTheTable", Mutated([](BuiltPe &pe) {
            pe.PutU32(pe.layout.exportDirectoryOffset + kExportAddressCount, 0x00100000);
        }),
        ImportsOk(), ExportsOk());
    c.back().exportTable = kExportWalkFails;
    add("ExportOrdinalBaseNear2To32", Mutated([](BuiltPe &pe) {
            pe.PutU32(pe.layout.exportDirectoryOffset + kExportOrdinalBase, 0xFFFFFFFF);
        }),
        ImportsOk(), ExportsOk());
    // The loader subtracts the base modulo 2^32: Beta's ordinal is 0.
    c.back().exportTable = ExpectedRead{kStatusExportsOk, {"#4294967295 Alpha", "#0 Beta"}};
    add("ForwarderToItself",
        Mutated([](BuiltPe &pe) { ForwardAlphaTo(pe, std::string_view("SAMPLE.Alpha\0", 13)); }),
        ImportsOk(), ExportsOk());
    c.back().exportTable = ExpectedRead{kStatusExportsOk, {"#1 Alpha -> SAMPLE.Alpha", "#2 Beta"}};
    add("ImportLookupTableRunsOffTheFile", Mutated([](BuiltPe &pe) {
            // One import by ordinal, then the end of the file where the next entry should be.
            const std::uint32_t at = AppendToSection(pe, std::string_view("\x01\x00\x00\x80", 4));
            pe.PutU32(Descriptor(pe, 1), at);
        }),
        ImportsOk(), ExportsOk());
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
            pe.PutU32(Descriptor(pe, 1, kDescriptorName), AppendToSection(pe, "NOZERO"));
        }),
        kImportWalkFails, ExportsOk());
    add("EmptyName", Mutated([](BuiltPe &pe) {
            // The terminating descriptor's bytes are zero: an empty name.
            pe.PutU32(Descriptor(pe, 1, kDescriptorName), pe.layout.RvaOf(Descriptor(pe, 2)));
            pe.PutU32(pe.layout.exportNamePointersOffset, pe.layout.RvaOf(Descriptor(pe, 2)));
        }),
        ImportsOk({"KERNEL32.dll", ""}), ExportsOk({"", "Beta"}));
    const std::string longName = std::string(100000, 'L') + ".dll";
    add("HundredThousandByteName", Mutated([longName](BuiltPe &pe) {
            const std::string stored = longName + '\0';
            pe.PutU32(Descriptor(pe, 1, kDescriptorName), AppendToSection(pe, stored));
        }),
        ImportsOk({"KERNEL32.dll", longName}), ExportsOk());
    add("NamesWithControlCharacters", Built([](PeBuilder &b) {
            b.imports = {"A\x01\x1b[2J.dll", "TAB\tCR\rLF\n.dll"};
            b.exports = {"\x7f\x1f"};
        }),
        ImportsOk({"A\x01\x1b[2J.dll", "TAB\tCR\rLF\n.dll"}), ExportsOk({"\x7f\x1f"}));
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
