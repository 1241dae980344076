#include "core/packager/DependencyClosure.h"

#include "core/check/MissingCheck.h"
#include "core/packager/DllHints.h"
#include "core/platform/PathRules.h"
#include "core/text/AsciiCase.h"

#include <algorithm>
#include <deque>
#include <tuple>
#include <unordered_set>

namespace quorvane {

struct ClosureBuilder::Run {
    ClosureResult result;
    std::string appPrefix;
    PeFacts rootFacts; // the root's machine and kind, which every DLL of the closure must share
    std::unordered_map<std::string, Target> byName; // folded name: what it resolved to
    std::unordered_map<std::string, std::size_t> byPath;
    std::unordered_set<std::string> damagedPaths;
    std::unordered_set<std::string> ignoredPaths;

    void AddDamage(const std::string &path, const std::string &status)
    {
        if (damagedPaths.insert(path).second) {
            result.damaged.push_back({path, status});
        }
    }
};

ClosureBuilder::Target ClosureBuilder::Resolve(Run &run, const std::string &name)
{
    std::string folded = ToAsciiLower(name);
    if (const auto known = run.byName.find(folded); known != run.byName.end()) {
        return known->second;
    }
    DllSearchResult found = m_search.Find(name, {run.appPrefix}, run.rootFacts, true);
    for (std::string &path : found.ignored) {
        if (run.ignoredPaths.insert(path).second) {
            run.result.ignored.push_back(std::move(path));
        }
    }
    for (const Rejection &rejection : found.rejected) {
        if (rejection.notPeFile) {
            run.AddDamage(rejection.path,
                          std::string(m_facts.Get(rejection.path, false).Problem()));
        }
    }
    auto &modules = run.result.modules;
    Target target;
    if (found.outcome == DllSearchOutcome::Found) {
        if (const auto same = run.byPath.find(found.path); same != run.byPath.end()) {
            target = {true, same->second};
        } else {
            ClosureModule module;
            module.name = name;
            module.path = found.path;
            module.where = found.where;
            module.machine = found.facts->machine;
            module.kind = found.facts->kind;
            modules.push_back(std::move(module));
            run.byPath.emplace(std::move(found.path), modules.size() - 1);
            target = {true, modules.size() - 1};
        }
    } else {
        NamedDependency d;
        d.name = name;
        switch (found.outcome) {
        case DllSearchOutcome::ApiSet:
            d.state = NamedState::ApiSet;
            break;
        case DllSearchOutcome::SystemAssumed:
            d.state = NamedState::SystemAssumed;
            break;
        case DllSearchOutcome::NotPlainName:
            d.reason = kNotPlainNameReason;
            break;
        default:
            break;
        }
        d.rejected = std::move(found.rejected);
        run.result.named.push_back(std::move(d));
        target = {false, run.result.named.size() - 1};
    }
    run.byName.emplace(std::move(folded), target);
    return target;
}

void ClosureBuilder::Expand(Run &run, std::size_t module)
{
    if (run.result.modules[module].followed) {
        return;
    }
    run.result.modules[module].followed = true;
    if (run.result.modules[module].where == FoundIn::System) {
        // The system's own files are the system's business: listed, never followed.
        run.result.modules[module].followed = false;
        return;
    }
    const std::string path = run.result.modules[module].path;
    const PeFacts &facts = m_facts.Get(path, true);
    m_exports.Put(path, facts.exports);
    std::string problem(facts.Problem());
    // Both lists, each name once: a name imported both ways is needed at start.
    std::vector<std::pair<std::string, bool>> names;
    std::unordered_set<std::string> seen;
    for (const std::string &name : facts.imports) {
        if (seen.insert(ToAsciiLower(name)).second) {
            names.emplace_back(name, false);
        }
    }
    for (const std::string &name : facts.delayImports) {
        if (seen.insert(ToAsciiLower(name)).second) {
            names.emplace_back(name, true);
        }
    }
    if (!problem.empty()) {
        run.AddDamage(path, problem);
    }
    // Resolving adds modules, so the module is only touched again once all are resolved.
    std::vector<ImportEdge> edges;
    edges.reserve(names.size());
    for (auto &[name, delayLoaded] : names) {
        const Target target = Resolve(run, name);
        if (!target.toModule) {
            run.result.named[target.index].neededBy.push_back({module, delayLoaded});
        }
        edges.push_back({std::move(name), delayLoaded, target.toModule, target.index});
    }
    ClosureModule &m = run.result.modules[module];
    m.imports = std::move(edges);
    m.problem = std::move(problem);
}

void ClosureBuilder::CheckFunctions(Run &run)
{
    auto &modules = run.result.modules;
    // A forwarder's DLL is looked for as the program's own imports are; it joins no closure list.
    const ForwarderDllLookup lookup = [this, &run](const std::string &name) {
        DllSearchResult found = m_search.Find(name, {run.appPrefix}, run.rootFacts, false);
        return found.outcome == DllSearchOutcome::Found ? std::optional(std::move(found.path))
                                                        : std::nullopt;
    };
    const FoundDllLookup foundFor = [&run, &modules](const std::string &name) {
        const auto target = run.byName.find(ToAsciiLower(name));
        return target != run.byName.end() && target->second.toModule
                   ? &modules[target->second.index].path
                   : nullptr;
    };
    for (std::size_t m = 0; m < modules.size(); ++m) {
        if (!modules[m].followed) {
            continue; // the system folder's own files are not checked, as they are not followed
        }
        std::vector<DamagedExports> damaged;
        auto missing = CheckImportedFunctions(m_facts.Get(modules[m].path, true).functions,
                                              foundFor, m_exports, lookup, damaged);
        for (MissingFunctions &functions : missing) {
            ClosureMissingFunctions c;
            c.importer = m;
            c.dll = run.byPath.at(functions.dllPath);
            c.delayLoaded = functions.delayLoaded || modules[m].delayLoaded;
            c.functions = std::move(functions);
            run.result.missingFunctions.push_back(std::move(c));
        }
        for (const DamagedExports &d : damaged) {
            run.AddDamage(d.path, d.status);
        }
    }
}

void ClosureBuilder::Finish(Run &run)
{
    std::sort(run.result.damaged.begin(), run.result.damaged.end(),
              [](const Damage &a, const Damage &b) { return a.path < b.path; });
    const auto &modules = run.result.modules;
    for (NamedDependency &d : run.result.named) {
        // Needed at start when a module loaded at start imports it directly.
        const auto startKey = [&modules](const NamedDependency::Need &n) {
            const bool atStart = !n.delayLoaded && !modules[n.module].delayLoaded;
            return std::make_tuple(!atStart, modules[n.module].depth, n.module);
        };
        d.delayLoaded = std::none_of(d.neededBy.begin(), d.neededBy.end(),
                                     [&](const auto &n) { return !std::get<0>(startKey(n)); });
        const auto best = std::min_element(
            d.neededBy.begin(), d.neededBy.end(),
            [&](const auto &a, const auto &b) { return startKey(a) < startKey(b); });
        d.shownNeed = static_cast<std::size_t>(best - d.neededBy.begin());
    }
}

ClosureResult ClosureBuilder::Build(const std::string &rootPath)
{
    Run run;
    run.result.rootPath = rootPath;
    const PeFacts &rootFacts = m_facts.Get(rootPath, true);
    if (!rootFacts.Readable()) {
        run.result.status = rootFacts.Problem();
        return std::move(run.result);
    }
    run.result.ok = true;
    run.result.status = "OK.";
    run.appPrefix = ApplicationPrefix(rootPath);
    run.rootFacts.machine = rootFacts.machine;
    run.rootFacts.kind = rootFacts.kind;
    ClosureModule root;
    root.name = FileNameOf(rootPath);
    root.path = rootPath;
    root.machine = rootFacts.machine;
    root.kind = rootFacts.kind;
    root.reached = true;
    run.result.modules.push_back(std::move(root));
    run.byPath.emplace(rootPath, 0);

    // First what loads at start (imports only), then what loads later: every module reached only
    // through a delay-loaded import is marked so, with its shortest such chain.
    std::vector<std::size_t> order;
    std::deque<std::size_t> queue{0};
    for (int phase = 0; phase < 2; ++phase) {
        const bool delayed = phase == 1;
        if (delayed) {
            queue.assign(order.begin(), order.end());
        }
        while (!queue.empty()) {
            const std::size_t m = queue.front();
            queue.pop_front();
            if (!delayed) {
                order.push_back(m);
            }
            Expand(run, m);
            auto &modules = run.result.modules;
            for (const ImportEdge &edge : modules[m].imports) {
                if (!edge.toModule || modules[edge.target].reached ||
                    (edge.delayLoaded && !delayed)) {
                    continue;
                }
                ClosureModule &next = modules[edge.target];
                next.reached = true;
                next.parent = m;
                next.depth = modules[m].depth + 1;
                next.delayLoaded = delayed;
                queue.push_back(edge.target);
            }
        }
    }
    CheckFunctions(run);
    Finish(run);
    return std::move(run.result);
}

std::vector<std::string> ClosureResult::ChainTo(std::size_t module) const
{
    std::vector<std::string> chain;
    for (std::size_t m = module; m != kNoModule; m = modules[m].parent) {
        chain.push_back(modules[m].name);
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

std::vector<std::string> ClosureResult::ChainOf(const NamedDependency &dependency) const
{
    std::vector<std::string> chain;
    if (!dependency.neededBy.empty()) {
        chain = ChainTo(dependency.neededBy[dependency.shownNeed].module);
    }
    chain.push_back(dependency.name);
    return chain;
}

bool ClosureResult::AnyMissing() const
{
    return std::any_of(named.begin(), named.end(),
                       [](const NamedDependency &d) { return d.state == NamedState::Missing; });
}

std::size_t ClosureResult::MissingFunctionCount() const
{
    std::size_t count = 0;
    for (const ClosureMissingFunctions &m : missingFunctions) {
        count += m.functions.missing.size();
    }
    return count;
}

PackagerOutcome ClosureResult::Outcome() const
{
    if (!ok || !damaged.empty()) {
        return PackagerOutcome::Unreadable;
    }
    return AnyMissing() || !missingFunctions.empty() ? PackagerOutcome::Incomplete
                                                     : PackagerOutcome::Complete;
}

} // namespace quorvane
