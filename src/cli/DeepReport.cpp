#include "cli/DeepReport.h"

#include "cli/Cli.h"
#include "core/lists/ListOrder.h"
#include "core/scan/DeepScan.h"
#include "core/text/AsciiCase.h"

#include <algorithm>

namespace quorvane {
namespace {

// The --types values, in the order of the file-type boxes.
constexpr std::array<std::string_view, 5> kTypeNames{"dll", "ocx", "sys", "drv", "tlb"};

} // namespace

std::optional<std::array<bool, 5>> TickedTypes(const std::string &types)
{
    std::array<bool, 5> ticked{};
    std::size_t begin = 0;
    while (begin <= types.size()) {
        const std::size_t end = std::min(types.find(',', begin), types.size());
        const std::string type = ToAsciiLower(std::string_view(types).substr(begin, end - begin));
        begin = end + 1;
        if (type.empty()) {
            continue;
        }
        const auto at = std::find(kTypeNames.begin(), kTypeNames.end(), type);
        if (at == kTypeNames.end()) {
            return std::nullopt;
        }
        ticked[static_cast<std::size_t>(at - kTypeNames.begin())] = true;
    }
    return ticked;
}

CLI::Option *AddTypesOption(CLI::App &command, std::string &types)
{
    return command
        .add_option("--types", types,
                    "File types to look for, comma-separated (default: dll,ocx,sys,drv,tlb)")
        ->type_name("TYPES")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check([](const std::string &value) {
            return TickedTypes(value) ? std::string() : "unknown file type in: " + value;
        });
}

FileReport DeepScanReport(const std::string &path, const std::array<bool, 5> &ticked)
{
    DeepScanResult result = RunDeepScan(path, ticked);
    const bool complete = result.outcome == DeepScanOutcome::Complete;
    FileReport report{path, complete, std::string(DeepScanStatusText(result.outcome)),
                      std::move(result.dependencies), complete ? kExitOk : kExitUnreadable};
    std::sort(report.names.begin(), report.names.end(), DependencyListLess);
    return report;
}

} // namespace quorvane
