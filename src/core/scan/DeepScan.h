#pragma once

#include "core/pe/ByteView.h"

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

/// How a deep scan ended. Only a Complete scan has lists; after any other outcome they are empty.
enum class DeepScanOutcome {
    Complete,    // the whole file was read
    Cancelled,   // the cancel flag was seen
    NoSuchFile,  // the path names nothing
    NotAFile,    // the path names a folder, a pipe, a device...
    CannotOpen,  // a regular file that cannot be opened for reading
    ReadFailed,  // the file could not be read to its end (it shrank, or the read failed)
    OutOfMemory, // the names found do not fit in memory (a "name" many gigabytes long)
};

/// The status text of an outcome, as quorvane-cli shows it: "OK", or why the file was not scanned.
std::string_view DeepScanStatusText(DeepScanOutcome outcome);

/// What one deep scan leaves behind.
struct DeepScanResult {
    DeepScanOutcome outcome = DeepScanOutcome::Complete;
    /// The scratch list List1 after ScanFileContents and RemoveDuplicateNames: the distinct names,
    /// those of each file type in file order, the types in index order.
    std::vector<std::string> scratch;
    /// What CopyNamesToDependencyList appends to LstDep, in the scratch list's order.
    std::vector<std::string> dependencies;
};

/// The whole deep scan of the file at path: every name in its bytes that ends in a ticked extension
/// (ticked[i] for kFileTypeExtensions[i]), the distinct ones in the order the scratch list holds
/// them, and those that reach the dependency list. The file is opened read-only, regular files only
/// and without blocking, and read in pieces: memory stays in proportion to the names found, and
/// time in proportion to the file's size. A path that names no readable regular file, and a file
/// that cannot be read to the end (one that shrinks while it is read), give empty lists and the
/// reason as the outcome. cancel, when given, is looked at between pieces; once it reads true the
/// scan stops soon and returns Cancelled. Thread-safe: it shares nothing.
DeepScanResult RunDeepScan(const std::string &path, const std::array<bool, 5> &ticked,
                           const std::atomic<bool> *cancel = nullptr);

/// The size of the pieces a file is read in: large enough that reading costs few system calls,
/// small enough that each piece is scanned while it is still in the processor's cache.
inline constexpr std::size_t kDeepScanChunkSize = 128 * 1024;

/// The scan over any source, read with ReadAt in pieces of chunkSize bytes at increasing offsets
/// (at least 1; tests use tiny pieces to put names across the seams); bytes are read again only for
/// a name that began in an earlier piece. The source's size when it was opened is where the scan
/// stops, so a growing file ends. A short read ends the scan with ReadFailed; names that do not fit
/// in memory end it with OutOfMemory. Throws nothing.
DeepScanResult ScanSourceContents(const ByteSource &source, const std::array<bool, 5> &ticked,
                                  const std::atomic<bool> *cancel = nullptr,
                                  std::size_t chunkSize = kDeepScanChunkSize);

/// Appends to lstDep, in order, every item of list1 whose last four characters (the whole item when
/// it is shorter), without leading and trailing spaces, begin with a point.
void CopyNamesToDependencyList(const std::vector<std::string> &list1,
                               std::vector<std::string> &lstDep);

} // namespace quorvane
