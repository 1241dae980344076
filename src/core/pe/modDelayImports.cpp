#include "core/pe/modDelayImports.h"

#include "core/pe/FileBytes.h"
#include "core/pe/PeImage.h"

namespace quorvane {
namespace {

constexpr std::uint64_t kDelayDescriptorSize = 32;
constexpr std::uint64_t kDelayNameOffset = 4;
constexpr std::uint32_t kDelayAttributeRvas = 1;

ReaderResult Failure(ReaderOutcome outcome)
{
    ReaderResult r;
    r.table = PeTable::DelayImports;
    r.outcome = outcome;
    return r;
}

ReaderResult WalkDelayImports(const PeImage &image)
{
    const auto directory = image.Directory(DataDirectoryIndex::DelayImport);
    if (!directory || directory->rva == 0) {
        return Failure(ReaderOutcome::NoTable);
    }
    const auto table = image.RvaToOffset(directory->rva);
    if (!table) {
        return Failure(ReaderOutcome::TableDamaged);
    }
    const ByteView &b = image.Bytes();
    ReaderResult result;
    result.table = PeTable::DelayImports;
    std::uint64_t totalBytes = 0;
    // As with the import table, the walk ends at an entry whose name is zero, and every entry read
    // lies inside the file: a table without its end stops at the end of the file, as damaged.
    for (std::uint64_t entry = *table;; entry += kDelayDescriptorSize) {
        const auto attributes = b.ReadU32(entry);
        const auto nameField = b.ReadU32(entry + kDelayNameOffset);
        if (!attributes || !nameField) {
            return Failure(ReaderOutcome::TableDamaged);
        }
        if (*nameField == 0) {
            break;
        }
        const auto rva = DelayTableRva(image, *attributes, *nameField);
        const auto offset = rva ? image.RvaToOffset(*rva) : std::nullopt;
        auto name = offset ? StringFromAnsiPointer(b, *offset) : std::nullopt;
        if (!name) {
            return Failure(ReaderOutcome::TableDamaged);
        }
        totalBytes += name->size() + 2;
        if (totalBytes > kMaxNameBytes) {
            return Failure(ReaderOutcome::TableDamaged);
        }
        result.names.push_back(std::move(*name));
    }
    result.outcome = ReaderOutcome::Ok;
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
        return Failure(ReaderOutcome::NotPe);
    }
    return WalkDelayImports(*image);
}

ReaderResult ReadDelayImportNames(const std::string &path)
{
    const auto file = FileBytes::Open(path);
    if (!file) {
        return Failure(ReaderOutcome::NotPe);
    }
    return ReadDelayImportNames(*file);
}

} // namespace quorvane
