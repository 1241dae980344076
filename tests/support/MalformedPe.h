#pragma once

// The malformed and hostile images that the reader tests (in memory, through pages, from files) and
// the fuzz seeds share: each one made by the PE builder and broken in one way, with what both
// readers must answer for it. Every case is made as PE32 and as PE32+.

#include "core/pe/modPETables.h"
#include "support/PeBuilder.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::test {

struct ExpectedRead {
    std::string_view status;
    std::vector<std::string> names; // empty whenever the status is a failure
};

struct MalformedCase {
    std::string name; // a test name: letters and digits only
    std::function<std::vector<std::uint8_t>(Bitness)> make;
    ExpectedRead imports;
    ExpectedRead exports;
    /// What the export table reader answers, each entry written "#ORDINAL NAME" ("#ORDINAL" alone
    /// without a name) and " -> FORWARDER" after a forwarder's. Without it, the reader must give
    /// the export name reader's status and, in its named entries, its names.
    std::optional<ExpectedRead> exportTable = std::nullopt;
    /// The status of the import function reader. Without it, the reader must give the import name
    /// reader's status and, when that succeeds, the same DLL names.
    std::optional<std::string_view> importFunctionsStatus = std::nullopt;
};

/// Every case, in a fixed order.
const std::vector<MalformedCase> &MalformedCases();

/// Where a reader's answer differs from the expected one ("" where it does not): its status, the
/// success flag that goes with it, or its names (which can be 60,000, or 100,000 bytes long: only
/// their count is told).
std::string Mismatch(const ExpectedRead &expected, std::string_view status, bool ok,
                     const std::vector<std::string> &names);
inline std::string Mismatch(const ExpectedRead &expected, const ReaderResult &r)
{
    return Mismatch(expected, r.Status(), r.Ok(), r.names);
}

} // namespace quorvane::test
