#pragma once

#include "core/check/FilePresence.h"
#include "core/packager/PeFacts.h"
#include "core/packager/SearchOrder.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// Which folder of the search order a file was found in.
enum class FoundIn { Application, Search, System };

/// A file with the right name that could not serve: "found PATH, but it is 32-bit".
struct Rejection {
    std::string path;
    std::string reason;     // the whole sentence
    bool notPeFile = false; // it is no readable PE file (else it is built for another machine)
};

/// What looking for one DLL name came to.
enum class DllSearchOutcome {
    Found,         // a file of that name for the importer's machine, in one of the folders
    Missing,       // in no folder of the search order
    NotPlainName,  // a name with a folder part, which never leads into a folder: not looked for
    ApiSet,        // an API-set contract, which Windows resolves itself
    SystemAssumed, // a Windows component, taken as present because no system folder is known
};

/// Why a name that is no plain file name was not looked for.
inline constexpr std::string_view kNotPlainNameReason = "not a plain file name: never looked for";

struct DllSearchResult {
    DllSearchOutcome outcome = DllSearchOutcome::Missing;
    std::string path; // Found: the folder's prefix and the entry as spelt on disk
    FoundIn where = FoundIn::Application;
    const PeFacts *facts = nullptr;  // Found: what the file is
    std::vector<Rejection> rejected; // files of that name that would not do, in search order
    /// For one of Windows' KnownDLLs: the files of that name in the application's and the search
    /// order's folders, which Windows never loads (it takes the system folder's).
    std::vector<std::string> ignored;
};

/// The one walk that finds a DLL for tree, report and bundle: the application's folders, the
/// search order's folders and the system folder for the importer's bitness, in that order; the
/// first file of that name (letter case ignored) that is a PE file for the importer's machine.
/// One of Windows' KnownDLLs is looked for in the system folder only.
/// Each folder is read once and each file parsed once, through the caches it is given.
class DllSearch {
public:
    DllSearch(const SearchOrder &order, FolderCache &folders, PeFactsCache &facts)
        : m_order(order), m_folders(folders), m_facts(facts)
    {
    }

    /// Looks for name on behalf of importer. applicationPrefixes are the folders Windows looks in
    /// first, each ending in a separator. With readTables, a file outside the system folder is read
    /// whole when it is first met, so that a caller that follows it opens it only once.
    DllSearchResult Find(const std::string &name,
                         const std::vector<std::string> &applicationPrefixes,
                         const PeFacts &importer, bool readTables);

private:
    const SearchOrder &m_order;
    FolderCache &m_folders;
    PeFactsCache &m_facts;
};

} // namespace quorvane
