#pragma once

#include <algorithm>

namespace quorvane {

/// What a closure, a folder report or a bundle came to, from best to worst, so that the outcome of
/// several is the worst of theirs. quorvane-cli turns it into its exit status.
enum class PackagerOutcome {
    Complete,   // every DLL was found (and, for a bundle, is in the folder)
    Incomplete, // a DLL is missing, or a bundle left a different file of that name in place
    Unreadable, // a file could not be read as a PE file, a table is damaged, or a file could not
                // be written
};

inline PackagerOutcome Worse(PackagerOutcome a, PackagerOutcome b)
{
    return std::max(a, b);
}

} // namespace quorvane
