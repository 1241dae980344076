#include "core/packager/FolderReport.h"

#include "core/check/FilePresence.h"
#include "core/check/MissingCheck.h"
#include "core/packager/DllHints.h"
#include "core/packager/PeFacts.h"
#include "core/platform/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
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

// What one name came to for files of one machine in one folder.
struct Outcome {
    bool found = false;
    bool apiSet = false;
    std::vector<Rejection> rejected;
    std::string reason;
};

} // namespace

unsigned DefaultThreadCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

int FolderReportResult::ExitStatus() const
{
    if (!ok || !damaged.empty()) {
        return 2;
    }
    return missing.empty() ? 0 : 1;
}

FolderReportResult BuildFolderReport(const std::string &folder, const SearchOrder &order,
                                     const std::optional<std::string> &who, unsigned threads)
{
    FolderReportResult report;
    std::error_code ec;
    if (!fs::is_directory(FsPath(folder), ec)) {
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

    // Reading the files is the work: spread it over the cores, each file on its own slot.
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

    // Candidates that lie in the folder were read already.
    PeFactsCache cache;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (facts[i].readable) {
            PeFacts header = facts[i];
            header.imports.clear();
            header.delayImports.clear();
            cache.Put(files[i], std::move(header));
        }
    }
    FolderCache folders;
    const std::string rootPrefix = FolderPrefix(folder);
    const std::string whoFolded = who ? FoldedName(*who) : std::string();
    std::unordered_map<std::string, Outcome> outcomes; // by name, folder and machine
    std::map<std::string, ReportMissing> missing;      // by folded name
    std::map<std::string, std::string> apiSets;

    const auto resolve = [&](const std::string &file, const PeFacts &importer,
                             const std::string &name) -> const Outcome & {
        const std::string ownPrefix = ApplicationPrefix(file);
        std::string key =
            FoldedName(name) + '\0' + ownPrefix + '\0' + std::to_string(importer.machine);
        if (const auto known = outcomes.find(key); known != outcomes.end()) {
            return known->second;
        }
        Outcome outcome;
        if (!IsPlainFileName(name)) {
            outcome.reason = "not a plain file name: never looked for";
        } else if (IsApiSetName(name)) {
            outcome.apiSet = true;
        } else {
            std::vector<std::string> prefixes{ownPrefix};
            if (rootPrefix != ownPrefix) {
                prefixes.push_back(rootPrefix);
            }
            prefixes.insert(prefixes.end(), order.SearchPrefixes().begin(),
                            order.SearchPrefixes().end());
            if (const std::string &system = order.SystemFolder(importer.kind); !system.empty()) {
                prefixes.push_back(FolderPrefix(system));
            }
            for (const std::string &prefix : prefixes) {
                const auto entry = folders.FindEntry(prefix, name);
                if (!entry) {
                    continue;
                }
                const std::string path = prefix + *entry;
                const PeFacts &candidate = cache.Get(path, false);
                if (!candidate.readable) {
                    outcome.rejected.push_back(
                        {path, "found " + path + ", but it is not a readable PE file"});
                } else if (candidate.machine != importer.machine) {
                    outcome.rejected.push_back(
                        {path, "found " + path + ", but " + MachineMismatch(candidate, importer)});
                } else {
                    outcome.found = true;
                    break;
                }
            }
            outcome.found =
                outcome.found || (!order.HasSystemFolder() && outcome.rejected.empty() &&
                                  HintFor(name).category == kHintSystem);
        }
        return outcomes.emplace(std::move(key), std::move(outcome)).first->second;
    };

    for (std::size_t i = 0; i < files.size(); ++i) {
        const PeFacts &f = facts[i];
        if (!f.startsWithMz) {
            continue; // not an executable: a README, a picture, a data file
        }
        ++report.peFiles;
        if (!f.problem.empty()) {
            report.damaged.push_back({files[i], f.problem});
        }
        if (!f.readable) {
            continue;
        }
        std::vector<std::pair<const std::string *, bool>> names;
        std::vector<std::string> seen;
        for (const auto *list : {&f.imports, &f.delayImports}) {
            for (const std::string &name : *list) {
                std::string folded = FoldedName(name);
                if (std::find(seen.begin(), seen.end(), folded) != seen.end()) {
                    continue;
                }
                seen.push_back(std::move(folded));
                names.emplace_back(&name, list == &f.delayImports);
            }
        }
        for (std::size_t n = 0; n < names.size(); ++n) {
            const std::string &name = *names[n].first;
            const bool delayLoaded = names[n].second;
            if (who && seen[n] == whoFolded) {
                report.who.push_back({files[i], delayLoaded});
            }
            const Outcome &outcome = resolve(files[i], f, name);
            if (outcome.apiSet) {
                apiSets.emplace(seen[n], name);
                continue;
            }
            if (outcome.found) {
                continue;
            }
            auto [slot, added] = missing.try_emplace(seen[n]);
            ReportMissing &m = slot->second;
            if (added) {
                m.name = name;
                m.delayLoaded = true;
                m.reason = outcome.reason;
            }
            m.neededBy.push_back({files[i], delayLoaded});
            m.delayLoaded = m.delayLoaded && delayLoaded;
            for (const Rejection &r : outcome.rejected) {
                if (std::none_of(m.rejected.begin(), m.rejected.end(),
                                 [&r](const Rejection &have) { return have.path == r.path; })) {
                    m.rejected.push_back(r);
                }
            }
        }
    }
    for (auto &[folded, m] : missing) {
        report.missing.push_back(std::move(m));
    }
    for (auto &[folded, name] : apiSets) {
        report.apiSets.push_back(std::move(name));
    }
    return report;
}

} // namespace quorvane
