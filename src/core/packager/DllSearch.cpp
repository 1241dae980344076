#include "core/packager/DllSearch.h"

#include "core/packager/DllHints.h"
#include "core/packager/KnownDlls.h"
#include "core/platform/FileSystem.h"
#include "core/platform/PathRules.h"

#include <filesystem>

namespace quorvane {
namespace {

// Whether two folder prefixes name one folder, however they are spelt ("C:/app/", "c:\APP\").
bool SameFolder(const std::string &a, const std::string &b)
{
    if (a == b) {
        return true;
    }
    // Without the trailing separator: Windows' C runtime finds no folder "C:\app\".
    std::error_code ignored;
    return !b.empty() && std::filesystem::equivalent(FsPath(WithoutTrailingSeparators(a)),
                                                     FsPath(WithoutTrailingSeparators(b)), ignored);
}

} // namespace

DllSearchResult DllSearch::Find(const std::string &name,
                                const std::vector<std::string> &applicationPrefixes,
                                const PeFacts &importer, bool readTables)
{
    DllSearchResult result;
    // A name from a file is data: one that holds a folder part never leads into a folder.
    if (!IsPlainFileName(name)) {
        result.outcome = DllSearchOutcome::NotPlainName;
        return result;
    }
    if (IsApiSetName(name)) {
        result.outcome = DllSearchOutcome::ApiSet;
        return result;
    }
    struct Place {
        std::string prefix;
        FoundIn where;
    };
    std::vector<Place> places;
    for (const std::string &prefix : applicationPrefixes) {
        places.push_back({prefix, FoundIn::Application});
    }
    for (const std::string &prefix : m_order.SearchPrefixes()) {
        places.push_back({prefix, FoundIn::Search});
    }
    const std::string &system = m_order.SystemFolder(importer.kind);
    const std::string systemPrefix = system.empty() ? std::string() : FolderPrefix(system);
    if (!systemPrefix.empty()) {
        places.push_back({systemPrefix, FoundIn::System});
    }
    const bool known = IsKnownDll(name);
    for (const Place &place : places) {
        const auto entry = m_folders.FindEntry(place.prefix, name);
        if (!entry) {
            continue;
        }
        std::string path = place.prefix + *entry;
        if (known && place.where != FoundIn::System) {
            // Windows loads the system folder's copy, which this is when the program lies there.
            if (!SameFolder(place.prefix, systemPrefix)) {
                result.ignored.push_back(std::move(path));
            }
            continue;
        }
        const PeFacts &facts = m_facts.Get(path, readTables && place.where != FoundIn::System);
        if (!facts.Readable()) {
            result.rejected.push_back(
                {path, "found " + path + ", but it is not a readable PE file", true});
        } else if (facts.machine != importer.machine) {
            result.rejected.push_back(
                {path, "found " + path + ", but " + MachineMismatch(facts, importer), false});
        } else {
            result.outcome = DllSearchOutcome::Found;
            result.path = std::move(path);
            result.where = place.where;
            result.facts = &facts;
            return result;
        }
    }
    // Without a system folder, Windows' own components cannot be checked; they are on every
    // Windows, so they count as present rather than drown the real answer.
    const bool assumed = result.rejected.empty() && !m_order.HasSystemFolder() &&
                         HintFor(name).category == kHintSystem;
    result.outcome = assumed ? DllSearchOutcome::SystemAssumed : DllSearchOutcome::Missing;
    return result;
}

} // namespace quorvane
