#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// The extensions of the five file types, in the order of the file-type boxes `chkType`; the index
/// order is also the order in which the names of each type reach the scratch list.
inline constexpr std::array<std::string_view, 5> kFileTypeExtensions{".DLL", ".OCX", ".SYS", ".DRV",
                                                                     ".TLB"};

/// Why a deep scan found no names although it was not cancelled.
enum class DeepScanFailure {
    None,       // the whole file was read
    CannotOpen, // no regular file that can be opened for reading: missing, a folder, a pipe, ...
    ReadFailed, // the file could not be read to its end (it shrank, or the read failed)
    OutOfMemory, // the names found do not fit in memory (a "name" many gigabytes long)
};

/// What one deep scan leaves behind.
struct DeepScanResult {
    /// The scratch list List1 after ScanFileContents and RemoveDuplicateNames: the distinct names,
    /// those of each file type in file order, the types in index order.
    std::vector<std::string> scratch;
    /// What CopyNamesToDependencyList appends to LstDep, in the scratch list's order.
    std::vector<std::string> dependencies;
    /// The cancel flag was seen; the other fields are then meaningless.
    bool cancelled = false;
    /// False when the path named no readable regular file, or the file could not be read to its
    /// end; the lists are then empty.
    bool readable = true;
    DeepScanFailure failure = DeepScanFailure::None; // why readable is false
};

/// The whole deep scan of the file at path: every name in its bytes that ends in a ticked extension
/// (ticked[i] for kFileTypeExtensions[i]), the distinct ones in the order the scratch list holds
/// them, and those that reach the dependency list. The file is opened read-only, regular files only
/// and without blocking, and read in pieces: memory stays in proportion to the names found, and
/// time in proportion to the file's size. A path that names no readable regular file, and a file
/// that cannot be read to the end (one that shrinks while it is read), give empty lists with
/// readable false. cancel, when given, is looked at between pieces; once it reads true the scan
/// stops soon and returns with cancelled set. Thread-safe: it shares nothing.
DeepScanResult RunDeepScan(const std::string &path, const std::array<bool, 5> &ticked,
                           const std::atomic<bool> *cancel = nullptr);

/// The same scan over bytes already in memory (for tests and fuzzing).
DeepScanResult ScanContents(std::span<const std::uint8_t> contents,
                            const std::array<bool, 5> &ticked,
                            const std::atomic<bool> *cancel = nullptr);

/// Where the scan's bytes come from. The scan reads pieces at increasing offsets, and reads bytes
/// again only for a name that began in an earlier piece.
class ScanSource {
public:
    virtual ~ScanSource() = default;
    /// The size when the source was opened; the scan reads no further, so a growing file ends.
    virtual std::uint64_t Size() const = 0;
    /// Reads up to out.size() bytes at offset; the count read, fewer only at the end or on failure.
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

/// The size of the pieces a file is read in: large enough that reading costs few system calls,
/// small enough that each piece is scanned while it is still in the processor's cache.
inline constexpr std::size_t kDeepScanChunkSize = 128 * 1024;

/// The scan over any source, read in pieces of chunkSize bytes (at least 1; tests use tiny pieces
/// to put names across the seams). A short read ends the scan with ReadFailed; names that do not
/// fit in memory end it with OutOfMemory. Throws nothing.
DeepScanResult ScanSourceContents(const ScanSource &source, const std::array<bool, 5> &ticked,
                                  const std::atomic<bool> *cancel = nullptr,
                                  std::size_t chunkSize = kDeepScanChunkSize);

/// One file type's search over contents that are already upper case, as the scratch list receives
/// it: for every occurrence of extension, found by an exact comparison, the last match of the name
/// pattern in the text that runs from the nearest NUL or backslash before it (or the start of the
/// contents) to the end of the occurrence, without leading spaces; one item per occurrence, in
/// file order, and none where that match begins with the point. The next occurrence is searched
/// four characters after the start of the previous one. extension must be a point and three
/// letters or digits (the five file types are); for any other, nothing is appended. Linear.
void FindNamesWithExtension(std::span<const std::uint8_t> contents, std::string_view extension,
                            std::vector<std::string> &list);

/// Removes from list every item whose ASCII upper-case form equals that of an earlier non-empty
/// item. The first occurrence of each name keeps its place; empty items all stay.
void RemoveDuplicateNames(std::vector<std::string> &list);

/// Appends to lstDep, in order, every item of list1 whose last four characters (the whole item when
/// it is shorter), without leading and trailing spaces, begin with a point.
void CopyNamesToDependencyList(const std::vector<std::string> &list1,
                               std::vector<std::string> &lstDep);

} // namespace quorvane
