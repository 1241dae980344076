#pragma once

#include "core/pe/ByteView.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quorvane {

enum class PeKind { Pe32, Pe32Plus };

/// The indexes of the data directory entries that Quorvane reads.
enum class DataDirectoryIndex : std::uint32_t { Export = 0, Import = 1, DelayImport = 13 };

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

/// A PE file's headers, checked: the MS-DOS header, e_lfanew, the "PE\0\0" signature, the file
/// header, the optional header (PE32 or PE32+) and the section table, all inside the file. It holds
/// what it read and a view of the bytes; it owns no bytes itself.
class PeImage {
public:
    /// nullopt when the bytes are not a PE image whose headers lie inside them.
    static std::optional<PeImage> Parse(const ByteSource &source);

    const ByteView &Bytes() const { return m_bytes; }
    PeKind Kind() const { return m_kind; }
    std::uint16_t Machine() const { return m_machine; }
    std::uint64_t NtHeadersOffset() const { return m_ntOffset; }
    /// The optional header's ImageBase; nullopt when the file ends before it.
    std::optional<std::uint64_t> ImageBase() const;

    /// The data directory entry, or nullopt when the optional header holds no such entry (its
    /// NumberOfRvaAndSizes or SizeOfOptionalHeader stops short of it).
    std::optional<DataDirectory> Directory(DataDirectoryIndex index) const;

    /// The file offset of the byte at an RVA, read as the Windows loader reads the file: through
    /// the first section, in table order, whose file-backed bytes hold it; else the headers' own
    /// bytes (an RVA below SizeOfHeaders); else, in a low-alignment image (SectionAlignment below
    /// the page size and equal to FileAlignment), which the loader maps as one piece, the byte at
    /// the same offset. With standard alignment a section's file bytes start at PointerToRawData
    /// rounded down to 512 and run for SizeOfRawData rounded up to FileAlignment (no further than
    /// VirtualSize rounded up to SectionAlignment). nullopt when the RVA lies in none of these. The
    /// offset may still lie past the end of the file; reads check. This is the one place where an
    /// RVA becomes an offset.
    std::optional<std::uint64_t> RvaToOffset(std::uint64_t rva) const;

private:
    struct Segment {
        std::uint64_t begin = 0;   // RVA range [begin, next segment's begin) ...
        std::uint32_t section = 0; // ... served by this section (UINT32_MAX: none)
    };
    struct Section {
        std::uint32_t virtualAddress = 0;
        std::uint64_t rawSize = 0;    // the file-backed bytes, as the loader counts them
        std::uint32_t rawPointer = 0; // where they start, as the loader rounds it
    };
    enum class Alignment { Unchecked, Standard, Low };

    explicit PeImage(const ByteSource &source) : m_bytes(source) {}
    void BuildSegments();

    ByteView m_bytes;
    PeKind m_kind = PeKind::Pe32;
    std::uint16_t m_machine = 0;
    std::uint64_t m_ntOffset = 0;
    std::uint64_t m_optionalOffset = 0;
    std::uint32_t m_optionalSize = 0;
    std::uint32_t m_directoryCount = 0;
    std::uint32_t m_sizeOfHeaders = 0;
    std::uint32_t m_sizeOfImage = 0;
    Alignment m_alignment = Alignment::Unchecked;
    std::vector<Section> m_sections;
    std::vector<Segment> m_segments; // sorted by begin; for RVA lookups in O(log n)
};

} // namespace quorvane
