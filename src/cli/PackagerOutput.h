#pragma once

// What quorvane-cli tree, report and bundle print: plain text for a person, and one JSON document
// for a script. One file each (ClosureOutput.cpp, FolderReportOutput.cpp, BundleOutput.cpp), and
// what the three share in PackagerOutput.cpp.
#include "core/packager/Bundle.h"
#include "core/packager/DependencyClosure.h"
#include "core/packager/FolderReport.h"
#include "core/packager/PackagerOutcome.h"
#include "core/packager/SearchOrder.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

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

void WritePlainFolderReport(std::ostream &out, const std::string &folder,
                            const FolderReportResult &report, bool whoOnly, bool demangle);
nlohmann::json FolderReportJson(const std::string &folder, const FolderReportResult &report,
                                const std::optional<std::string> &who, bool demangle);

void WritePlainBundle(std::ostream &out, const ClosureResult &closure, const BundleResult &bundle,
                      bool demangle);
nlohmann::json BundleJson(const ClosureResult &closure, const BundleResult &bundle,
                          const std::string &folder, const SearchOrder &order, bool demangle);

// What the three share.

/// quorvane-cli's exit status for an outcome: 0, 1 or 2.
int ExitStatusOf(PackagerOutcome outcome);

/// "3 DLLs", "1 DLL".
std::string Count(std::size_t count, const std::string &what);
/// " [delay-loaded]", " [system]", both or nothing.
std::string Marks(bool delayLoaded, bool system);

/// The lines under a missing name: why it was not looked for, each file of that name that would
/// not do, and the hint for the name.
void WriteMissingDetails(std::ostream &out, const std::string &name, const std::string &reason,
                         const std::vector<Rejection> &rejected);
/// Files that could not be read or whose tables are damaged.
void WritePlainDamaged(std::ostream &out, const std::vector<Damage> &damaged);

/// A dependency that is no file found: its name, who needs it, and its category and hint.
nlohmann::json DependencyJson(const std::string &name, nlohmann::json neededBy, bool delayLoaded);
/// What a missing name adds to that: the files that would not do, and why it was not looked for.
void AddMissingJson(nlohmann::json &item, const std::vector<Rejection> &rejected,
                    const std::string &reason);
nlohmann::json DamagedJson(const std::vector<Damage> &damaged);
/// The search order: {"search": [folders], "system_dir": {"32": ..., "64": ...}}.
nlohmann::json SearchOrderJson(const SearchOrder &order);
/// One JSON document, always valid UTF-8.
void WriteJsonDocument(std::ostream &out, const nlohmann::json &doc);

} // namespace quorvane
