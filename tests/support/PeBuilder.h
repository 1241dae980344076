#pragma once

// Writes small, valid PE32 and PE32+ images with chosen import and export tables, and tells where
// each structure landed, so that a test can break exactly one field.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::test {

enum class Bitness { Pe32, Pe32Plus };

/// Where the builder put things: file offsets, and the RVA of the one data section.
struct PeLayout {
    std::uint64_t ntOffset = 0x80;
    std::uint64_t optionalOffset = 0x98;
    std::uint64_t dataDirectoriesOffset = 0; // entry i at + 8 * i
    std::uint64_t sectionTableOffset = 0;
    std::uint64_t sectionOffset = 0; // file offset of the data section's bytes
    std::uint32_t sectionRva = 0;
    std::uint64_t importDirectoryOffset = 0;      // descriptor i at + 20 * i
    std::uint64_t delayImportDirectoryOffset = 0; // descriptor i at + 32 * i
    std::uint64_t exportDirectoryOffset = 0;
    std::uint64_t exportNamePointersOffset = 0;

    std::uint32_t RvaOf(std::uint64_t offset) const
    {
        return static_cast<std::uint32_t>(offset - sectionOffset + sectionRva);
    }
};

struct BuiltPe {
    std::vector<std::uint8_t> bytes;
    PeLayout layout;

    /// Writes value's low width bytes at offset at, least significant first.
    void Put(std::uint64_t at, std::uint64_t value, int width = 4);
    void PutU32(std::uint64_t at, std::uint32_t value) { Put(at, value, 4); }
    std::uint32_t GetU32(std::uint64_t at) const;
    /// Writes the bytes to a file and returns its path.
    std::filesystem::path WriteTo(const std::filesystem::path &path) const;
};

struct PeBuilder {
    Bitness bitness = Bitness::Pe32;
    bool isDll = false;
    std::vector<std::string> imports{}; // DLL names, in table order
    std::vector<std::string> exports{}; // function names, in table order (sorted by convention)
    std::vector<std::string> delayImports{};
    std::string dllName = "SAMPLE.dll"; // the export directory's own name
    bool withImportTable = true;        // false: no import data directory entry
    bool withExportTable = true;        // false: no export data directory entry (also when empty)
    bool lowAlignment = false; // SectionAlignment == FileAlignment == 512: offsets equal RVAs

    BuiltPe Build() const;
};

} // namespace quorvane::test
