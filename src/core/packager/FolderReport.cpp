#include "core/packager/FolderReport.h"

#include "core/check/FilePresence.h"
#include "core/check/MissingCheck.h"
#include "core/packager/DllSearch.h"
#include "core/packager/PeFacts.h"
#include "core/platform/FileSystem.h"
#include "core/platform/FolderListing.h"
#include "core/platform/PathRules.h"
#include "core/text/AsciiCase.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <unordered_map>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// Regular files only, links never followed: a link loop or a link out of the folder cannot lead
// the walk anywhere else.
std::vector<std::string> FilesUnder(const std::string &folder, std::string &problem)
{
    std::vector<std::string> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(FsPath(folder),
                                        fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        problem = ec.message();
        return files;
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            break; // a folder that vanished while it was read: report what was seen
        }
        std::error_code kindError;
        if (it->is_symlink(kindError)) {
            continue;
        }
        if (it->is_regular_file(kindError)) {
            files.push_back(PathText(it->path()));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Reading the files is the work: spread it over the cores, each file on its own slot.
std::vector<PeFacts> ReadAllFacts(const std::vector<std::string> &files, unsigned threads)
{
    std::vector<PeFacts> facts(files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++) {
            facts[i] = ReadPeFacts(files[i], true);
        }
    };
    const unsigned count =
        static_cast<unsigned>(std::clamp<std::size_t>(files.size(), 1, std::max(1u, threads)));
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < count; ++t) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread &worker : workers) {
        worker.join();
    }
    return facts;
}

// One name a file needs: the first spelling of each name (letter case ignored), imports first.
struct NeededName {
    const std::string *name;
    std::string folded;
    bool delayLoaded;
};

std::vector<NeededName> NeededNames(const PeFacts &facts)
{
    std::vector<NeededName> names;
    for (const auto *list : {&facts.imports, &facts.delayImports}) {
        for (const std::string &name : *list) {
            std::string folded = ToAsciiLower(name);
            if (std::none_of(names.begin(), names.end(),
                             [&folded](const NeededName &n) { return n.folded == folded; })) {
                names.push_back({&name, std::move(folded), list == &facts.delayImports});
            }
        }
    }
    return names;
}

// Gathers the names the files need into the report's lists, looking each up once per name, folder
// and machine.
class NeedsCollector {
public:
    NeedsCollector(const std::string &folder, const SearchOrder &order,
                   const std::optional<std::string> &who)
        : m_search(order, m_folders, m_cache), m_rootPrefix(FolderPrefix(folder)), m_who(who),
          m_whoFolded(who ? ToAsciiLower(*who) : std::string())
    {
    }

    /// A file of the folder that a lookup may find: its headers and its exports are known already.
    void Know(const std::string &file, PeFacts &facts)
    {
        m_exports.Put(file, std::move(facts.exports));
        PeFacts header = facts;
        header.imports.clear();
        header.delayImports.clear();
        header.functions.clear();
        m_cache.Put(file, std::move(header));
    }

    void Add(const std::string &file, const PeFacts &facts, FolderReportResult &report);
    void Finish(FolderReportResult &report);

private:
    const DllSearchResult &Find(const std::string &file, const PeFacts &importer,
                                const NeededName &need);
    void AddMissing(const std::string &file, const NeededName &need, const DllSearchResult &found);

    PeFactsCache m_cache;
    FolderCache m_folders;
    DllSearch m_search;
    ExportTableCache m_exports;
    std::string m_rootPrefix;
    const std::optional<std::string> &m_who;
    std::string m_whoFolded;
    std::unordered_map<std::string, DllSearchResult> m_found; // by name, folder and machine
    std::map<std::string, ReportMissing> m_missing;           // by folded name
    std::map<std::string, std::string> m_apiSets;
    std::set<std::string> m_ignored;
    std::vector<Damage> m_damagedExports;
};

const DllSearchResult &NeedsCollector::Find(const std::string &file, const PeFacts &importer,
                                            const NeededName &need)
{
    const std::string ownPrefix = ApplicationPrefix(file);
    std::string key = need.folded + '\0' + ownPrefix + '\0' + std::to_string(importer.machine);
    if (const auto known = m_found.find(key); known != m_found.end()) {
        return known->second;
    }
    // A file's own folder first, then the folder under report, where a plugin in a subfolder
    // finds the program's DLLs.
    std::vector<std::string> applicationPrefixes{ownPrefix};
    if (m_rootPrefix != ownPrefix) {
        applicationPrefixes.push_back(m_rootPrefix);
    }
    DllSearchResult found = m_search.Find(*need.name, applicationPrefixes, importer, false);
    return m_found.emplace(std::move(key), std::move(found)).first->second;
}

void NeedsCollector::Add(const std::string &file, const PeFacts &facts, FolderReportResult &report)
{
    const std::vector<NeededName> needs = NeededNames(facts);
    std::vector<std::pair<std::string_view, const std::string *>> foundPaths; // by folded name
    for (const NeededName &need : needs) {
        if (m_who && need.folded == m_whoFolded) {
            report.who.push_back({file, need.delayLoaded});
        }
        const DllSearchResult &found = Find(file, facts, need);
        m_ignored.insert(found.ignored.begin(), found.ignored.end());
        if (found.outcome == DllSearchOutcome::Found) {
            foundPaths.emplace_back(need.folded, &found.path);
        }
        switch (found.outcome) {
        case DllSearchOutcome::ApiSet:
            m_apiSets.emplace(need.folded, *need.name);
            break;
        case DllSearchOutcome::Missing:
        case DllSearchOutcome::NotPlainName:
            AddMissing(file, need, found);
            break;
        case DllSearchOutcome::Found:
        case DllSearchOutcome::SystemAssumed:
            break;
        }
    }
    // Then the functions taken from each DLL found; a forwarder's DLL is looked for as the file's
    // own imports are.
    const FoundDllLookup foundFor = [&foundPaths](const std::string &name) -> const std::string * {
        const std::string folded = ToAsciiLower(name);
        for (const auto &[need, path] : foundPaths) {
            if (need == folded) {
                return path;
            }
        }
        return nullptr;
    };
    const ForwarderDllLookup lookup = [&](const std::string &name) {
        const DllSearchResult &found = Find(file, facts, {&name, ToAsciiLower(name), false});
        return found.outcome == DllSearchOutcome::Found ? std::optional(found.path) : std::nullopt;
    };
    std::vector<DamagedExports> damaged;
    for (MissingFunctions &m :
         CheckImportedFunctions(facts.functions, foundFor, m_exports, lookup, damaged)) {
        report.missingFunctions.push_back({file, std::move(m)});
    }
    for (DamagedExports &d : damaged) {
        m_damagedExports.push_back({std::move(d.path), std::move(d.status)});
    }
}

void NeedsCollector::AddMissing(const std::string &file, const NeededName &need,
                                const DllSearchResult &found)
{
    auto [slot, added] = m_missing.try_emplace(need.folded);
    ReportMissing &m = slot->second;
    if (added) {
        m.name = *need.name;
        m.delayLoaded = true;
        if (found.outcome == DllSearchOutcome::NotPlainName) {
            m.reason = kNotPlainNameReason;
        }
    }
    m.neededBy.push_back({file, need.delayLoaded});
    m.delayLoaded = m.delayLoaded && need.delayLoaded;
    for (const Rejection &r : found.rejected) {
        if (std::none_of(m.rejected.begin(), m.rejected.end(),
                         [&r](const Rejection &have) { return have.path == r.path; })) {
            m.rejected.push_back(r);
        }
    }
}

void NeedsCollector::Finish(FolderReportResult &report)
{
    for (auto &[folded, m] : m_missing) {
        report.missing.push_back(std::move(m));
    }
    for (auto &[folded, name] : m_apiSets) {
        report.apiSets.push_back(std::move(name));
    }
    report.ignored.assign(m_ignored.begin(), m_ignored.end());
    // DLLs outside the folder whose export tables are damaged join the folder's damaged files.
    for (Damage &d : m_damagedExports) {
        if (std::none_of(report.damaged.begin(), report.damaged.end(),
                         [&d](const Damage &have) { return have.path == d.path; })) {
            report.damaged.push_back(std::move(d));
        }
    }
    std::sort(report.damaged.begin(), report.damaged.end(),
              [](const Damage &a, const Damage &b) { return a.path < b.path; });
}

} // namespace

unsigned DefaultThreadCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

PackagerOutcome FolderReportResult::Outcome() const
{
    if (!ok || !damaged.empty()) {
        return PackagerOutcome::Unreadable;
    }
    return missing.empty() && missingFunctions.empty() ? PackagerOutcome::Complete
                                                       : PackagerOutcome::Incomplete;
}

FolderReportResult BuildFolderReport(const std::string &folder, const SearchOrder &order,
                                     const std::optional<std::string> &who, unsigned threads)
{
    FolderReportResult report;
    if (!IsFolder(folder)) {
        report.status = "not a folder";
        return report;
    }
    std::string problem;
    const std::vector<std::string> files = FilesUnder(folder, problem);
    if (!problem.empty()) {
        report.status = problem;
        return report;
    }
    report.ok = true;
    report.status = "OK.";
    report.filesSeen = files.size();

    std::vector<PeFacts> facts = ReadAllFacts(files, threads);
    NeedsCollector needs(folder, order, who);
    // Candidates that lie in the folder were read already.
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (facts[i].Readable()) {
            needs.Know(files[i], facts[i]);
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!facts[i].startsWithMz) {
            continue; // not an executable: a README, a picture, a data file
        }
        ++report.peFiles;
        if (!facts[i].Problem().empty()) {
            report.damaged.push_back({files[i], std::string(facts[i].Problem())});
        }
        if (facts[i].Readable()) {
            needs.Add(files[i], facts[i], report);
        }
    }
    needs.Finish(report);
    return report;
}

} // namespace quorvane
