#include "core/pe/modDelayImports.h"

#include "core/pe/FileBytes.h"
#include "core/pe/PeImage.h"

namespace quorvane {
namespace {

constexpr std::uint64_t kDelayDescriptorSize = 32;
constexpr std::uint64_t kDelayNameOffset = 4;
constexpr std::uint32_t kDelayAttributeRvas = 1;

ReaderResult Failure(std::string_view status)
{
    ReaderResult r;
    r.status = status;
    return r;
}

ReaderResult WalkDelayImports(const PeImage &image)
{
    const auto directory = image.Directory(DataDirectoryIndex::DelayImport);
    if (!directory || directory->rva == 0) {
        return Failure(kStatusNoDelayImports);
    }
    const auto table = image.RvaToOffset(directory->rva);
    if (!table) {
        return Failure(kStatusDelayImportWalkFailed);
    }
    const ByteView &b = image.Bytes();
    ReaderResult result;
    std::uint64_t totalBytes = 0;
    // As with the import table, the walk ends at an entry whose name is zero, and every entry read
    // lies inside the file: a table without its end stops at the end of the file, as damaged.
    for (std::uint64_t entry = *table;; entry += kDelayDescriptorSize) {
        const auto attributes = b.ReadU32(entry);
        const auto nameField = b.ReadU32(entry + kDelayNameOffset);
        if (!attributes || !nameField) {
            return Failure(kStatusDelayImportWalkFailed);
        }
        if (*nameField == 0) {
            break;
        }
        const auto rva = DelayTableRva(image, *attributes, *nameField);
        const auto offset = rva ? image.RvaToOffset(*rva) : std::nullopt;
        auto name = offset ? StringFromAnsiPointer(b, *offset) : std::nullopt;
        if (!name) {
            return Failure(kStatusDelayImportWalkFailed);
        }
        totalBytes += name->size() + 2;
        if (totalBytes > kMaxNameBytes) {
            return Failure(kStatusDelayImportWalkFailed);
        }
        result.names.push_back(std::move(*name));
    }
    result.ok = true;
    result.status = kStatusImportsOk;
    return result;
}

} // namespace

std::optional<std::uint64_t> DelayTableRva(const PeImage &image, std::uint32_t attributes,
                                           std::uint64_t field)
{
    if (attributes & kDelayAttributeRvas) {
        return field;
    }
    const auto base = image.ImageBase();
    if (!base || field < *base) {
        return std::nullopt;
    }
    return field - *base;
}

ReaderResult ReadDelayImportNames(const ByteSource &bytes)
{
    const auto image = PeImage::Parse(bytes);
    if (!image) {
        return Failure(kStatusErrorMapping);
    }
    return WalkDelayImports(*image);
}

ReaderResult ReadDelayImportNames(const std::string &path)
{
    const auto file = FileBytes::Open(path);
    if (!file) {
        return Failure(kStatusErrorMapping);
    }
    return ReadDelayImportNames(*file);
}

} // namespace quorvane
