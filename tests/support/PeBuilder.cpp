#include "support/PeBuilder.h"

#include <fstream>
#include <stdexcept>

namespace quorvane::test {
namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kStandardSectionAlignment = 0x1000;
constexpr std::uint32_t kStandardSectionRva = 0x1000;
constexpr std::uint64_t kNtOffset = 0x80;

std::uint64_t AlignUp(std::uint64_t v, std::uint64_t a)
{
    return (v + a - 1) / a * a;
}

} // namespace

void BuiltPe::PutU16(std::uint64_t offset, std::uint16_t value)
{
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void BuiltPe::PutU32(std::uint64_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes.at(offset + static_cast<std::uint64_t>(i)) =
            static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t BuiltPe::GetU32(std::uint64_t offset) const
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | bytes.at(offset + static_cast<std::uint64_t>(i));
    }
    return v;
}

std::filesystem::path BuiltPe::WriteTo(const std::filesystem::path &path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return path;
}

BuiltPe PeBuilder::Build() const
{
    const bool wide = bitness == Bitness::Pe32Plus;
    const std::uint64_t optionalSize = wide ? 240 : 224;
    const std::uint64_t thunkSize = wide ? 8 : 4;

    BuiltPe pe;
    PeLayout &l = pe.layout;
    l.ntOffset = kNtOffset;
    l.optionalOffset = kNtOffset + 24;
    l.dataDirectoriesOffset = l.optionalOffset + (wide ? 112 : 96);
    l.sectionTableOffset = l.optionalOffset + optionalSize;
    const std::uint64_t sizeOfHeaders = AlignUp(l.sectionTableOffset + 40, kFileAlignment);
    l.sectionOffset = sizeOfHeaders;
    // A low-alignment image is mapped as one piece: its section lies at the RVA equal to its
    // offset.
    const std::uint32_t sectionAlignment =
        lowAlignment ? kFileAlignment : kStandardSectionAlignment;
    const auto sectionRva =
        lowAlignment ? static_cast<std::uint32_t>(sizeOfHeaders) : kStandardSectionRva;
    l.sectionRva = sectionRva;

    // The data section, laid out front to back; offsets are relative to its start until the end.
    std::vector<std::uint8_t> data;
    auto reserve = [&data](std::uint64_t n, std::uint64_t align = 4) {
        data.resize(AlignUp(data.size(), align));
        const std::uint64_t at = data.size();
        data.resize(at + n);
        return at;
    };
    auto put32 = [&data](std::uint64_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            data[at + static_cast<std::uint64_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    auto putThunk = [&](std::uint64_t at, std::uint64_t v) {
        put32(at, static_cast<std::uint32_t>(v));
        if (wide) {
            put32(at + 4, static_cast<std::uint32_t>(v >> 32));
        }
    };
    auto putString = [&data](const std::string &s) {
        const std::uint64_t at = data.size();
        data.insert(data.end(), s.begin(), s.end());
        data.push_back(0);
        return at;
    };
    auto rva = [sectionRva](std::uint64_t rel) {
        return static_cast<std::uint32_t>(sectionRva + rel);
    };

    const std::uint64_t importDir = reserve(20 * (imports.size() + 1));
    const std::uint64_t delayDir = reserve(32 * (delayImports.size() + 1));
    const std::uint64_t exportDir = reserve(40);
    const std::uint64_t addressTable = reserve(4 * exports.size());
    const std::uint64_t namePointers = reserve(4 * exports.size());
    const std::uint64_t ordinals = reserve(2 * exports.size());
    // One import by ordinal per DLL, so that the tables look like a linker's to other tools.
    std::vector<std::uint64_t> lookupTables;
    for (std::size_t i = 0; i < imports.size() + delayImports.size(); ++i) {
        lookupTables.push_back(reserve(2 * thunkSize, thunkSize));
    }
    std::vector<std::uint64_t> addressTables;
    for (std::size_t i = 0; i < imports.size() + delayImports.size(); ++i) {
        addressTables.push_back(reserve(2 * thunkSize, thunkSize));
    }
    const std::uint64_t ordinalFlag = wide ? (1ull << 63) : (1ull << 31);
    for (std::size_t i = 0; i < lookupTables.size(); ++i) {
        putThunk(lookupTables[i], ordinalFlag | 1);
        putThunk(addressTables[i], ordinalFlag | 1);
    }
    std::vector<std::uint64_t> importNames;
    for (const std::string &name : imports) {
        importNames.push_back(putString(name));
    }
    std::vector<std::uint64_t> delayNames;
    for (const std::string &name : delayImports) {
        delayNames.push_back(putString(name));
    }
    std::vector<std::uint64_t> exportNames;
    for (const std::string &name : exports) {
        exportNames.push_back(putString(name));
    }
    const std::uint64_t ownName = putString(dllName);
    const std::uint64_t code = reserve(16, 16); // where the exports point

    for (std::size_t i = 0; i < imports.size(); ++i) {
        put32(importDir + 20 * i + 0, rva(lookupTables[i]));
        put32(importDir + 20 * i + 12, rva(importNames[i]));
        put32(importDir + 20 * i + 16, rva(addressTables[i]));
    }
    for (std::size_t i = 0; i < delayImports.size(); ++i) {
        const std::size_t t = imports.size() + i;
        put32(delayDir + 32 * i + 0, 1); // attributes: RVAs
        put32(delayDir + 32 * i + 4, rva(delayNames[i]));
        put32(delayDir + 32 * i + 12, rva(addressTables[t]));
        put32(delayDir + 32 * i + 16, rva(lookupTables[t]));
    }
    put32(exportDir + 12, rva(ownName));
    put32(exportDir + 16, 1); // ordinal base
    put32(exportDir + 20, static_cast<std::uint32_t>(exports.size()));
    put32(exportDir + 24, static_cast<std::uint32_t>(exports.size()));
    put32(exportDir + 28, rva(addressTable));
    put32(exportDir + 32, rva(namePointers));
    put32(exportDir + 36, rva(ordinals));
    for (std::size_t i = 0; i < exports.size(); ++i) {
        put32(addressTable + 4 * i, rva(code + (i % 16)));
        put32(namePointers + 4 * i, rva(exportNames[i]));
        data[ordinals + 2 * i] = static_cast<std::uint8_t>(i);
        data[ordinals + 2 * i + 1] = static_cast<std::uint8_t>(i >> 8);
    }

    const std::uint64_t rawSize = AlignUp(std::max<std::uint64_t>(data.size(), 1), kFileAlignment);
    const std::uint64_t virtualSize = data.size();
    data.resize(rawSize);
    pe.bytes.assign(sizeOfHeaders, 0);
    pe.bytes.insert(pe.bytes.end(), data.begin(), data.end());

    // MS-DOS header and stub
    pe.bytes[0] = 'M';
    pe.bytes[1] = 'Z';
    pe.PutU32(0x3C, static_cast<std::uint32_t>(kNtOffset));
    // NT headers
    pe.PutU32(l.ntOffset, 0x00004550);
    const std::uint64_t fh = l.ntOffset + 4;
    pe.PutU16(fh + 0, machine ? machine : (wide ? 0x8664 : 0x014C));
    pe.PutU16(fh + 2, 1); // one section
    pe.PutU16(fh + 16, static_cast<std::uint16_t>(optionalSize));
    pe.PutU16(fh + 18, isDll ? 0x2002 : 0x0002); // an executable image, or a DLL
    const std::uint64_t oh = l.optionalOffset;
    pe.PutU16(oh + 0, wide ? 0x20B : 0x10B);
    if (wide) { // ImageBase
        pe.PutU32(oh + 24, 0x40000000);
        pe.PutU32(oh + 28, 1);
    } else {
        pe.PutU32(oh + 28, isDll ? 0x10000000 : 0x00400000);
    }
    pe.PutU32(oh + 32, sectionAlignment);
    pe.PutU32(oh + 36, kFileAlignment);
    pe.PutU32(oh + 56,
              static_cast<std::uint32_t>(sectionRva + AlignUp(virtualSize, sectionAlignment)));
    pe.PutU32(oh + 60, static_cast<std::uint32_t>(sizeOfHeaders));
    pe.PutU32(l.dataDirectoriesOffset - 4, 16); // NumberOfRvaAndSizes
    auto setDirectory = [&](int index, std::uint64_t rel, std::uint64_t size) {
        pe.PutU32(l.dataDirectoriesOffset + 8 * static_cast<std::uint64_t>(index), rva(rel));
        pe.PutU32(l.dataDirectoriesOffset + 8 * static_cast<std::uint64_t>(index) + 4,
                  static_cast<std::uint32_t>(size));
    };
    if (withExportTable && !exports.empty()) {
        setDirectory(0, exportDir, code - exportDir); // the whole export data, as linkers set it
    }
    if (withImportTable && !imports.empty()) {
        setDirectory(1, importDir, 20 * (imports.size() + 1));
    }
    if (!delayImports.empty()) {
        setDirectory(13, delayDir, 32 * (delayImports.size() + 1));
    }
    // The section header
    const std::uint64_t sh = l.sectionTableOffset;
    pe.PutU32(sh + 8, static_cast<std::uint32_t>(virtualSize));
    pe.PutU32(sh + 12, sectionRva);
    pe.PutU32(sh + 16, static_cast<std::uint32_t>(rawSize));
    pe.PutU32(sh + 20, static_cast<std::uint32_t>(l.sectionOffset));

    const auto abs = [&l](std::uint64_t rel) { return l.sectionOffset + rel; };
    l.importDirectoryOffset = abs(importDir);
    l.delayImportDirectoryOffset = abs(delayDir);
    l.exportDirectoryOffset = abs(exportDir);
    l.exportNamePointersOffset = abs(namePointers);
    for (const auto n : importNames) {
        l.importNameOffsets.push_back(abs(n));
    }
    return pe;
}

} // namespace quorvane::test
