#include "check/FilePresence.h"

#include "platform/PathRules.h"

#include <algorithm>

namespace quorvane {
namespace {

char FoldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string FoldedAscii(std::string_view text)
{
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldAscii);
    return folded;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldAscii(x) == FoldAscii(y);
           });
}

struct SplitPath {
    std::string folder; // up to and including the last separator; "" for the current folder
    std::string last;
};

SplitPath Split(const std::string &path)
{
    const std::size_t cut = path.find_last_of(kFolderSeparators);
    if (cut == std::string::npos) {
        return {std::string(), path};
    }
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

bool SearchFolder(const FolderAccess &access, const std::string &folder, const std::string &last)
{
    if (last.empty()) {
        return false;
    }
    bool found = false;
    access.list(folder, [&](std::string_view entry, EntryKind kind) {
        if (found || kind == EntryKind::Other || !EqualsIgnoringAsciiCase(entry, last)) {
            return;
        }
        found = kind == EntryKind::RegularFile || access.isRegularFile(folder, std::string(entry));
    });
    return found;
}

} // namespace

FolderAccess FolderAccess::Platform()
{
    return {ListFolder, IsRegularFileAt};
}

bool IsPlainFileName(std::string_view name)
{
    return name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

bool IsFilePresent(const std::string &prefix, const std::string &name, const FolderAccess &access)
{
    if (!IsPlainFileName(name)) {
        return false;
    }
    const SplitPath path = Split(prefix + name);
    return SearchFolder(access, path.folder, path.last);
}

bool IsFilePresent(const std::string &prefixedPath)
{
    const SplitPath path = Split(prefixedPath);
    return IsPlainFileName(path.last) &&
           SearchFolder(FolderAccess::Platform(), path.folder, path.last);
}

FolderCache::FolderCache(FolderAccess access) : m_access(std::move(access)) {}

FolderCache::Folder &FolderCache::FolderOf(const std::string &folder)
{
    const auto known = m_folders.find(folder);
    if (known != m_folders.end()) {
        return known->second;
    }
    Folder entries;
    m_access.list(folder, [&entries](std::string_view entry, EntryKind kind) {
        if (kind != EntryKind::Other) {
            entries[FoldedAscii(entry)].push_back({std::string(entry), kind});
        }
    });
    return m_folders.emplace(folder, std::move(entries)).first->second;
}

bool FolderCache::IsPresent(const std::string &prefix, const std::string &name)
{
    if (!IsPlainFileName(name)) {
        return false;
    }
    const SplitPath path = Split(prefix + name);
    if (path.last.empty()) {
        return false;
    }
    Folder &folder = FolderOf(path.folder);
    const auto candidates = folder.find(FoldedAscii(path.last));
    if (candidates == folder.end()) {
        return false;
    }
    for (Candidate &candidate : candidates->second) {
        if (candidate.kind == EntryKind::Unresolved) {
            candidate.kind = m_access.isRegularFile(path.folder, candidate.name)
                                 ? EntryKind::RegularFile
                                 : EntryKind::Other;
        }
        if (candidate.kind == EntryKind::RegularFile) {
            return true;
        }
    }
    return false;
}

} // namespace quorvane
