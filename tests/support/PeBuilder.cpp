#include "support/PeBuilder.h"

#include <fstream>
#include <stdexcept>

namespace quorvane::test {
namespace {

constexpr std::uint32_t kFileAlignment = 0x200;

const auto AlignUp = [](std::uint64_t v, std::uint64_t a) { return (v + a - 1) / a * a; };

} // namespace

void BuiltPe::Put(std::uint64_t at, std::uint64_t value, int width)
{
    for (int i = 0; i < width; ++i) {
        bytes.at(at + static_cast<std::uint64_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t BuiltPe::GetU32(std::uint64_t at) const
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | bytes.at(at + static_cast<std::uint64_t>(i));
    }
    return value;
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
    const std::uint64_t thunkSize = wide ? 8 : 4;
    BuiltPe pe;
    PeLayout &l = pe.layout;
    l.dataDirectoriesOffset = l.optionalOffset + (wide ? 112 : 96);
    l.sectionTableOffset = l.dataDirectoriesOffset + 8 * 16;
    l.sectionOffset = AlignUp(l.sectionTableOffset + 40, kFileAlignment);
    // A low-alignment image is mapped as one piece: its section lies at the RVA of its offset.
    const std::uint32_t sectionAlignment = lowAlignment ? kFileAlignment : 0x1000;
    l.sectionRva = lowAlignment ? static_cast<std::uint32_t>(l.sectionOffset) : 0x1000;
    const auto rva = [&l](std::uint64_t offset) { return l.RvaOf(offset); };

    // The data section, laid out front to back after the headers.
    std::vector<std::uint8_t> &bytes = pe.bytes;
    bytes.resize(l.sectionOffset);
    const auto reserve = [&bytes](std::uint64_t n, std::uint64_t align = 4) {
        bytes.resize(AlignUp(bytes.size(), align) + n);
        return bytes.size() - n;
    };
    const auto putStrings = [&bytes](const std::vector<std::string> &strings) {
        std::vector<std::uint64_t> offsets;
        for (const std::string &s : strings) {
            offsets.push_back(bytes.size());
            bytes.insert(bytes.end(), s.c_str(), s.c_str() + s.size() + 1);
        }
        return offsets;
    };
    l.importDirectoryOffset = reserve(20 * (imports.size() + 1));
    l.delayImportDirectoryOffset = reserve(32 * (delayImports.size() + 1));
    const std::uint64_t ed = l.exportDirectoryOffset = reserve(40);
    const std::uint64_t addressTable = reserve(4 * exports.size());
    l.exportNamePointersOffset = reserve(4 * exports.size());
    const std::uint64_t ordinals = reserve(2 * exports.size());
    // One import by ordinal per DLL: the lookup tables, then the address tables.
    const std::size_t dlls = imports.size() + delayImports.size();
    std::vector<std::uint64_t> thunks;
    for (std::size_t i = 0; i < 2 * dlls; ++i) {
        thunks.push_back(reserve(2 * thunkSize, thunkSize));
        pe.Put(thunks.back(), wide ? 0x8000000000000001 : 0x80000001, static_cast<int>(thunkSize));
    }
    const auto importNames = putStrings(imports);
    const auto delayNames = putStrings(delayImports);
    const auto exportNames = putStrings(exports);
    const std::uint64_t ownName = putStrings({dllName})[0];
    const std::uint64_t code = reserve(16, 16); // where the exports point

    for (std::size_t i = 0; i < imports.size(); ++i) {
        const std::uint64_t at = l.importDirectoryOffset + 20 * i;
        pe.PutU32(at + 0, rva(thunks[i]));
        pe.PutU32(at + 12, rva(importNames[i]));
        pe.PutU32(at + 16, rva(thunks[dlls + i]));
    }
    for (std::size_t i = 0; i < delayImports.size(); ++i) {
        const std::uint64_t at = l.delayImportDirectoryOffset + 32 * i;
        pe.PutU32(at + 0, 1); // attributes: RVAs
        pe.PutU32(at + 4, rva(delayNames[i]));
        pe.PutU32(at + 12, rva(thunks[dlls + imports.size() + i]));
        pe.PutU32(at + 16, rva(thunks[imports.size() + i]));
    }
    // Own name, ordinal base, address count, name count, the three tables.
    const std::uint64_t fields[] = {rva(ownName),      1,
                                    exports.size(),    exports.size(),
                                    rva(addressTable), rva(l.exportNamePointersOffset),
                                    rva(ordinals)};
    for (std::uint64_t i = 0; i < 7; ++i) {
        pe.Put(ed + 12 + 4 * i, fields[i]);
    }
    for (std::size_t i = 0; i < exports.size(); ++i) {
        pe.PutU32(addressTable + 4 * i, rva(code + (i % 16)));
        pe.PutU32(l.exportNamePointersOffset + 4 * i, rva(exportNames[i]));
        pe.Put(ordinals + 2 * i, i, 2);
    }
    const std::uint64_t virtualSize = bytes.size() - l.sectionOffset;
    bytes.resize(l.sectionOffset +
                 AlignUp(std::max<std::uint64_t>(virtualSize, 1), kFileAlignment));

    // The headers: MS-DOS, NT, optional, one section.
    pe.Put(0, 0x5A4D, 2); // "MZ"
    pe.PutU32(0x3C, static_cast<std::uint32_t>(l.ntOffset));
    pe.PutU32(l.ntOffset, 0x00004550); // "PE\0\0"
    const std::uint64_t fh = l.ntOffset + 4;
    pe.Put(fh + 0, wide ? 0x8664 : 0x014C, 2); // AMD64 or i386
    pe.Put(fh + 2, 1, 2);                      // one section
    pe.Put(fh + 16, l.sectionTableOffset - l.optionalOffset, 2);
    pe.Put(fh + 18, isDll ? 0x2002 : 0x0002, 2); // an executable image, or a DLL
    const std::uint64_t oh = l.optionalOffset;
    pe.Put(oh + 0, wide ? 0x20B : 0x10B, 2);
    // ImageBase 0x140000000, or 0x10000000 or 0x400000.
    pe.Put(oh + (wide ? 24 : 28), wide ? 0x140000000 : (isDll ? 0x10000000 : 0x00400000),
           wide ? 8 : 4);
    pe.PutU32(oh + 32, sectionAlignment);
    pe.PutU32(oh + 36, kFileAlignment);
    pe.Put(oh + 56, l.sectionRva + AlignUp(virtualSize, sectionAlignment)); // SizeOfImage
    pe.Put(oh + 60, l.sectionOffset);                                       // SizeOfHeaders
    pe.PutU32(l.dataDirectoriesOffset - 4, 16);                             // NumberOfRvaAndSizes
    const auto setDirectory = [&](std::uint64_t index, std::uint64_t at, std::uint64_t size) {
        pe.PutU32(l.dataDirectoriesOffset + 8 * index, rva(at));
        pe.Put(l.dataDirectoriesOffset + 8 * index + 4, size);
    };
    if (withExportTable && !exports.empty()) {
        setDirectory(0, ed, code - ed); // the whole export data, as linkers set it
    }
    if (withImportTable && !imports.empty()) {
        setDirectory(1, l.importDirectoryOffset, 20 * (imports.size() + 1));
    }
    if (!delayImports.empty()) {
        setDirectory(13, l.delayImportDirectoryOffset, 32 * (delayImports.size() + 1));
    }
    const std::uint64_t sh = l.sectionTableOffset;
    pe.Put(sh + 8, virtualSize);
    pe.PutU32(sh + 12, l.sectionRva);
    pe.Put(sh + 16, bytes.size() - l.sectionOffset);
    pe.Put(sh + 20, l.sectionOffset);
    return pe;
}

} // namespace quorvane::test
