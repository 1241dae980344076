#pragma once

// What the commands that run the deep scan share: the --types option and one file's report.
#include "cli/Report.h"

#include <CLI/CLI.hpp>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

inline constexpr std::string_view kAllTypes = "dll,ocx,sys,drv,tlb";

/// The boxes that "--types=dll,ocx,..." ticks; nullopt for a name that is no file type. Letter case
/// does not matter; empty entries ("dll,,ocx") are passed over.
std::optional<std::array<bool, 5>> TickedTypes(const std::string &types);

/// Adds --types to a command, checked with TickedTypes, stored in types.
CLI::Option *AddTypesOption(CLI::App &command, std::string &types);

/// One file's deep scan as a report: the names the dependency list would show, in its order; or,
/// for a path that is not a readable file, the reason and the exit status for unreadable files.
FileReport DeepScanReport(const std::string &path, const std::array<bool, 5> &ticked);

} // namespace quorvane
