#include "core/scan/DeepScan.h"

#include "core/pe/FileBytes.h"
#include "core/platform/FileSystem.h"
#include "core/scan/CandidateSearch.h"
#include "core/scan/NameChars.h"
#include "core/text/AsciiCase.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <new>
#include <unordered_set>

namespace quorvane {
namespace {

// How a name is found, and why one pass over the file is enough.
//
// Upper-cased contents searched exactly for an upper-case extension are the raw bytes searched
// without regard to ASCII case. An extension is a point and three letters, so two occurrences
// never overlap, and searching on four characters after each one finds them all.
//
// The text handed to the name pattern runs from the nearest NUL or backslash before the point to
// the end of the extension. Neither stop is a name character, nor is a space, so the last match of
// the pattern there is R + extension, R being the longest run of name characters directly before
// the point; unless R is itself directly preceded by a point, whose match has already taken R as
// its tail, and then the last match is the bare extension, which is dropped, as is an empty R.
// R never runs over an earlier point, so the runs of different occurrences never share a byte, and
// walking back over them costs at most one visit per byte of the file. One pass finds all five
// extensions; each type's names are kept apart in file order and joined in type order at the end.

constexpr std::size_t kExtensionLetters = 3;
// Bytes kept from one piece to the next: the start of an extension cut by the seam.
constexpr std::size_t kCarry = kExtensionLetters;
// Room before each piece for the carried bytes, and the alignment of the piece itself.
constexpr std::size_t kCarryRoom = 64;
constexpr std::size_t kAlignment = 4096;
// Pieces read when a name's run of characters reaches back behind the piece in hand.
constexpr std::size_t kBackBlock = 64 * 1024;

constexpr std::uint32_t LowerKey(std::string_view extension)
{
    return static_cast<std::uint32_t>(extension[1] | 0x20) |
           static_cast<std::uint32_t>(extension[2] | 0x20) << 8 |
           static_cast<std::uint32_t>(extension[3] | 0x20) << 16;
}

constexpr std::array<std::uint32_t, 5> kExtensionKeys{
    LowerKey(kFileTypeExtensions[0]), LowerKey(kFileTypeExtensions[1]),
    LowerKey(kFileTypeExtensions[2]), LowerKey(kFileTypeExtensions[3]),
    LowerKey(kFileTypeExtensions[4])};

class Scanner {
public:
    Scanner(const ByteSource &source, const std::array<bool, 5> &ticked,
            const std::atomic<bool> *cancel, std::size_t chunkSize)
        : m_source(source), m_ticked(ticked), m_cancel(cancel),
          m_chunkSize(std::clamp<std::size_t>(chunkSize, 1, SIZE_MAX / 2))
    {
    }

    DeepScanResult Run();

private:
    bool CancelRequested() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }
    bool Stopped() const { return m_outcome != DeepScanOutcome::Complete; }
    void ScanPoints(std::size_t limit);
    void Candidate(std::size_t point);
    void Occurrence(std::size_t point, std::size_t type);
    bool WalkBehindPiece(std::uint64_t &runStart, bool &afterPoint);
    void Keep(std::size_t type);

    const ByteSource &m_source;
    const std::array<bool, 5> m_ticked;
    const std::atomic<bool> *m_cancel;
    const std::size_t m_chunkSize;

    std::vector<std::uint8_t> m_storage;
    const std::uint8_t *m_piece = nullptr; // the bytes in hand; m_piece[0] is at file offset m_base
    std::uint64_t m_base = 0;
    // No name reaches back before this offset: the byte before it is the point of the last
    // occurrence handled. It keeps walks behind the piece linear even if the file changes under us.
    std::uint64_t m_floor = 0;
    std::vector<std::uint8_t> m_back;
    std::string m_name;

    // Distinct names, and per type the order in which they were first seen. A name ends in its
    // type's extension, so one set serves all five types.
    std::unordered_set<std::string> m_seen;
    std::array<std::vector<const std::string *>, 5> m_found;
    std::array<const std::string *, 5> m_last{}; // the same name found again costs one comparison

    DeepScanOutcome m_outcome = DeepScanOutcome::Complete;
};

DeepScanResult Scanner::Run()
{
    DeepScanResult result;
    const std::uint64_t size = m_source.Size();
    // Each piece is read to a page boundary, with room before it for the bytes carried over: the
    // kernel copies into an aligned buffer several times faster than into a misaligned one.
    m_storage.resize(kCarryRoom + kAlignment + m_chunkSize);
    const auto address = reinterpret_cast<std::uintptr_t>(m_storage.data()) + kCarryRoom;
    std::uint8_t *const fresh =
        m_storage.data() + kCarryRoom + (kAlignment - address % kAlignment) % kAlignment;
    std::size_t carried = 0; // the bytes before fresh that the last piece left unscanned
    std::uint64_t next = 0;
    while (next < size && !Stopped()) {
        if (CancelRequested()) {
            m_outcome = DeepScanOutcome::Cancelled;
            break;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(m_chunkSize, size - next));
        if (m_source.ReadAt(next, std::span(fresh, want)) != want) {
            m_outcome = DeepScanOutcome::ReadFailed; // the file shrank, or the read failed
            break;
        }
        m_piece = fresh - carried;
        m_base = next - carried;
        next += want;
        const std::size_t held = carried + want;
        if (held > kCarry) {
            ScanPoints(held - kCarry);
        }
        carried = std::min(held, kCarry);
        std::memmove(fresh - carried, m_piece + held - carried, carried);
    }
    result.outcome = m_outcome;
    if (m_outcome != DeepScanOutcome::Complete) {
        return result; // the lists stay empty
    }
    for (const auto &found : m_found) {
        for (const std::string *name : found) {
            result.scratch.push_back(std::move(m_seen.extract(*name).value()));
        }
    }
    CopyNamesToDependencyList(result.scratch, result.dependencies);
    return result;
}

// Every point in m_piece[0, limit), which holds the three bytes after each of them.
void Scanner::ScanPoints(std::size_t limit)
{
    const std::uint8_t *bytes = m_piece;
    for (std::size_t from = 0; from < limit;) {
        auto [at, mask] = NextCandidates(bytes, from, limit);
        for (; mask != 0; mask &= mask - 1) {
            Candidate(at + static_cast<std::size_t>(std::countr_zero(mask)));
            if (Stopped()) {
                return;
            }
        }
        from = at + kCandidateBlockSize;
    }
}

void Scanner::Candidate(std::size_t point)
{
    const std::uint8_t *letters = m_piece + point + 1;
    const std::uint32_t key = static_cast<std::uint32_t>(letters[0] | 0x20) |
                              static_cast<std::uint32_t>(letters[1] | 0x20) << 8 |
                              static_cast<std::uint32_t>(letters[2] | 0x20) << 16;
    for (std::size_t type = 0; type < kExtensionKeys.size(); ++type) {
        if (key == kExtensionKeys[type]) {
            if (m_ticked[type]) {
                Occurrence(point, type);
            }
            return;
        }
    }
}

void Scanner::Occurrence(std::size_t point, std::size_t type)
{
    const std::uint8_t *bytes = m_piece;
    std::size_t begin = point;
    while (begin > 0 && IsNameChar(bytes[begin - 1])) {
        --begin;
    }
    std::uint64_t runStart = m_base + begin;
    bool afterPoint = false; // the start of the contents stops the walk like a NUL does
    if (begin > 0) {
        afterPoint = bytes[begin - 1] == '.';
    } else if (m_base > 0 && !WalkBehindPiece(runStart, afterPoint)) {
        return;
    }
    const std::uint64_t pointOffset = m_base + point;
    m_floor = pointOffset + 1;
    if (afterPoint || runStart == pointOffset) {
        return;
    }

    m_name.clear();
    if (runStart < m_base) {
        const auto behind = static_cast<std::size_t>(m_base - runStart);
        m_name.resize(behind);
        const std::size_t got = m_source.ReadAt(
            runStart, std::span(reinterpret_cast<std::uint8_t *>(m_name.data()), behind));
        if (got != behind) {
            m_outcome = DeepScanOutcome::ReadFailed;
            return;
        }
        for (char &c : m_name) {
            c = AsciiUpper(c);
        }
    }
    for (std::size_t k = begin; k < point; ++k) {
        m_name.push_back(static_cast<char>(AsciiUpper(bytes[k])));
    }
    m_name.append(kFileTypeExtensions[type]);
    Keep(type);
}

// The run of name characters before the piece in hand: where it starts, and whether a point stands
// just before it. False when the scan has to stop (cancelled, or the file no longer reads).
bool Scanner::WalkBehindPiece(std::uint64_t &runStart, bool &afterPoint)
{
    std::uint64_t end = m_base;
    while (end > m_floor) {
        if (CancelRequested()) {
            m_outcome = DeepScanOutcome::Cancelled;
            return false;
        }
        m_back.resize(kBackBlock);
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBackBlock, end - m_floor));
        const std::uint64_t from = end - count;
        if (m_source.ReadAt(from, std::span(m_back).first(count)) != count) {
            m_outcome = DeepScanOutcome::ReadFailed;
            return false;
        }
        std::size_t k = count;
        while (k > 0 && IsNameChar(m_back[k - 1])) {
            --k;
        }
        if (k > 0) {
            runStart = from + k;
            afterPoint = m_back[k - 1] == '.';
            return true;
        }
        end = from;
    }
    runStart = m_floor;
    afterPoint = m_floor > 0;
    return true;
}

void Scanner::Keep(std::size_t type)
{
    if (m_last[type] && *m_last[type] == m_name) {
        return;
    }
    auto known = m_seen.find(m_name);
    if (known == m_seen.end()) {
        known = m_seen.insert(std::move(m_name)).first; // a name may be as long as the file
        m_found[type].push_back(&*known);
    }
    m_last[type] = &*known;
}

DeepScanResult Failure(DeepScanOutcome outcome)
{
    DeepScanResult result;
    result.outcome = outcome;
    return result;
}

// Why a path could not be opened for the scan. Only looks: nothing is opened here.
DeepScanOutcome WhyNotOpened(const std::string &path)
{
    std::error_code error;
    const auto status = std::filesystem::status(FsPath(path), error);
    if (status.type() == std::filesystem::file_type::not_found || path.empty()) {
        return DeepScanOutcome::NoSuchFile;
    }
    if (!error && status.type() != std::filesystem::file_type::regular) {
        return DeepScanOutcome::NotAFile;
    }
    return DeepScanOutcome::CannotOpen;
}

} // namespace

std::string_view DeepScanStatusText(DeepScanOutcome outcome)
{
    // In the order DeepScanOutcome lists them.
    static constexpr std::string_view kTexts[] = {
        "OK",
        "Cancelled.",
        "No such file.",
        "Not a regular file.",
        "Cannot open the file for reading.",
        "Could not read the file to its end.",
        "Not enough memory for the names in the file.",
    };
    return kTexts[static_cast<std::size_t>(outcome)];
}

DeepScanResult ScanSourceContents(const ByteSource &source, const std::array<bool, 5> &ticked,
                                  const std::atomic<bool> *cancel, std::size_t chunkSize)
{
    // Names are as long as the file allows: a hostile file can hold one larger than memory.
    try {
        return Scanner(source, ticked, cancel, chunkSize).Run();
    } catch (const std::bad_alloc &) {
        return Failure(DeepScanOutcome::OutOfMemory);
    }
}

DeepScanResult RunDeepScan(const std::string &path, const std::array<bool, 5> &ticked,
                           const std::atomic<bool> *cancel)
{
    const auto file = FileBytes::Open(path);
    if (!file) {
        return Failure(WhyNotOpened(path));
    }
    return ScanSourceContents(*file, ticked, cancel);
}

void CopyNamesToDependencyList(const std::vector<std::string> &list1,
                               std::vector<std::string> &lstDep)
{
    for (const std::string &item : list1) {
        std::string_view tail(item);
        tail = tail.substr(tail.size() - std::min<std::size_t>(tail.size(), 4));
        const auto first = tail.find_first_not_of(' ');
        if (!item.empty() && first != std::string_view::npos && tail[first] == '.') {
            lstDep.push_back(item);
        }
    }
}

} // namespace quorvane
