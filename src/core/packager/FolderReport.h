#pragma once

#include "core/packager/DependencyClosure.h"
#include "core/packager/PackagerOutcome.h"
#include "core/packager/SearchOrder.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

/// A file of the folder that needs a name.
struct ReportNeed {
    std::string file;
    bool delayLoaded = false;
};

/// A name some files of the folder need and no folder of the search order holds.
struct ReportMissing {
    std::string name;                 // as first met
    std::vector<ReportNeed> neededBy; // in path order
    bool delayLoaded = false;         // every file that needs it delay-loads it
    std::vector<Rejection> rejected;
    std::string reason; // for a name that is no plain file name
};

/// Functions that a file of the folder imports and the DLL found for it does not provide.
struct ReportMissingFunctions {
    std::string file;
    MissingFunctions functions;
};

struct FolderReportResult {
    bool ok = false;                    // the folder could be read
    std::string status;                 // why not
    std::size_t filesSeen = 0;          // regular files under the folder
    std::size_t peFiles = 0;            // of which PE files (damaged ones included)
    std::vector<ReportMissing> missing; // by name, letter case ignored
    std::vector<std::string> apiSets;   // API-set contracts the files need, by name
    std::vector<Damage> damaged;        // in path order
    std::vector<ReportNeed> who;        // with a name to ask for: the files that import it
    std::vector<ReportMissingFunctions> missingFunctions; // in path order
    std::vector<std::string> ignored; // copies of Windows' KnownDLLs, never loaded; by path

    /// Incomplete when a name or an imported function is missing; Unreadable when the folder or a
    /// file in it could not be read, or a table is damaged.
    PackagerOutcome Outcome() const;
};

/// Reads every PE file under folder (links are not followed; files that do not start with "MZ"
/// are not PE files and are passed over) on up to `threads` threads, and checks each file's
/// imports and delay-load imports against its own folder, the folder itself (the application's
/// folder), the search order's folders and the system folder for its bitness. With `who`, also
/// lists the files that import that name (letter case ignored).
FolderReportResult BuildFolderReport(const std::string &folder, const SearchOrder &order,
                                     const std::optional<std::string> &who, unsigned threads);

/// The threads to use for work over many files: the machine's cores, at least one.
unsigned DefaultThreadCount();

} // namespace quorvane
