// quorvane-cli tree: a closure as a list (missing names first), as a tree, or as JSON.
#include "cli/EntryPointOutput.h"
#include "cli/PackagerOutput.h"
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

json NamedJson(const ClosureResult &closure, const NamedDependency &d)
{
    json neededBy = json::array();
    for (const auto &need : d.neededBy) {
        neededBy.push_back(closure.modules[need.module].path);
    }
    json item = DependencyJson(d.name, std::move(neededBy), d.delayLoaded);
    item["chain"] = closure.ChainOf(d);
    if (d.state == NamedState::Missing) {
        AddMissingJson(item, d.rejected, d.reason);
    }
    return item;
}

} // namespace

void WritePlainMissing(std::ostream &out, const ClosureResult &closure)
{
    for (const NamedDependency *d : InState(closure, NamedState::Missing)) {
        out << "  " << EscapeControls(d->name) << ": " << JoinChain(closure.ChainOf(*d))
            << Marks(d->delayLoaded, false) << '\n';
        WriteMissingDetails(out, d->name, d->reason, d->rejected);
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

} // namespace quorvane
