#include "core/packager/Bundle.h"

#include "core/check/FilePresence.h"
#include "core/packager/DllHints.h"
#include "core/platform/FileSystem.h"
#include "core/platform/FolderListing.h"

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

} // namespace

int BundleResult::ExitStatus(const ClosureResult &closure) const
{
    int worst = closure.ExitStatus();
    if (!ok) {
        return 2;
    }
    for (const BundleItem &item : items) {
        if (item.action == BundleAction::Failed) {
            worst = 2;
        } else if (item.action == BundleAction::Conflict) {
            worst = std::max(worst, 1);
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

    // What the folder holds now, by name without regard to case; a later write adds to it.
    struct Existing {
        std::string name;
        bool regular;
    };
    std::unordered_map<std::string, Existing> existing;
    ListFolder(prefix, [&existing](std::string_view name, EntryKind kind) {
        existing.emplace(FoldedName(name), Existing{std::string(name), kind != EntryKind::Other});
    });

    for (std::size_t m = 1; m < closure.modules.size(); ++m) {
        const ClosureModule &module = closure.modules[m];
        BundleItem item;
        item.name = FileNameOf(module.path);
        item.source = module.path;
        item.target = prefix + item.name;
        if (module.where == FoundIn::System || HintFor(item.name).category == kHintSystem) {
            item.action = BundleAction::SystemFile;
            result.items.push_back(std::move(item));
            continue;
        }
        if (!IsPlainFileName(item.name)) {
            item.action = BundleAction::Failed; // cannot happen: names come from folder listings
            item.detail = "not a plain file name";
            result.items.push_back(std::move(item));
            continue;
        }
        const auto there = existing.find(FoldedName(item.name));
        if (there != existing.end()) {
            item.target = prefix + there->second.name;
            const bool isClosureFile =
                std::any_of(closure.modules.begin(), closure.modules.end(), [&](const auto &other) {
                    std::error_code e;
                    return fs::equivalent(FsPath(other.path), FsPath(item.target), e);
                });
            if (there->second.regular && SameBytes(item.source, item.target)) {
                item.action = BundleAction::Present;
            } else if (!there->second.regular) {
                item.action = BundleAction::Conflict;
                item.detail = item.target + " is not a regular file: never replaced";
            } else if (isClosureFile) {
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
        } else {
            item.action = CopyInto(item.source, prefix, item.target, item.detail)
                              ? BundleAction::Copied
                              : BundleAction::Failed;
            if (item.action == BundleAction::Copied) {
                existing.emplace(FoldedName(item.name), Existing{item.name, true});
            }
        }
        result.items.push_back(std::move(item));
    }
    return result;
}

} // namespace quorvane
