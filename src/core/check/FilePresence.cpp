#include "core/check/FilePresence.h"

#include "core/platform/PathRules.h"
#include "core/text/AsciiCase.h"

#include <algorithm>

namespace quorvane {
namespace {

struct SplitPath {
    std::string folder; // up to and including the last separator; "" for the current folder
    std::string last;
};

SplitPath Split(const std::string &path)
{
    return {std::string(FolderPartOf(path)), std::string(FileNameOf(path))};
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

FolderCache::Folder &FolderCache::FolderOf(std::string_view folder)
{
    auto known = m_folders.find(folder);
    if (known == m_folders.end()) {
        const std::string path(folder);
        Folder entries;
        m_access.list(path, [&entries](std::string_view entry, EntryKind kind) {
            if (kind == EntryKind::Other) {
                return;
            }
            Slot &slot = entries[ToAsciiLower(entry)];
            if (kind == EntryKind::RegularFile) {
                if (!slot.regular || entry < slot.spelling) {
                    slot.spelling = entry;
                }
                slot.regular = true;
            } else if (!slot.regular) {
                slot.unresolved.emplace_back(entry);
            }
        });
        known = m_folders.emplace(path, std::move(entries)).first;
    }
    return known->second;
}

bool FolderCache::IsPresent(const std::string &prefix, const std::string &name)
{
    return Find(prefix, name) != nullptr;
}

std::optional<std::string> FolderCache::FindEntry(const std::string &prefix,
                                                  const std::string &name)
{
    const Slot *slot = Find(prefix, name);
    return slot ? std::optional<std::string>(slot->spelling) : std::nullopt;
}

const FolderCache::Slot *FolderCache::Find(const std::string &prefix, const std::string &name)
{
    if (!IsPlainFileName(name)) {
        return nullptr;
    }
    // The name holds no separator, so the folder is the prefix's; only what follows the prefix's
    // last separator runs into the name.
    const std::size_t tail = FolderPartOf(prefix).size();
    m_scratch.assign(prefix, tail);
    m_scratch += name;
    if (m_scratch.empty()) {
        return nullptr;
    }
    const std::string_view folderName = std::string_view(prefix).substr(0, tail);
    Folder &folder = FolderOf(folderName);
    std::transform(m_scratch.begin(), m_scratch.end(), m_scratch.begin(), AsciiLower);
    const auto found = folder.find(m_scratch);
    if (found == folder.end()) {
        return nullptr;
    }
    Slot &slot = found->second;
    if (!slot.regular && !slot.unresolved.empty()) {
        const std::string path(folderName);
        std::sort(slot.unresolved.begin(), slot.unresolved.end());
        const auto link = std::find_if(
            slot.unresolved.begin(), slot.unresolved.end(),
            [&](const std::string &entry) { return m_access.isRegularFile(path, entry); });
        if (link != slot.unresolved.end()) {
            slot.regular = true;
            slot.spelling = *link;
        }
        slot.unresolved.clear(); // resolved once, for good
    }
    return slot.regular ? &slot : nullptr;
}

} // namespace quorvane
