#include "support/PeBuilder.h"

#include <fstream>
#include <stdexcept>

namespace quorvane::test {
namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint64_t kNtOffset = 0x80;

std::uint64_t AlignUp(std::uint64_t v, std::uint64_t a) {
  return (v + a - 1) / a * a;
}

} // namespace

void BuiltPe::PutU16(std::uint64_t offset, std::uint16_t value) {
  bytes.at(offset) = static_cast<std::uint8_t>(value);
  bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void BuiltPe::PutU32(std::uint64_t offset, std::uint32_t value) {
  PutU16(offset, static_cast<std::uint16_t>(value));
  PutU16(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint32_t BuiltPe::GetU32(std::uint64_t offset) const {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) {
    v = (v << 8) | bytes.at(offset + static_cast<std::uint64_t>(i));
  }
  return v;
}

std::filesystem::path
BuiltPe::WriteTo(const std::filesystem::path &path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("cannot write " + path.string());
  }
  return path;
}

BuiltPe PeBuilder::Build() const {
  const bool wide = bitness == Bitness::Pe32Plus;
  const std::uint64_t thunkSize = wide ? 8 : 4;
  BuiltPe pe;
  PeLayout &l = pe.layout;
  l.ntOffset = kNtOffset;
  l.optionalOffset = kNtOffset + 24;
  l.dataDirectoriesOffset = l.optionalOffset + (wide ? 112 : 96);
  l.sectionTableOffset = l.dataDirectoriesOffset + 8 * 16;
  l.sectionOffset = AlignUp(l.sectionTableOffset + 40, kFileAlignment);
  // A low-alignment image is mapped as one piece: its section lies at the RVA
  // equal to its offset.
  const std::uint32_t sectionAlignment = lowAlignment ? kFileAlignment : 0x1000;
  l.sectionRva =
      lowAlignment ? static_cast<std::uint32_t>(l.sectionOffset) : 0x1000;

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
  const auto rva = [&l](std::uint64_t offset) { return l.RvaOf(offset); };

  l.importDirectoryOffset = reserve(20 * (imports.size() + 1));
  l.delayImportDirectoryOffset = reserve(32 * (delayImports.size() + 1));
  l.exportDirectoryOffset = reserve(40);
  const std::uint64_t addressTable = reserve(4 * exports.size());
  l.exportNamePointersOffset = reserve(4 * exports.size());
  const std::uint64_t ordinals = reserve(2 * exports.size());
  // One import by ordinal per DLL, so that the tables look like a linker's to
  // other tools: the lookup tables, then the address tables.
  const std::size_t dlls = imports.size() + delayImports.size();
  std::vector<std::uint64_t> thunks;
  for (std::size_t i = 0; i < 2 * dlls; ++i) {
    thunks.push_back(reserve(2 * thunkSize, thunkSize));
    pe.PutU32(thunks.back(), wide ? 1 : 0x80000001);
    pe.PutU32(thunks.back() + 4, wide ? 0x80000000 : 0);
  }
  l.importNameOffsets = putStrings(imports);
  const auto delayNames = putStrings(delayImports);
  const auto exportNames = putStrings(exports);
  const std::uint64_t ownName = putStrings({dllName})[0];
  const std::uint64_t code = reserve(16, 16); // where the exports point

  for (std::size_t i = 0; i < imports.size(); ++i) {
    const std::uint64_t at = l.importDirectoryOffset + 20 * i;
    pe.PutU32(at + 0, rva(thunks[i]));
    pe.PutU32(at + 12, rva(l.importNameOffsets[i]));
    pe.PutU32(at + 16, rva(thunks[dlls + i]));
  }
  for (std::size_t i = 0; i < delayImports.size(); ++i) {
    const std::uint64_t at = l.delayImportDirectoryOffset + 32 * i;
    pe.PutU32(at + 0, 1); // attributes: RVAs
    pe.PutU32(at + 4, rva(delayNames[i]));
    pe.PutU32(at + 12, rva(thunks[dlls + imports.size() + i]));
    pe.PutU32(at + 16, rva(thunks[imports.size() + i]));
  }
  const std::uint64_t ed = l.exportDirectoryOffset;
  pe.PutU32(ed + 12, rva(ownName));
  pe.PutU32(ed + 16, 1); // ordinal base
  pe.PutU32(ed + 20, static_cast<std::uint32_t>(exports.size()));
  pe.PutU32(ed + 24, static_cast<std::uint32_t>(exports.size()));
  pe.PutU32(ed + 28, rva(addressTable));
  pe.PutU32(ed + 32, rva(l.exportNamePointersOffset));
  pe.PutU32(ed + 36, rva(ordinals));
  for (std::size_t i = 0; i < exports.size(); ++i) {
    pe.PutU32(addressTable + 4 * i, rva(code + (i % 16)));
    pe.PutU32(l.exportNamePointersOffset + 4 * i, rva(exportNames[i]));
    pe.PutU16(ordinals + 2 * i, static_cast<std::uint16_t>(i));
  }
  const std::uint64_t virtualSize = bytes.size() - l.sectionOffset;
  bytes.resize(
      l.sectionOffset +
      AlignUp(std::max<std::uint64_t>(virtualSize, 1), kFileAlignment));

  // The headers: MS-DOS, NT, optional, one section.
  pe.PutU16(0, 0x5A4D); // "MZ"
  pe.PutU32(0x3C, static_cast<std::uint32_t>(kNtOffset));
  pe.PutU32(l.ntOffset, 0x00004550); // "PE\0\0"
  const std::uint64_t fh = l.ntOffset + 4;
  pe.PutU16(fh + 0, machine ? machine : (wide ? 0x8664 : 0x014C));
  pe.PutU16(fh + 2, 1); // one section
  pe.PutU16(fh + 16, static_cast<std::uint16_t>(l.sectionTableOffset -
                                                l.optionalOffset));
  pe.PutU16(fh + 18, isDll ? 0x2002 : 0x0002); // an executable image, or a DLL
  const std::uint64_t oh = l.optionalOffset;
  pe.PutU16(oh + 0, wide ? 0x20B : 0x10B);
  pe.PutU32(oh + 24, wide ? 0x40000000
                          : 0); // ImageBase 0x140000000, 0x10000000 or 0x400000
  pe.PutU32(oh + 28, wide ? 1 : (isDll ? 0x10000000 : 0x00400000));
  pe.PutU32(oh + 32, sectionAlignment);
  pe.PutU32(oh + 36, kFileAlignment);
  pe.PutU32(oh + 56,
            static_cast<std::uint32_t>(l.sectionRva +
                                       AlignUp(virtualSize, sectionAlignment)));
  pe.PutU32(oh + 60,
            static_cast<std::uint32_t>(l.sectionOffset)); // SizeOfHeaders
  pe.PutU32(l.dataDirectoriesOffset - 4, 16);             // NumberOfRvaAndSizes
  const auto setDirectory = [&](std::uint64_t index, std::uint64_t at,
                                std::uint64_t size) {
    pe.PutU32(l.dataDirectoriesOffset + 8 * index, rva(at));
    pe.PutU32(l.dataDirectoriesOffset + 8 * index + 4,
              static_cast<std::uint32_t>(size));
  };
  if (withExportTable && !exports.empty()) {
    setDirectory(0, ed, code - ed); // the whole export data, as linkers set it
  }
  if (withImportTable && !imports.empty()) {
    setDirectory(1, l.importDirectoryOffset, 20 * (imports.size() + 1));
  }
  if (!delayImports.empty()) {
    setDirectory(13, l.delayImportDirectoryOffset,
                 32 * (delayImports.size() + 1));
  }
  const std::uint64_t sh = l.sectionTableOffset;
  pe.PutU32(sh + 8, static_cast<std::uint32_t>(virtualSize));
  pe.PutU32(sh + 12, l.sectionRva);
  pe.PutU32(sh + 16,
            static_cast<std::uint32_t>(bytes.size() - l.sectionOffset));
  pe.PutU32(sh + 20, static_cast<std::uint32_t>(l.sectionOffset));
  return pe;
}

} // namespace quorvane::test
