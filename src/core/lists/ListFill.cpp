#include "core/lists/ListFill.h"

#include "core/pe/modPETables.h"

#include <string_view>

namespace quorvane {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr char kCr = '\r';
constexpr char kVerticalTab = '\v';

bool OnlySpaces(std::string_view piece)
{
    return piece.find_first_not_of(' ') == std::string_view::npos;
}

std::string Cleaned(std::string_view piece)
{
    // Splitting at CR LF leaves no pair inside a piece, so dropping every CR covers the pairs too.
    std::string cleaned;
    cleaned.reserve(piece.size());
    for (const char c : piece) {
        if (c != kCr && c != kVerticalTab) {
            cleaned.push_back(c);
        }
    }
    const auto first = cleaned.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const auto last = cleaned.find_last_not_of(' ');
    return cleaned.substr(first, last - first + 1);
}

void FillOrStatus(bool ok, const std::string &list, const std::string &status,
                  std::vector<std::string> &items)
{
    if (ok) {
        items = FillListFromText(list);
    } else {
        items = {status};
    }
}

} // namespace

std::vector<std::string> FillListFromText(const std::string &listText)
{
    std::vector<std::string> items;
    const std::string_view text = listText;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(kCrLf, start);
        const auto piece = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!OnlySpaces(piece)) {
            items.push_back(Cleaned(piece));
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + kCrLf.size();
    }
    return items;
}

ImportsScanResult ScanImports(const std::string &path)
{
    ImportsScanResult result;
    std::string list;
    result.importsOk = GetImportList(path, list, result.importsStatus);
    FillOrStatus(result.importsOk, list, result.importsStatus, result.dependencies);
    list.clear();
    result.exportsOk = GetExportList(path, list, result.exportsStatus);
    FillOrStatus(result.exportsOk, list, result.exportsStatus, result.exports);
    return result;
}

} // namespace quorvane
