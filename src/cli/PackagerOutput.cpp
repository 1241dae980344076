#include "cli/PackagerOutput.h"

#include "cli/Cli.h"
#include "cli/Report.h"
#include "core/packager/DllHints.h"

#include <ostream>

namespace quorvane {

using nlohmann::json;

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

std::string Count(std::size_t count, const std::string &what)
{
    return std::to_string(count) + ' ' + what + (count == 1 ? "" : "s");
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

void WriteMissingDetails(std::ostream &out, const std::string &name, const std::string &reason,
                         const std::vector<Rejection> &rejected)
{
    if (!reason.empty()) {
        out << "      " << reason << '\n';
    }
    for (const Rejection &r : rejected) {
        out << "      " << EscapeControls(r.reason) << '\n';
    }
    out << "      " << HintForDependency(name).text << '\n';
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

json DependencyJson(const std::string &name, json neededBy, bool delayLoaded)
{
    const DllHint &hint = HintForDependency(name);
    return {{"name", name},
            {"needed_by", std::move(neededBy)},
            {"delay_loaded", delayLoaded},
            {"category", hint.category},
            {"hint", hint.text}};
}

void AddMissingJson(json &item, const std::vector<Rejection> &rejected, const std::string &reason)
{
    json list = json::array();
    for (const Rejection &r : rejected) {
        list.push_back({{"path", r.path}, {"reason", r.reason}});
    }
    item["rejected"] = std::move(list);
    if (!reason.empty()) {
        item["reason"] = reason;
    }
}

json DamagedJson(const std::vector<Damage> &damaged)
{
    json list = json::array();
    for (const Damage &d : damaged) {
        list.push_back({{"path", d.path}, {"status", d.status}});
    }
    return list;
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

void WriteJsonDocument(std::ostream &out, const json &doc)
{
    out << doc.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

} // namespace quorvane
