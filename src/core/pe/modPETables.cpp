#include "core/pe/modPETables.h"

#include "core/pe/Ansi.h"
#include "core/pe/FileBytes.h"
#include "core/pe/PeImage.h"

namespace quorvane {
namespace {

constexpr std::uint64_t kImportDescriptorSize = 20;
constexpr std::uint64_t kImportNameRvaOffset = 12;
constexpr std::uint64_t kExportDirectorySize = 40;
constexpr std::uint64_t kExportNameCountOffset = 24;
constexpr std::uint64_t kExportNamePointersOffset = 32;

ReaderResult Failure(PeTable table, ReaderOutcome outcome)
{
    ReaderResult r;
    r.table = table;
    r.outcome = outcome;
    return r;
}

// Reads the name at an RVA into names; false on any fault, or when the names grow past the limit.
bool AppendNameAt(const PeImage &image, std::uint32_t rva, std::vector<std::string> &names,
                  std::uint64_t &totalBytes)
{
    const auto offset = image.RvaToOffset(rva);
    if (!offset) {
        return false;
    }
    auto name = StringFromAnsiPointer(image.Bytes(), *offset);
    if (!name) {
        return false;
    }
    totalBytes += name->size() + 2;
    if (totalBytes > kMaxNameBytes) {
        return false;
    }
    names.push_back(std::move(*name));
    return true;
}

ReaderResult WalkImports(const PeImage &image)
{
    const auto directory = image.Directory(DataDirectoryIndex::Import);
    if (!directory || directory->rva == 0) {
        return Failure(PeTable::Imports, ReaderOutcome::NoTable);
    }
    const auto table = image.RvaToOffset(directory->rva);
    if (!table) {
        return Failure(PeTable::Imports, ReaderOutcome::TableDamaged);
    }
    ReaderResult result;
    result.table = PeTable::Imports;
    std::uint64_t totalBytes = 0;
    // The walk ends only at an entry whose Name RVA is zero; the directory's size is not consulted.
    // Every entry read lies inside the file, so a table without its end stops at the end of the
    // file.
    for (std::uint64_t entry = *table;; entry += kImportDescriptorSize) {
        const auto nameRva = image.Bytes().ReadU32(entry + kImportNameRvaOffset);
        if (!nameRva) {
            return Failure(PeTable::Imports, ReaderOutcome::TableDamaged);
        }
        if (*nameRva == 0) {
            break;
        }
        if (!AppendNameAt(image, *nameRva, result.names, totalBytes)) {
            return Failure(PeTable::Imports, ReaderOutcome::TableDamaged);
        }
    }
    result.outcome = ReaderOutcome::Ok;
    return result;
}

ReaderResult WalkExports(const PeImage &image)
{
    const auto directory = image.Directory(DataDirectoryIndex::Export);
    if (!directory || directory->rva == 0) {
        return Failure(PeTable::Exports, ReaderOutcome::NoTable);
    }
    const ByteView &b = image.Bytes();
    const auto table = image.RvaToOffset(directory->rva);
    if (!table || !b.Contains(*table, kExportDirectorySize)) {
        return Failure(PeTable::Exports, ReaderOutcome::TableDamaged);
    }
    const auto count = b.ReadU32(*table + kExportNameCountOffset);
    const auto pointersRva = b.ReadU32(*table + kExportNamePointersOffset);
    if (!count || !pointersRva || static_cast<std::int32_t>(*count) < 0) {
        return Failure(PeTable::Exports,
                       ReaderOutcome::TableDamaged); // a negative count is a corrupt table
    }
    ReaderResult result;
    result.table = PeTable::Exports;
    if (*count > 0) {
        const auto pointers = image.RvaToOffset(*pointersRva);
        if (!pointers) {
            return Failure(PeTable::Exports, ReaderOutcome::TableDamaged);
        }
        std::uint64_t totalBytes = 0;
        // The count is never used to size anything: a huge one ends where the table leaves the
        // file.
        for (std::uint64_t k = 0; k < *count; ++k) {
            const auto nameRva = b.ReadU32(*pointers + 4 * k);
            if (!nameRva || !AppendNameAt(image, *nameRva, result.names, totalBytes)) {
                return Failure(PeTable::Exports, ReaderOutcome::TableDamaged);
            }
        }
    }
    result.outcome = ReaderOutcome::Ok;
    return result;
}

template <typename Walk>
ReaderResult ReadFromSource(const ByteSource &bytes, PeTable table, Walk walk)
{
    const auto image = PeImage::Parse(bytes);
    if (!image) {
        return Failure(table, ReaderOutcome::NotPe);
    }
    return walk(*image);
}

template <typename Walk>
ReaderResult ReadFromPath(const std::string &path, PeTable table, Walk walk)
{
    const auto file = FileBytes::Open(path); // released on every path by its destructor
    if (!file) {
        return Failure(table, ReaderOutcome::NotPe);
    }
    return ReadFromSource(*file, table, walk);
}

bool ToListAndStatus(const ReaderResult &result, std::string &list, std::string &status)
{
    status = result.Status();
    if (result.Ok()) {
        list = result.JoinedList();
    }
    return result.Ok();
}

} // namespace

std::string_view ReaderStatusText(PeTable table, ReaderOutcome outcome)
{
    // By table, then by outcome, in the order the enums list them.
    static constexpr std::string_view kTexts[3][4] = {
        {kStatusImportsOk, kStatusErrorMapping, kStatusNoImports, kStatusImportWalkFailed},
        {kStatusExportsOk, kStatusErrorMapping, kStatusNoExports, kStatusExportWalkFailed},
        {kStatusImportsOk, kStatusErrorMapping, kStatusNoDelayImports,
         kStatusDelayImportWalkFailed},
    };
    return kTexts[static_cast<std::size_t>(table)][static_cast<std::size_t>(outcome)];
}

std::string ReaderResult::JoinedList() const
{
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            list += "\r\n";
        }
        list += names[i];
    }
    return list;
}

std::optional<std::string> StringFromAnsiPointer(const ByteView &bytes, std::uint64_t offset)
{
    auto raw = bytes.ReadCString(offset);
    if (!raw) {
        return std::nullopt;
    }
    return AnsiToUtf8(*raw);
}

ReaderResult ReadImportNames(const ByteSource &bytes)
{
    return ReadFromSource(bytes, PeTable::Imports, WalkImports);
}

ReaderResult ReadExportNames(const ByteSource &bytes)
{
    return ReadFromSource(bytes, PeTable::Exports, WalkExports);
}

ReaderResult ReadImportNames(const std::string &path)
{
    return ReadFromPath(path, PeTable::Imports, WalkImports);
}

ReaderResult ReadExportNames(const std::string &path)
{
    return ReadFromPath(path, PeTable::Exports, WalkExports);
}

bool GetImportList(const std::string &path, std::string &list, std::string &status)
{
    return ToListAndStatus(ReadImportNames(path), list, status);
}

bool GetExportList(const std::string &path, std::string &list, std::string &status)
{
    return ToListAndStatus(ReadExportNames(path), list, status);
}

} // namespace quorvane
