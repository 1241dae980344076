// quorvane-cli bundle: what was copied into the folder, and what is still missing.
#include "cli/EntryPointOutput.h"
#include "cli/PackagerOutput.h"
#include "cli/Report.h"

#include <ostream>

namespace quorvane {

using nlohmann::json;

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

} // namespace quorvane
