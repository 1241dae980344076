#pragma once

#include "core/packager/Bundle.h"
#include "core/packager/DependencyClosure.h"
#include "core/packager/FolderReport.h"
#include "core/packager/SearchOrder.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

/// The options tree, report and bundle share: where DLLs are looked for.
struct SearchOptions {
    std::vector<std::string> searchDirs;
    std::optional<std::string> systemDir;
    std::optional<std::string> winePrefix;
    bool json = false;
    bool demangle = false;

    void AddTo(CLI::App &command);
    /// The search order, or nullopt with a one-line message on err.
    std::optional<SearchOrder> Order(std::ostream &err) const;
};

/// How a closure is printed.
struct ClosureView {
    bool missingOnly = false;
    bool tree = false;
    bool demangle = false; // decorated C++ names of missing functions shown readably
};

void WritePlainClosure(std::ostream &out, std::ostream &err, const ClosureResult &closure,
                       const ClosureView &view);
nlohmann::json ClosureJson(const ClosureResult &closure, const SearchOrder &order,
                           const ClosureView &view);
/// The missing names of a closure, each with its chain, why no file would do, and its hint.
void WritePlainMissing(std::ostream &out, const ClosureResult &closure);
/// Files that could not be read or whose tables are damaged.
void WritePlainDamaged(std::ostream &out, const std::vector<Damage> &damaged);

void WritePlainFolderReport(std::ostream &out, const std::string &folder,
                            const FolderReportResult &report, bool whoOnly, bool demangle);
nlohmann::json FolderReportJson(const std::string &folder, const FolderReportResult &report,
                                const std::optional<std::string> &who, bool demangle);

void WritePlainBundle(std::ostream &out, const ClosureResult &closure, const BundleResult &bundle,
                      bool demangle);
nlohmann::json BundleJson(const ClosureResult &closure, const BundleResult &bundle,
                          const std::string &folder, const SearchOrder &order, bool demangle);

/// quorvane-cli's exit status for an outcome: 0, 1 or 2.
int ExitStatusOf(PackagerOutcome outcome);

/// The search order: {"search": [folders], "system_dir": {"32": ..., "64": ...}}.
nlohmann::json SearchOrderJson(const SearchOrder &order);
/// One JSON document, always valid UTF-8.
void WriteJsonDocument(std::ostream &out, const nlohmann::json &doc);

} // namespace quorvane
