#pragma once

#include "core/pe/ByteView.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// The tables the readers read.
enum class PeTable { Imports, Exports, DelayImports };

/// How a reader's walk ended.
enum class ReaderOutcome {
    Ok,           // the names were read
    NotPe,        // no readable PE file: missing, not a regular file, or no valid headers
    NoTable,      // the file has no such table: an answer, not an error
    TableDamaged, // the table leaves the file, a name cannot be read, or the names pass
                  // kMaxNameBytes
};

// The status texts the window and quorvane-cli show for each outcome.
inline constexpr std::string_view kStatusImportsOk = "OK.";
inline constexpr std::string_view kStatusExportsOk = "OK";
inline constexpr std::string_view kStatusErrorMapping = "Error mapping file.";
inline constexpr std::string_view kStatusNoImports = "No DLL dependencies found.";
inline constexpr std::string_view kStatusNoExports = "No export table.";
inline constexpr std::string_view kStatusNoDelayImports = "No delay-load imports.";
inline constexpr std::string_view kStatusImportWalkFailed =
    "Error in attempt to find imported DLLs.";
inline constexpr std::string_view kStatusExportWalkFailed = "Error attempting to get export list.";
inline constexpr std::string_view kStatusDelayImportWalkFailed =
    "Error in attempt to find delay-loaded DLLs.";

/// The status text of a reader's outcome: the one place where outcomes become texts.
std::string_view ReaderStatusText(PeTable table, ReaderOutcome outcome);

/// Real tables hold kilobytes of names. A hostile one can point thousands of entries at one long
/// name and ask for gigabytes of text from a small file; past this many bytes of names the table
/// counts as damaged.
inline constexpr std::uint64_t kMaxNameBytes = 64ull * 1024 * 1024;

/// What a reader found: how its walk ended, and the names in table order, exactly as stored
/// (converted to UTF-8). Only a walk that ended Ok produced a list.
struct ReaderResult {
    PeTable table = PeTable::Imports;
    ReaderOutcome outcome = ReaderOutcome::NotPe;
    std::vector<std::string> names;

    bool Ok() const { return outcome == ReaderOutcome::Ok; }
    /// The status text: "OK." ("OK" for exports) on success, else the reason.
    std::string_view Status() const { return ReaderStatusText(table, outcome); }
    /// The names joined by CR LF, with no separator after the last.
    std::string JoinedList() const;
};

/// The DLL names of the import directory table, up to the first entry whose Name RVA is zero.
ReaderResult ReadImportNames(const ByteSource &bytes);
/// The names of the export name pointer table, in its order.
ReaderResult ReadExportNames(const ByteSource &bytes);

/// The same readers over a file opened read-only; "Error mapping file." when the path names no
/// readable PE file.
ReaderResult ReadImportNames(const std::string &path);
ReaderResult ReadExportNames(const std::string &path);

/// The zero-terminated single-byte string at a file offset, converted from the ANSI code page to
/// UTF-8; nullopt when it runs to the end of the file without its zero byte.
std::optional<std::string> StringFromAnsiPointer(const ByteView &bytes, std::uint64_t offset);

/// The import reader: on success list holds the names joined by CR LF and status "OK."; on failure
/// status holds the reason and the result is false. The file is only ever read.
bool GetImportList(const std::string &path, std::string &list, std::string &status);
/// The export reader, as GetImportList, with the status "OK" on success.
bool GetExportList(const std::string &path, std::string &list, std::string &status);

} // namespace quorvane
