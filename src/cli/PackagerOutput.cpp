#include "cli/PackagerOutput.h"

#include "cli/Cli.h"
#include "cli/EntryPointOutput.h"
#include "cli/Report.h"
#include "core/packager/DllHints.h"
#include "core/text/AsciiCase.h"

#include <algorithm>
#include <map>
#include <ostream>

namespace quorvane {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxIndent = 32;
constexpr std::string_view kFoundInNames[] = {"application", "search", "system"};

std::string_view FoundInName(FoundIn where)
{
    return kFoundInNames[static_cast<int>(where)];
}

std::string Count(std::size_t count, const std::string &what)
{
    return std::to_string(count) + ' ' + what + (count == 1 ? "" : "s");
}

std::string JoinChain(const std::vector<std::string> &chain)
{
    std::string text;
    for (const std::string &link : chain) {
        text += (text.empty() ? "" : " -> ") + EscapeControls(link);
    }
    return text;
}

// The dependencies in one state, sorted by name without regard to letter case.
std::vector<const NamedDependency *> InState(const ClosureResult &closure, NamedState state)
{
    std::vector<const NamedDependency *> list;
    for (const NamedDependency &d : closure.named) {
        if (d.state == state) {
            list.push_back(&d);
        }
    }
    std::stable_sort(list.begin(), list.end(), [](const auto *a, const auto *b) {
        return ToAsciiLower(a->name) < ToAsciiLower(b->name);
    });
    return list;
}

std::vector<std::size_t> ResolvedModules(const ClosureResult &closure)
{
    std::vector<std::size_t> list;
    for (std::size_t m = 1; m < closure.modules.size(); ++m) {
        list.push_back(m);
    }
    std::stable_sort(list.begin(), list.end(), [&closure](std::size_t a, std::size_t b) {
        return ToAsciiLower(closure.modules[a].name) < ToAsciiLower(closure.modules[b].name);
    });
    return list;
}

std::string Marks(bool delayLoaded, bool system)
{
    std::string marks;
    if (delayLoaded) {
        marks += " [delay-loaded]";
    }
    if (system) {
        marks += " [system]";
    }
    return marks;
}

void WriteTree(std::ostream &out, const ClosureResult &closure)
{
    // Depth first, in table order; a module is expanded where it first appears, so the tree has
    // one line per import and a cycle ends at "(see above)". An explicit stack keeps a chain of
    // thousands of DLLs off the call stack.
    std::vector<bool> shown(closure.modules.size(), false);
    struct Step {
        std::size_t module;
        std::size_t next;
    };
    // How many functions each module's import of a DLL lacks, to mark the edge.
    std::map<std::pair<std::size_t, std::size_t>, std::size_t> lacking;
    for (const ClosureMissingFunctions &m : closure.missingFunctions) {
        lacking[{m.importer, m.dll}] += m.functions.missing.size();
    }
    out << EscapeControls(closure.rootPath) << '\n';
    shown[0] = true;
    std::vector<Step> stack{{0, 0}};
    while (!stack.empty()) {
        Step &step = stack.back();
        const ClosureModule &module = closure.modules[step.module];
        if (step.next >= module.imports.size()) {
            stack.pop_back();
            continue;
        }
        const ImportEdge &edge = module.imports[step.next++];
        // A chain hundreds deep would push its lines off the screen: past kMaxIndent levels the
        // depth is written out instead.
        const std::size_t depth = stack.size();
        out << std::string(2 * std::min(depth, kMaxIndent), ' ');
        if (depth > kMaxIndent) {
            out << '[' << depth << "] ";
        }
        out << EscapeControls(edge.name);
        if (edge.toModule) {
            const ClosureModule &target = closure.modules[edge.target];
            out << " => " << EscapeControls(target.path)
                << Marks(edge.delayLoaded, target.where == FoundIn::System);
            if (const auto l = lacking.find({step.module, edge.target}); l != lacking.end()) {
                out << " [" << MissingFunctionsCount(l->second) << ']';
            }
            if (shown[edge.target]) {
                out << (target.imports.empty() ? "\n" : " (see above)\n");
                continue;
            }
            shown[edge.target] = true;
            out << '\n';
            stack.push_back({edge.target, 0});
            continue;
        }
        const NamedDependency &d = closure.named[edge.target];
        out << Marks(edge.delayLoaded, false);
        switch (d.state) {
        case NamedState::ApiSet:
            out << " [API set]\n";
            break;
        case NamedState::SystemAssumed:
            out << " [system, not checked]\n";
            break;
        case NamedState::Missing:
            out << " MISSING (" << HintForDependency(d.name).category << ")\n";
            break;
        }
    }
}

json RejectionsJson(const std::vector<Rejection> &rejected)
{
    json list = json::array();
    for (const Rejection &r : rejected) {
        list.push_back({{"path", r.path}, {"reason", r.reason}});
    }
    return list;
}

json NamedJson(const ClosureResult &closure, const NamedDependency &d)
{
    json neededBy = json::array();
    for (const auto &need : d.neededBy) {
        neededBy.push_back(closure.modules[need.module].path);
    }
    const DllHint &hint = HintForDependency(d.name);
    json item = {{"name", d.name},
                 {"chain", closure.ChainOf(d)},
                 {"needed_by", std::move(neededBy)},
                 {"delay_loaded", d.delayLoaded},
                 {"category", hint.category},
                 {"hint", hint.text}};
    if (d.state == NamedState::Missing) {
        item["rejected"] = RejectionsJson(d.rejected);
        if (!d.reason.empty()) {
            item["reason"] = d.reason;
        }
    }
    return item;
}

json DamagedJson(const std::vector<Damage> &damaged)
{
    json list = json::array();
    for (const Damage &d : damaged) {
        list.push_back({{"path", d.path}, {"status", d.status}});
    }
    return list;
}

} // namespace

int ExitStatusOf(PackagerOutcome outcome)
{
    switch (outcome) {
    case PackagerOutcome::Complete:
        return kExitOk;
    case PackagerOutcome::Incomplete:
        return kExitMissing;
    case PackagerOutcome::Unreadable:
        break;
    }
    return kExitUnreadable;
}

json SearchOrderJson(const SearchOrder &order)
{
    json system = json::object();
    for (const auto &[bits, kind] :
         {std::pair{"32", PeKind::Pe32}, std::pair{"64", PeKind::Pe32Plus}}) {
        const std::string &folder = order.SystemFolder(kind);
        system[bits] = folder.empty() ? json(nullptr) : json(folder);
    }
    return {{"search", order.SearchPrefixes()}, {"system_dir", std::move(system)}};
}

void SearchOptions::AddTo(CLI::App &command)
{
    // One folder per --search, so that "--search DIR FILE" never takes FILE for a folder.
    command
        .add_option("--search", searchDirs,
                    "A folder to look for DLLs in, after the program's own folder (repeat it "
                    "for more; they are searched in the order given)")
        ->allow_extra_args(false);
    auto *system = command.add_option(
        "--system-dir", systemDir,
        "The system folder, searched last (default: $QUORVANE_SYSTEM_DIR, else the Wine "
        "prefix's)");
    auto *wine = command.add_option("--wine-prefix", winePrefix,
                                    "A Wine prefix: its system32 for 64-bit programs, syswow64 "
                                    "for 32-bit ones (default: $WINEPREFIX, else ~/.wine)");
    system->excludes(wine);
    command.add_flag("--demangle", demangle,
                     "Show the decorated C++ names of missing functions readably");
    command.add_flag("--json", json, "Print one JSON document");
}

std::optional<SearchOrder> SearchOptions::Order(std::ostream &err) const
{
    std::string problem;
    auto order = SearchOrder::Make(searchDirs, systemDir, winePrefix, problem);
    if (!order) {
        err << "quorvane-cli: " << EscapeControls(problem) << '\n';
    }
    return order;
}

void WritePlainMissing(std::ostream &out, const ClosureResult &closure)
{
    for (const NamedDependency *d : InState(closure, NamedState::Missing)) {
        out << "  " << EscapeControls(d->name) << ": " << JoinChain(closure.ChainOf(*d))
            << Marks(d->delayLoaded, false) << '\n';
        if (!d->reason.empty()) {
            out << "      " << d->reason << '\n';
        }
        for (const Rejection &r : d->rejected) {
            out << "      " << EscapeControls(r.reason) << '\n';
        }
        out << "      " << HintForDependency(d->name).text << '\n';
    }
}

void WritePlainDamaged(std::ostream &out, const std::vector<Damage> &damaged)
{
    if (damaged.empty()) {
        return;
    }
    out << "damaged (could not be read, or a table is damaged):\n";
    for (const Damage &d : damaged) {
        out << "  " << EscapeControls(d.path) << ": " << d.status << '\n';
    }
}

void WritePlainClosure(std::ostream &out, std::ostream &err, const ClosureResult &closure,
                       const ClosureView &view)
{
    if (!closure.ok) {
        err << EscapeControls(closure.rootPath) << ": " << closure.status << '\n';
        return;
    }
    const auto missing = InState(closure, NamedState::Missing);
    const auto apiSets = InState(closure, NamedState::ApiSet);
    const auto assumed = InState(closure, NamedState::SystemAssumed);
    const std::string functions = MissingFunctionsCount(closure.MissingFunctionCount());
    if (view.missingOnly) {
        if (!missing.empty() || !functions.empty()) {
            out << EscapeControls(closure.rootPath) << ": ";
            if (!missing.empty()) {
                out << missing.size() << " missing" << (functions.empty() ? "" : ", ");
            }
            out << functions << '\n';
            WritePlainMissing(out, closure);
            WritePlainMissingFunctions(out, closure, view.demangle);
        }
        WritePlainDamaged(out, closure.damaged);
        return;
    }
    if (view.tree) {
        WriteTree(out, closure);
        WritePlainMissingFunctions(out, closure, view.demangle);
        WritePlainDamaged(out, closure.damaged);
        return;
    }
    const ClosureModule &root = closure.modules.front();
    out << EscapeControls(closure.rootPath) << ": " << BitsOf(root.kind) << "-bit ("
        << MachineName(root.machine) << "); " << Count(closure.modules.size() - 1, "DLL")
        << " found, " << missing.size() << " missing, " << Count(apiSets.size(), "API-set contract")
        << (functions.empty() ? "" : ", ") << functions << '\n';
    if (!missing.empty()) {
        out << "missing:\n";
        WritePlainMissing(out, closure);
    }
    WritePlainMissingFunctions(out, closure, view.demangle);
    if (closure.modules.size() > 1) {
        out << "found:\n";
        for (const std::size_t m : ResolvedModules(closure)) {
            const ClosureModule &module = closure.modules[m];
            out << "  " << EscapeControls(module.name) << " => " << EscapeControls(module.path)
                << Marks(module.delayLoaded, module.where == FoundIn::System) << '\n';
        }
    }
    if (!apiSets.empty()) {
        out << "API-set contracts (Windows resolves them itself):\n";
        for (const NamedDependency *d : apiSets) {
            out << "  " << EscapeControls(d->name) << Marks(d->delayLoaded, false) << '\n';
        }
    }
    if (!assumed.empty()) {
        out << "Windows components, not checked (no system folder: give --system-dir or "
               "--wine-prefix):\n";
        for (const NamedDependency *d : assumed) {
            out << "  " << EscapeControls(d->name) << Marks(d->delayLoaded, false) << '\n';
        }
    }
    WritePlainIgnored(out, closure.ignored);
    WritePlainDamaged(out, closure.damaged);
}

json ClosureJson(const ClosureResult &closure, const SearchOrder &order, const ClosureView &view)
{
    json file = {{"path", closure.rootPath}, {"ok", closure.ok}, {"status", closure.status}};
    json missing = json::array(), resolved = json::array(), apiSets = json::array(),
         assumed = json::array();
    if (closure.ok) {
        const ClosureModule &root = closure.modules.front();
        file["machine"] = MachineName(root.machine);
        file["bits"] = BitsOf(root.kind);
        const std::string &system = order.SystemFolder(root.kind);
        file["system_dir"] = system.empty() ? json(nullptr) : json(system);
        for (const NamedDependency *d : InState(closure, NamedState::Missing)) {
            missing.push_back(NamedJson(closure, *d));
        }
        if (!view.missingOnly) {
            for (const std::size_t m : ResolvedModules(closure)) {
                const ClosureModule &module = closure.modules[m];
                json imports = json::array();
                for (const ImportEdge &edge : module.imports) {
                    imports.push_back({{"name", edge.name}, {"delay_loaded", edge.delayLoaded}});
                }
                resolved.push_back({{"name", module.name},
                                    {"path", module.path},
                                    {"found_in", FoundInName(module.where)},
                                    {"delay_loaded", module.delayLoaded},
                                    {"chain", closure.ChainTo(m)},
                                    {"imports", std::move(imports)}});
            }
            for (const NamedDependency *d : InState(closure, NamedState::ApiSet)) {
                apiSets.push_back(NamedJson(closure, *d));
            }
            for (const NamedDependency *d : InState(closure, NamedState::SystemAssumed)) {
                assumed.push_back(NamedJson(closure, *d));
            }
        }
    }
    file["missing"] = std::move(missing);
    file["resolved"] = std::move(resolved);
    file["api_sets"] = std::move(apiSets);
    file["system_assumed"] = std::move(assumed);
    file["missing_entry_points"] = MissingFunctionsJson(closure, view.demangle);
    file["ignored"] = closure.ignored;
    file["damaged"] = DamagedJson(closure.damaged);
    file["exit_status"] = ExitStatusOf(closure.Outcome());
    return file;
}

void WritePlainFolderReport(std::ostream &out, const std::string &folder,
                            const FolderReportResult &report, bool whoOnly, bool demangle)
{
    if (whoOnly) {
        for (const ReportNeed &need : report.who) {
            out << EscapeControls(need.file) << Marks(need.delayLoaded, false) << '\n';
        }
        WritePlainDamaged(out, report.damaged);
        return;
    }
    out << EscapeControls(folder) << ": " << Count(report.peFiles, "PE file") << " of "
        << Count(report.filesSeen, "file") << "; " << Count(report.missing.size(), "missing name")
        << ", " << report.damaged.size() << " damaged";
    if (const std::size_t count = [&report] {
            std::size_t n = 0;
            for (const ReportMissingFunctions &m : report.missingFunctions) {
                n += m.functions.missing.size();
            }
            return n;
        }()) {
        out << ", " << MissingFunctionsCount(count);
    }
    out << '\n';
    if (!report.missing.empty()) {
        out << "missing:\n";
    }
    for (const ReportMissing &m : report.missing) {
        out << "  " << EscapeControls(m.name) << Marks(m.delayLoaded, false) << '\n';
        for (const ReportNeed &need : m.neededBy) {
            out << "      needed by " << EscapeControls(need.file) << Marks(need.delayLoaded, false)
                << '\n';
        }
        if (!m.reason.empty()) {
            out << "      " << m.reason << '\n';
        }
        for (const Rejection &r : m.rejected) {
            out << "      " << EscapeControls(r.reason) << '\n';
        }
        out << "      " << HintForDependency(m.name).text << '\n';
    }
    if (!report.apiSets.empty()) {
        out << "API-set contracts (Windows resolves them itself):\n";
        for (const std::string &name : report.apiSets) {
            out << "  " << EscapeControls(name) << '\n';
        }
    }
    WritePlainMissingFunctions(out, report, demangle);
    WritePlainIgnored(out, report.ignored);
    WritePlainDamaged(out, report.damaged);
}

json FolderReportJson(const std::string &folder, const FolderReportResult &report,
                      const std::optional<std::string> &who, bool demangle)
{
    const auto needs = [](const std::vector<ReportNeed> &list) {
        json array = json::array();
        for (const ReportNeed &need : list) {
            array.push_back({{"file", need.file}, {"delay_loaded", need.delayLoaded}});
        }
        return array;
    };
    json missing = json::array();
    for (const ReportMissing &m : report.missing) {
        const DllHint &hint = HintForDependency(m.name);
        json item = {{"name", m.name},
                     {"needed_by", needs(m.neededBy)},
                     {"delay_loaded", m.delayLoaded},
                     {"category", hint.category},
                     {"hint", hint.text},
                     {"rejected", RejectionsJson(m.rejected)}};
        if (!m.reason.empty()) {
            item["reason"] = m.reason;
        }
        missing.push_back(std::move(item));
    }
    json doc = {{"command", "report"},
                {"folder", folder},
                {"ok", report.ok},
                {"status", report.status},
                {"files_seen", report.filesSeen},
                {"pe_files", report.peFiles},
                {"missing", std::move(missing)},
                {"api_sets", report.apiSets},
                {"missing_entry_points", MissingFunctionsJson(report, demangle)},
                {"ignored", report.ignored},
                {"damaged", DamagedJson(report.damaged)}};
    if (who) {
        doc["who"] = {{"name", *who}, {"files", needs(report.who)}};
    }
    return doc;
}

void WritePlainBundle(std::ostream &out, const ClosureResult &closure, const BundleResult &bundle,
                      bool demangle)
{
    static constexpr std::string_view kActions[] = {"copied",     "replaced", "already there",
                                                    "not copied", "failed",   "system"};
    for (const BundleItem &item : bundle.items) {
        if (item.action == BundleAction::SystemFile) {
            continue; // never shipped; --json lists them
        }
        out << kActions[static_cast<int>(item.action)] << ": " << EscapeControls(item.source)
            << " -> " << EscapeControls(item.target) << '\n';
        if (!item.detail.empty()) {
            out << "      " << EscapeControls(item.detail) << '\n';
        }
    }
    if (closure.AnyMissing()) {
        out << "still missing:\n";
        WritePlainMissing(out, closure);
    }
    WritePlainMissingFunctions(out, closure, demangle);
    WritePlainDamaged(out, closure.damaged);
}

json BundleJson(const ClosureResult &closure, const BundleResult &bundle, const std::string &folder,
                const SearchOrder &order, bool demangle)
{
    static constexpr std::string_view kActions[] = {"copied",   "replaced", "present",
                                                    "conflict", "failed",   "system"};
    json items = json::array();
    for (const BundleItem &item : bundle.items) {
        json entry = {{"name", item.name},
                      {"source", item.source},
                      {"target", item.target},
                      {"action", kActions[static_cast<int>(item.action)]}};
        if (!item.detail.empty()) {
            entry["detail"] = item.detail;
        }
        items.push_back(std::move(entry));
    }
    json doc = {{"command", "bundle"},
                {"to", folder},
                {"ok", bundle.ok},
                {"status", bundle.status},
                {"files", std::move(items)},
                {"search_order", SearchOrderJson(order)},
                {"closure", ClosureJson(closure, order, {false, false, demangle})},
                {"exit_status", ExitStatusOf(bundle.Outcome(closure))}};
    return doc;
}

void WriteJsonDocument(std::ostream &out, const json &doc)
{
    out << doc.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

} // namespace quorvane
