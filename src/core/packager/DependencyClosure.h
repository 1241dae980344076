#pragma once

#include "core/check/FilePresence.h"
#include "core/packager/DllSearch.h"
#include "core/packager/EntryPoints.h"
#include "core/packager/PackagerOutcome.h"
#include "core/packager/PeFacts.h"
#include "core/packager/SearchOrder.h"

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvane {

inline constexpr std::size_t kNoModule = static_cast<std::size_t>(-1);

/// One import of one module: the name as the importer spells it, and what it led to.
struct ImportEdge {
    std::string name;
    bool delayLoaded = false;
    bool toModule = false; // target indexes ClosureResult::modules, else ClosureResult::named
    std::size_t target = 0;
};

/// A file of the closure. Each file is one module however many modules import it.
struct ClosureModule {
    std::string name; // as it was first imported; the root's own file name
    std::string path; // where it was found: the folder's prefix and the entry as spelt on disk
    FoundIn where = FoundIn::Application;
    std::uint16_t machine = 0;
    PeKind kind = PeKind::Pe32;
    bool followed = false;    // its tables were read (the system folder's files are not followed)
    bool delayLoaded = false; // reached only through delay-loaded imports
    bool reached = false;
    std::size_t parent = kNoModule; // the importer on the chain shown for it
    std::size_t depth = 0;
    std::vector<ImportEdge> imports; // imports, then the delay-loaded ones, each name once
    std::string problem;             // a damaged table's status; empty when all was read
};

enum class NamedState {
    Missing,       // in no folder of the search order
    ApiSet,        // an API-set contract, which Windows resolves itself
    SystemAssumed, // a Windows component, taken as present because no system folder is known
};

/// A dependency that is no file of the closure.
struct NamedDependency {
    struct Need {
        std::size_t module;
        bool delayLoaded;
    };
    std::string name; // as first imported
    NamedState state = NamedState::Missing;
    std::vector<Need> neededBy;
    bool delayLoaded = false;  // nothing needs it at start: only delay-loaded imports lead to it
    std::size_t shownNeed = 0; // the need whose chain is shown
    std::vector<Rejection> rejected;
    std::string reason; // why it was not looked for, for a name that is no plain file name
};

struct Damage {
    std::string path;
    std::string status;
};

/// Functions that a module of the closure imports and the DLL found for it does not provide.
struct ClosureMissingFunctions {
    std::size_t importer = 0; // indexes ClosureResult::modules
    std::size_t dll = 0;      // indexes ClosureResult::modules: the DLL found
    bool delayLoaded = false; // only a delay-loaded import needs them: they fail at the first call
    MissingFunctions functions;
};

/// The whole dependency closure of one program: every file it loads, each visited once.
struct ClosureResult {
    std::string rootPath;
    bool ok = false;                    // the root was read as a PE file; status says why not
    std::string status;                 // "OK." or the root's failure
    std::vector<ClosureModule> modules; // [0] is the root when ok
    std::vector<NamedDependency> named;
    std::vector<Damage> damaged; // files that could not be read, or whose tables are damaged
    std::vector<ClosureMissingFunctions> missingFunctions; // in the order the modules were reached
    /// Copies of Windows' KnownDLLs in the application's or the search order's folders, which
    /// Windows never loads; by path.
    std::vector<std::string> ignored;

    /// Module names from the root down to the module.
    std::vector<std::string> ChainTo(std::size_t module) const;
    /// The chain shown for a named dependency, ending in its own name.
    std::vector<std::string> ChainOf(const NamedDependency &dependency) const;
    bool AnyMissing() const;
    /// How many imported functions the DLLs found do not provide.
    std::size_t MissingFunctionCount() const;
    /// Complete when all was found, every imported function included; Unreadable when a file could
    /// not be read or a table is damaged.
    PackagerOutcome Outcome() const;
};

/// Builds closures over one search order. The folder and facts caches may be shared by several
/// closures of one run, so that each folder is read and each file parsed once.
class ClosureBuilder {
public:
    ClosureBuilder(const SearchOrder &order, FolderCache &folders, PeFactsCache &facts)
        : m_search(order, folders, facts), m_facts(facts)
    {
    }

    ClosureResult Build(const std::string &rootPath);

private:
    struct Target {
        bool toModule = false;
        std::size_t index = 0;
    };
    struct Run;

    Target Resolve(Run &run, const std::string &name);
    void Expand(Run &run, std::size_t module);
    void CheckFunctions(Run &run);
    void Finish(Run &run);

    DllSearch m_search;
    PeFactsCache &m_facts;
    ExportTableCache m_exports; // each DLL's export table read once, for every closure of a run
};

} // namespace quorvane
