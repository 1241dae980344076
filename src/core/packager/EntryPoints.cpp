#include "core/packager/EntryPoints.h"

#include "core/packager/DllHints.h"
#include "core/pe/modPETables.h"
#include "core/text/AsciiCase.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <utility>

namespace quorvane {
namespace {

// A chain of forwarders this long is no chain a linker wrote: it is followed no further and
// counts as a loop.
constexpr std::size_t kMaxForwarderHops = 64;

struct ForwarderTarget {
    std::string dll;
    ImportedFunction function;
};

// "NTDLL.RtlAllocateHeap", "api-ms-win-core-heap-l1-1-0.HeapAlloc", "LIB.#12": the module is
// everything before the last point, as the loader splits it; ".dll" is added to a module without
// an extension of its own.
std::optional<ForwarderTarget> ParseForwarder(std::string_view text)
{
    const std::size_t dot = text.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size()) {
        return std::nullopt;
    }
    ForwarderTarget target;
    const std::string_view module = text.substr(0, dot);
    target.dll = std::string(module) + (module.find('.') == std::string_view::npos ? ".dll" : "");
    const std::string_view function = text.substr(dot + 1);
    if (function.front() == '#') {
        std::uint16_t ordinal = 0;
        const auto digits = function.substr(1);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), ordinal);
        if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
            return std::nullopt;
        }
        target.function.ordinal = ordinal;
    } else {
        target.function.name = std::string(function);
    }
    return target;
}

std::optional<MissingEntryPoint> Check(const std::string &dllPath, const ImportedFunction &function,
                                       ExportTableCache &exports, const ForwarderDllLookup &lookup)
{
    MissingEntryPoint missing;
    missing.function = function;
    const auto fail = [&missing](EntryPointFault fault, std::string dll) {
        missing.fault = fault;
        missing.dll = std::move(dll);
        return std::optional<MissingEntryPoint>(std::move(missing));
    };
    std::string path = dllPath;
    ImportedFunction wanted = function;
    std::set<std::pair<std::string, std::string>> followed;
    for (std::size_t hop = 0;; ++hop) {
        if (hop > kMaxForwarderHops || !followed.emplace(path, FunctionLabel(wanted)).second) {
            return fail(EntryPointFault::ForwarderLoop, path);
        }
        const ExportIndex &index = exports.Get(path);
        if (!index.table.Ok() && index.table.outcome != ReaderOutcome::NoTable) {
            return fail(EntryPointFault::DamagedTable, path);
        }
        const ExportedFunction *found = index.Find(wanted);
        if (!found) {
            return fail(EntryPointFault::NotExported, path);
        }
        if (!found->forwarder) {
            return std::nullopt;
        }
        missing.forwarders.push_back(*found->forwarder);
        auto target = ParseForwarder(*found->forwarder);
        if (!target) {
            return fail(EntryPointFault::BadForwarder, path);
        }
        if (IsApiSetName(target->dll)) {
            return std::nullopt; // Windows maps the contract onto its own DLLs
        }
        auto next = lookup(target->dll);
        if (!next) {
            return fail(EntryPointFault::ForwarderDllMissing, target->dll);
        }
        path = std::move(*next);
        wanted = std::move(target->function);
    }
}

std::vector<MissingEntryPoint> Missing(const std::string &dllPath, const ExportIndex &index,
                                       const std::vector<ImportedFunction> &functions,
                                       ExportTableCache &exports, const ForwarderDllLookup &lookup)
{
    std::vector<MissingEntryPoint> missing;
    for (const ImportedFunction &function : functions) {
        // Most functions are exported where they are imported from: that costs one lookup.
        if (const ExportedFunction *found = index.Find(function); found && !found->forwarder) {
            continue;
        }
        if (auto m = Check(dllPath, function, exports, lookup)) {
            missing.push_back(std::move(*m));
        }
    }
    return missing;
}

} // namespace

const ExportedFunction *ExportIndex::Find(const ImportedFunction &function) const
{
    if (function.ordinal) {
        return table.ByOrdinal(*function.ordinal);
    }
    constexpr std::size_t kScanned = 16; // tables this small are searched in order
    if (table.functions.size() <= kScanned) {
        for (const ExportedFunction &f : table.functions) {
            if (f.name == function.name) {
                return &f;
            }
        }
        return nullptr;
    }
    if (!m_indexed) {
        for (std::size_t i = 0; i < table.functions.size(); ++i) {
            if (const auto &name = table.functions[i].name) {
                m_byName.emplace(*name, i);
            }
        }
        m_indexed = true;
    }
    const auto at = m_byName.find(function.name);
    return at == m_byName.end() ? nullptr : &table.functions[at->second];
}

const ExportIndex &ExportTableCache::Get(const std::string &path)
{
    auto known = m_tables.find(path);
    if (known == m_tables.end()) {
        Put(path, ReadExportTable(path));
        known = m_tables.find(path);
    }
    return known->second;
}

void ExportTableCache::Put(const std::string &path, ExportTable table)
{
    if (m_tables.count(path) > 0) {
        return;
    }
    ExportIndex index;
    index.table = std::move(table);
    m_tables.emplace(path, std::move(index));
}

std::vector<MissingEntryPoint> MissingEntryPoints(const std::string &dllPath,
                                                  const std::vector<ImportedFunction> &functions,
                                                  ExportTableCache &exports,
                                                  const ForwarderDllLookup &lookup)
{
    return Missing(dllPath, exports.Get(dllPath), functions, exports, lookup);
}

std::string FunctionLabel(const ImportedFunction &function)
{
    return function.ordinal ? '#' + std::to_string(*function.ordinal) : function.name;
}

std::vector<MissingFunctions> CheckImportedFunctions(const std::vector<ImportedDll> &dlls,
                                                     const FoundDllLookup &found,
                                                     ExportTableCache &exports,
                                                     const ForwarderDllLookup &lookup,
                                                     std::vector<DamagedExports> &damaged)
{
    // One group per DLL and table: a DLL may stand in both tables, or twice in one.
    struct Group {
        std::string folded;
        const ImportedDll *first;
        std::vector<ImportedFunction> functions;
    };
    std::vector<Group> groups;
    for (const ImportedDll &dll : dlls) {
        std::string folded = ToAsciiLower(dll.name);
        auto group = std::find_if(groups.begin(), groups.end(), [&](const Group &g) {
            return g.folded == folded && g.first->delayLoaded == dll.delayLoaded;
        });
        if (group == groups.end()) {
            group = groups.insert(groups.end(), Group{std::move(folded), &dll, {}});
        }
        group->functions.insert(group->functions.end(), dll.functions.begin(), dll.functions.end());
    }
    const auto noteDamage = [&damaged](const std::string &path, const std::string &status) {
        if (std::none_of(damaged.begin(), damaged.end(),
                         [&path](const DamagedExports &d) { return d.path == path; })) {
            damaged.push_back({path, status});
        }
    };
    std::vector<MissingFunctions> result;
    for (const Group &group : groups) {
        const std::string *path = found(group.first->name);
        if (!path || group.functions.empty()) {
            continue;
        }
        const ExportIndex &index = exports.Get(*path);
        if (!index.table.Ok() && index.table.outcome != ReaderOutcome::NoTable) {
            noteDamage(*path, std::string(index.table.Status()));
            continue;
        }
        auto missing = Missing(*path, index, group.functions, exports, lookup);
        if (missing.empty()) {
            continue;
        }
        for (const MissingEntryPoint &e : missing) {
            if (e.fault == EntryPointFault::DamagedTable) {
                noteDamage(e.dll, std::string(exports.Get(e.dll).table.Status()));
            }
        }
        result.push_back({group.first->name, *path, group.first->delayLoaded,
                          group.functions.size(), std::move(missing)});
    }
    return result;
}

} // namespace quorvane
