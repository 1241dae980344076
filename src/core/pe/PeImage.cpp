#include "core/pe/PeImage.h"

#include <algorithm>
#include <array>
#include <functional>
#include <queue>

namespace quorvane {
namespace {

constexpr std::uint16_t kDosMagic = 0x5A4D;    // "MZ"
constexpr std::uint32_t kNtSignature = 0x4550; // "PE\0\0"
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kLfanewOffset = 0x3C;
constexpr std::uint64_t kFileHeaderSize = 20;
constexpr std::uint64_t kSectionHeaderSize = 40;
// Fields at the same place in PE32 and PE32+ optional headers.
constexpr std::uint32_t kSectionAlignmentOffset = 32;
constexpr std::uint32_t kFileAlignmentOffset = 36;
constexpr std::uint32_t kSizeOfImageOffset = 56;
constexpr std::uint32_t kSizeOfHeadersOffset = 60;
constexpr std::uint64_t kImageBaseOffsetPe32 = 28;
constexpr std::uint64_t kImageBaseOffsetPe32Plus = 24;
// The loader's fixed numbers: the page size, below which an image is mapped as one piece, and the
// sector size to which it rounds PointerToRawData down whatever FileAlignment says.
constexpr std::uint32_t kLoaderPageSize = 0x1000;
constexpr std::uint32_t kLoaderSectorSize = 0x200;
constexpr std::uint32_t kMaxFileAlignment = 0x10000;
constexpr std::uint32_t kNoSection = UINT32_MAX;

bool IsPowerOfTwo(std::uint32_t v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

std::uint64_t AlignUp(std::uint64_t v, std::uint32_t alignment)
{
    return (v + alignment - 1) / alignment * alignment;
}

} // namespace

std::optional<PeImage> PeImage::Parse(const ByteSource &source)
{
    PeImage image(source);
    const ByteView &b = image.m_bytes;
    if (!b.Contains(0, kDosHeaderSize) || b.ReadU16(0) != kDosMagic) {
        return std::nullopt;
    }
    const auto lfanew = b.ReadU32(kLfanewOffset);
    if (!lfanew || !b.Contains(*lfanew, 4 + kFileHeaderSize) ||
        b.ReadU32(*lfanew) != kNtSignature) {
        return std::nullopt;
    }
    image.m_ntOffset = *lfanew;
    const std::uint64_t fileHeader = image.m_ntOffset + 4;
    const auto machine = b.ReadU16(fileHeader);
    const auto sectionCount = b.ReadU16(fileHeader + 2);
    const auto optionalSize = b.ReadU16(fileHeader + 16);
    if (!machine || !sectionCount || !optionalSize) {
        return std::nullopt;
    }
    image.m_machine = *machine;
    image.m_optionalOffset = fileHeader + kFileHeaderSize;
    image.m_optionalSize = *optionalSize;
    if (image.m_optionalSize < 2 || !b.Contains(image.m_optionalOffset, image.m_optionalSize)) {
        return std::nullopt;
    }
    const auto magic = b.ReadU16(image.m_optionalOffset);
    if (magic == kMagicPe32) {
        image.m_kind = PeKind::Pe32;
    } else if (magic == kMagicPe32Plus) {
        image.m_kind = PeKind::Pe32Plus;
    } else {
        return std::nullopt;
    }
    const std::uint64_t sectionTable = image.m_optionalOffset + image.m_optionalSize;
    if (!b.Contains(sectionTable, *sectionCount * kSectionHeaderSize)) {
        return std::nullopt;
    }

    // Fields past SizeOfOptionalHeader are not part of the header: they read as zero. A field
    // inside it that cannot be read any more means the file shrank under us.
    bool shrank = false;
    const auto optionalU32 = [&image, &b, &shrank](std::uint32_t at) -> std::uint32_t {
        if (image.m_optionalSize < std::uint64_t{at} + 4) {
            return 0;
        }
        const auto value = b.ReadU32(image.m_optionalOffset + at);
        shrank = shrank || !value;
        return value.value_or(0);
    };
    const std::uint32_t directoriesAt = image.m_kind == PeKind::Pe32 ? 96 : 112;
    if (image.m_optionalSize >= directoriesAt) {
        // NumberOfRvaAndSizes counts no further than the header reaches.
        image.m_directoryCount = std::min<std::uint32_t>(
            optionalU32(directoriesAt - 4), (image.m_optionalSize - directoriesAt) / 8);
    }
    image.m_sizeOfHeaders = optionalU32(kSizeOfHeadersOffset);
    image.m_sizeOfImage = optionalU32(kSizeOfImageOffset);
    const std::uint32_t sectionAlignment = optionalU32(kSectionAlignmentOffset);
    const std::uint32_t fileAlignment = optionalU32(kFileAlignmentOffset);
    if (shrank) {
        return std::nullopt;
    }
    // Only alignments the loader accepts get its reading; any other image is read through the
    // section table as it stands.
    if (IsPowerOfTwo(sectionAlignment) && IsPowerOfTwo(fileAlignment)) {
        if (sectionAlignment < kLoaderPageSize && fileAlignment == sectionAlignment) {
            image.m_alignment = Alignment::Low;
        } else if (sectionAlignment >= kLoaderPageSize && fileAlignment >= kLoaderSectorSize &&
                   fileAlignment <= kMaxFileAlignment && fileAlignment <= sectionAlignment) {
            image.m_alignment = Alignment::Standard;
        }
    }

    image.m_sections.reserve(*sectionCount); // the table was checked to lie inside the file
    for (std::uint32_t i = 0; i < *sectionCount; ++i) {
        std::array<std::uint8_t, kSectionHeaderSize> raw{};
        if (!b.Read(sectionTable + i * kSectionHeaderSize, raw)) {
            return std::nullopt; // the file shrank under us
        }
        const auto u32 = [&raw](std::size_t at) {
            return static_cast<std::uint32_t>(raw[at]) |
                   (static_cast<std::uint32_t>(raw[at + 1]) << 8) |
                   (static_cast<std::uint32_t>(raw[at + 2]) << 16) |
                   (static_cast<std::uint32_t>(raw[at + 3]) << 24);
        };
        const std::uint32_t virtualSize = u32(8);
        const std::uint32_t virtualAddress = u32(12);
        const std::uint32_t rawSize = u32(16);
        const std::uint32_t rawPointer = u32(20);
        Section section{virtualAddress, rawSize, rawPointer};
        if (image.m_alignment == Alignment::Standard && rawSize != 0) {
            // The loader's reading; where the table's own range is longer, that range still counts,
            // so that no RVA the section table resolves is lost.
            section.rawPointer = rawPointer / kLoaderSectorSize * kLoaderSectorSize;
            const std::uint64_t loaderSize =
                std::min(AlignUp(rawSize, fileAlignment),
                         AlignUp(virtualSize != 0 ? virtualSize : rawSize, sectionAlignment));
            section.rawSize = std::max<std::uint64_t>(rawSize, loaderSize);
        }
        image.m_sections.push_back(section);
    }
    image.BuildSegments();
    return image;
}

std::optional<std::uint64_t> PeImage::ImageBase() const
{
    if (m_kind == PeKind::Pe32) {
        const auto base = m_bytes.ReadU32(m_optionalOffset + kImageBaseOffsetPe32);
        return base ? std::optional<std::uint64_t>(*base) : std::nullopt;
    }
    const auto low = m_bytes.ReadU32(m_optionalOffset + kImageBaseOffsetPe32Plus);
    const auto high = m_bytes.ReadU32(m_optionalOffset + kImageBaseOffsetPe32Plus + 4);
    if (!low || !high) {
        return std::nullopt;
    }
    return (std::uint64_t{*high} << 32) | *low;
}

std::optional<DataDirectory> PeImage::Directory(DataDirectoryIndex index) const
{
    const auto i = static_cast<std::uint32_t>(index);
    if (i >= m_directoryCount) {
        return std::nullopt;
    }
    const std::uint64_t at =
        m_optionalOffset + (m_kind == PeKind::Pe32 ? 96u : 112u) + std::uint64_t{i} * 8;
    const auto rva = m_bytes.ReadU32(at);
    const auto size = m_bytes.ReadU32(at + 4);
    if (!rva || !size) {
        return std::nullopt;
    }
    return DataDirectory{*rva, *size};
}

// Sections may overlap; the loader's lookup takes the first section in table order that holds an
// RVA. A sweep over the section boundaries turns that rule into sorted segments, so that a lookup
// costs O(log n) even for a hostile table of 65,535 sections.
void PeImage::BuildSegments()
{
    struct Edge {
        std::uint64_t at;
        std::uint32_t section;
        bool opens;
    };
    std::vector<Edge> edges;
    for (std::uint32_t i = 0; i < m_sections.size(); ++i) {
        const Section &s = m_sections[i];
        if (s.rawSize == 0) {
            continue;
        }
        edges.push_back({s.virtualAddress, i, true});
        edges.push_back({std::uint64_t{s.virtualAddress} + s.rawSize, i, false});
    }
    std::sort(edges.begin(), edges.end(), [](const Edge &a, const Edge &b) { return a.at < b.at; });

    std::vector<bool> open(m_sections.size(), false);
    std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, std::greater<>> active;
    for (std::size_t e = 0; e < edges.size();) {
        const std::uint64_t at = edges[e].at;
        for (; e < edges.size() && edges[e].at == at; ++e) {
            open[edges[e].section] = edges[e].opens;
            if (edges[e].opens) {
                active.push(edges[e].section);
            }
        }
        while (!active.empty() && !open[active.top()]) {
            active.pop();
        }
        const std::uint32_t first = active.empty() ? kNoSection : active.top();
        if (m_segments.empty() || m_segments.back().section != first) {
            m_segments.push_back({at, first});
        }
    }
}

std::optional<std::uint64_t> PeImage::RvaToOffset(std::uint64_t rva) const
{
    const auto after =
        std::upper_bound(m_segments.begin(), m_segments.end(), rva,
                         [](std::uint64_t r, const Segment &s) { return r < s.begin; });
    if (after != m_segments.begin()) {
        const Segment &segment = *std::prev(after);
        if (segment.section != kNoSection) {
            const Section &s = m_sections[segment.section];
            return std::uint64_t{s.rawPointer} + (rva - s.virtualAddress);
        }
    }
    if (rva < m_sizeOfHeaders) {
        return rva; // the headers are mapped as they stand in the file
    }
    if (m_alignment == Alignment::Low && rva < m_sizeOfImage) {
        return rva; // the loader maps a low-alignment image as one piece: offsets equal RVAs
    }
    return std::nullopt;
}

} // namespace quorvane
