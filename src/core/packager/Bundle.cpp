#include "core/packager/Bundle.h"

#include "core/check/FilePresence.h"
#include "core/packager/DllHints.h"
#include "core/platform/FileSystem.h"
#include "core/platform/FolderListing.h"
#include "core/platform/PathRules.h"
#include "core/text/AsciiCase.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unordered_map>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool SameBytes(const std::string &a, const std::string &b)
{
    std::ifstream x(FsPath(a), std::ios::binary), y(FsPath(b), std::ios::binary);
    if (!x || !y) {
        return false;
    }
    std::error_code ec;
    if (fs::file_size(FsPath(a), ec) != fs::file_size(FsPath(b), ec) || ec) {
        return false;
    }
    std::array<char, kChunk> bx{}, by{};
    while (x && y) {
        x.read(bx.data(), bx.size());
        y.read(by.data(), by.size());
        if (x.gcount() != y.gcount() ||
            !std::equal(bx.begin(), bx.begin() + x.gcount(), by.begin())) {
            return false;
        }
    }
    return x.eof() && y.eof();
}

// Copies source to a new file in folder, then renames it to target: never a half-written target,
// and a link at the target is replaced rather than followed.
bool CopyInto(const std::string &source, const std::string &folderPrefix, const std::string &target,
              std::string &problem)
{
    static std::atomic<unsigned> serial{0};
    std::ifstream in(FsPath(source), std::ios::binary);
    if (!in) {
        problem = "cannot read " + source;
        return false;
    }
    std::string temporary;
    File out;
    for (int attempt = 0; attempt < 100 && !out; ++attempt) {
        temporary = folderPrefix + ".quorvane-bundle-" +
                    std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                    "-" + std::to_string(serial++);
        out.reset(CreateNewFile(temporary)); // never an existing file or link
    }
    if (!out) {
        problem = "cannot create a file in " + folderPrefix;
        return false;
    }
    std::array<char, kChunk> buffer{};
    bool good = true;
    while (good && in) {
        in.read(buffer.data(), buffer.size());
        const auto got = static_cast<std::size_t>(in.gcount());
        good = std::fwrite(buffer.data(), 1, got, out.get()) == got;
    }
    good = good && in.eof() && std::fflush(out.get()) == 0;
    out.reset();
    std::error_code ec;
    if (good) {
        fs::permissions(FsPath(temporary), fs::status(FsPath(source), ec).permissions(), ec);
        ec.clear();
        fs::rename(FsPath(temporary), FsPath(target), ec);
        good = !ec;
    }
    if (!good) {
        problem = "cannot write " + target + (ec ? ": " + ec.message() : std::string());
        fs::remove(FsPath(temporary), ec);
    }
    return good;
}

// What the folder holds, by name without regard to letter case; each copy adds to it.
struct ExistingEntry {
    std::string name;
    bool regular;
};
using FolderEntries = std::unordered_map<std::string, ExistingEntry>;

FolderEntries EntriesOf(const std::string &prefix)
{
    FolderEntries entries;
    ListFolder(prefix, [&entries](std::string_view name, EntryKind kind) {
        entries.emplace(ToAsciiLower(name),
                        ExistingEntry{std::string(name), kind != EntryKind::Other});
    });
    return entries;
}

// A file of the item's name is in the folder already: the same bytes stay, anything else is left
// alone unless force says to replace it; a folder, or a file the program loads, never is.
void PlaceOverExisting(BundleItem &item, const ExistingEntry &entry, const ClosureResult &closure,
                       const std::string &prefix, bool force)
{
    item.target = prefix + entry.name;
    const auto isClosureFile = [&] {
        return std::any_of(closure.modules.begin(), closure.modules.end(), [&](const auto &other) {
            std::error_code e;
            return fs::equivalent(FsPath(other.path), FsPath(item.target), e);
        });
    };
    if (entry.regular && SameBytes(item.source, item.target)) {
        item.action = BundleAction::Present;
    } else if (!entry.regular) {
        item.action = BundleAction::Conflict;
        item.detail = item.target + " is not a regular file: never replaced";
    } else if (isClosureFile()) {
        item.action = BundleAction::Conflict;
        item.detail = item.target + " is itself a file the program loads: never replaced";
    } else if (!force) {
        item.action = BundleAction::Conflict;
        item.detail = item.target + " holds a different file (--force replaces it)";
    } else {
        item.action = CopyInto(item.source, prefix, item.target, item.detail)
                          ? BundleAction::Replaced
                          : BundleAction::Failed;
    }
}

} // namespace

PackagerOutcome BundleResult::Outcome(const ClosureResult &closure) const
{
    if (!ok) {
        return PackagerOutcome::Unreadable;
    }
    PackagerOutcome worst = closure.Outcome();
    for (const BundleItem &item : items) {
        if (item.action == BundleAction::Failed) {
            worst = PackagerOutcome::Unreadable;
        } else if (item.action == BundleAction::Conflict) {
            worst = Worse(worst, PackagerOutcome::Incomplete);
        }
    }
    return worst;
}

BundleResult BundleClosure(const ClosureResult &closure, const std::string &folder, bool force)
{
    BundleResult result;
    std::error_code ec;
    if (folder.empty()) {
        result.status = "no folder given";
        return result;
    }
    fs::create_directories(FsPath(folder), ec);
    if (!fs::is_directory(FsPath(folder), ec)) {
        result.status = "cannot make the folder " + folder;
        return result;
    }
    result.ok = true;
    result.status = "OK.";
    const std::string prefix = FolderPrefix(folder);

    FolderEntries existing = EntriesOf(prefix);
    for (std::size_t m = 1; m < closure.modules.size(); ++m) {
        const ClosureModule &module = closure.modules[m];
        BundleItem item;
        item.name = FileNameOf(module.path);
        item.source = module.path;
        item.target = prefix + item.name;
        if (module.where == FoundIn::System || HintFor(item.name).category == kHintSystem) {
            item.action = BundleAction::SystemFile;
        } else if (!IsPlainFileName(item.name)) {
            item.action = BundleAction::Failed; // cannot happen: names come from folder listings
            item.detail = "not a plain file name";
        } else if (const auto there = existing.find(ToAsciiLower(item.name));
                   there != existing.end()) {
            PlaceOverExisting(item, there->second, closure, prefix, force);
        } else if (CopyInto(item.source, prefix, item.target, item.detail)) {
            item.action = BundleAction::Copied;
            existing.emplace(ToAsciiLower(item.name), ExistingEntry{item.name, true});
        } else {
            item.action = BundleAction::Failed;
        }
        result.items.push_back(std::move(item));
    }
    return result;
}

} // namespace quorvane
