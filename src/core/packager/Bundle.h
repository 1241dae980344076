#pragma once

#include "core/packager/DependencyClosure.h"

#include <string>
#include <vector>

namespace quorvane {

enum class BundleAction {
    Copied,     // copied into the folder
    Replaced,   // a different file of that name was there and --force replaced it
    Present,    // the folder holds the same bytes already
    Conflict,   // the folder holds a different file of that name: left alone
    Failed,     // reading or writing failed; nothing was left half-written
    SystemFile, // a Windows component: never shipped
};

struct BundleItem {
    std::string name;   // the file's name, as spelt on disk
    std::string source; // where it was found
    std::string target; // where it is (or would be) in the folder
    BundleAction action = BundleAction::Copied;
    std::string detail; // for a conflict or a failure: why
};

struct BundleResult {
    bool ok = false;               // the folder could be made and used
    std::string status;            // why not
    std::vector<BundleItem> items; // in the closure's order of discovery
    /// The closure's outcome, made worse by a conflict left alone (Incomplete) or a file that could
    /// not be written (Unreadable).
    PackagerOutcome Outcome(const ClosureResult &closure) const;
};

/// Copies every file of the closure that the program needs beside it into folder (made if
/// missing): all but the program itself, files found in the system folder and Windows' own
/// components. A file is written under a temporary name and renamed into place, so the folder
/// never holds half a file and a link standing at the name is replaced, never written through.
/// An entry of the same name in any letter case that holds other bytes is left alone unless
/// force; a folder or any file of the closure is never replaced.
BundleResult BundleClosure(const ClosureResult &closure, const std::string &folder, bool force);

} // namespace quorvane
