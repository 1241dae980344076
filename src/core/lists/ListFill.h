#pragma once

#include <string>
#include <vector>

namespace quorvane {

/// The items one list text becomes, in order: the text is split at every CR LF; a piece that is
/// empty or holds only spaces is skipped; any other piece loses every CR and vertical tab and its
/// leading and trailing spaces, and is kept even when nothing is left of it. Tabs and other white
/// space stay.
std::vector<std::string> FillListFromText(const std::string &listText);

/// What the Imports Scan puts into the two lists: the reader's names through FillListFromText, or
/// the reader's status text as the only item when the reader fails.
struct ImportsScanResult {
    std::vector<std::string> dependencies; // the dependency list's items, in the order added
    std::vector<std::string> exports;      // the export list's items, in the order added
    bool importsOk = false;
    bool exportsOk = false;
    std::string importsStatus;
    std::string exportsStatus;
};

/// Reads the import table, then the export table, of the file at path (used as given: an empty or
/// untrimmed path is read as it stands). A failing reader does not stop the other.
ImportsScanResult ScanImports(const std::string &path);

} // namespace quorvane
