#include "cli/DeepReport.h"

#include "cli/Cli.h"
#include "core/lists/ListOrder.h"
#include "core/platform/FileSystem.h"
#include "core/scan/DeepScan.h"

#include <algorithm>
#include <filesystem>

namespace quorvane {
namespace {

constexpr std::string_view kStatusOk = "OK";
constexpr std::string_view kStatusNoSuchFile = "No such file.";
constexpr std::string_view kStatusNotAFile = "Not a regular file.";
constexpr std::string_view kStatusCannotOpen = "Cannot open the file for reading.";
constexpr std::string_view kStatusReadFailed = "Could not read the file to its end.";
constexpr std::string_view kStatusOutOfMemory = "Not enough memory for the names in the file.";

// The --types values, in the order of the file-type boxes.
constexpr std::array<std::string_view, 5> kTypeNames{"dll", "ocx", "sys", "drv", "tlb"};

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Why the scan could not read the path. Only looks: nothing is opened here.
std::string_view Reason(const std::string &path, const DeepScanResult &result)
{
    if (result.failure == DeepScanFailure::ReadFailed) {
        return kStatusReadFailed;
    }
    if (result.failure == DeepScanFailure::OutOfMemory) {
        return kStatusOutOfMemory;
    }
    std::error_code error;
    const auto status = std::filesystem::status(FsPath(path), error);
    if (status.type() == std::filesystem::file_type::not_found || path.empty()) {
        return kStatusNoSuchFile;
    }
    if (!error && status.type() != std::filesystem::file_type::regular) {
        return kStatusNotAFile;
    }
    return kStatusCannotOpen;
}

} // namespace

std::optional<std::array<bool, 5>> TickedTypes(const std::string &types)
{
    std::array<bool, 5> ticked{};
    std::size_t begin = 0;
    while (begin <= types.size()) {
        const std::size_t end = std::min(types.find(',', begin), types.size());
        std::string type = types.substr(begin, end - begin);
        std::transform(type.begin(), type.end(), type.begin(), AsciiLower);
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
    FileReport report{path, result.readable, std::string(kStatusOk), {}, kExitOk};
    if (!result.readable) {
        report.status = Reason(path, result);
        report.exitStatus = kExitUnreadable;
    }
    report.names = std::move(result.dependencies);
    std::sort(report.names.begin(), report.names.end(), DependencyListLess);
    return report;
}

} // namespace quorvane
