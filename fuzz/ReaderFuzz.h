#pragma once

// The checks shared by the two reader targets. The reader runs over the bytes in memory, and again
// through the page cache that reads files (with pages of a few bytes, so that every read crosses
// pages and every lookup evicts one): the answers must be the same. A store that shrinks after a
// few page reads stands for a file cut while it is read: it must end in a status, and any list it
// still produces must be the true one.
#include "core/pe/FileBytes.h"
#include "core/pe/modPETables.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

namespace quorvane::fuzz {

/// Bytes in memory read through the file's page cache; after shrinkAfterReads page reads the store
/// holds only its first shrinkTo bytes.
class PagedMemory final : public PagedSource {
public:
    PagedMemory(std::span<const std::uint8_t> bytes, std::size_t pageSize, std::size_t maxPages,
                std::uint64_t shrinkTo = UINT64_MAX, unsigned shrinkAfterReads = 0)
        : PagedSource(bytes.size(), pageSize, maxPages), m_bytes(bytes), m_shrinkTo(shrinkTo),
          m_shrinkAfterReads(shrinkAfterReads)
    {
    }

protected:
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        ++m_reads;
        std::uint64_t size = m_bytes.size();
        if (m_shrinkTo != UINT64_MAX && m_reads > m_shrinkAfterReads) {
            size = std::min<std::uint64_t>(size, m_shrinkTo);
        }
        if (offset >= size) {
            return 0;
        }
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size - offset));
        std::memcpy(out.data(), m_bytes.data() + offset, count);
        return count;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::uint64_t m_shrinkTo;
    unsigned m_shrinkAfterReads;
    mutable unsigned m_reads = 0;
};

inline void Require(bool condition)
{
    if (!condition) {
        std::abort(); // a finding: libFuzzer saves the input, the replay test fails
    }
}

inline bool Same(const ReaderResult &a, const ReaderResult &b)
{
    return a.Ok() == b.Ok() && a.Status() == b.Status() && a.names == b.names;
}

using Reader = ReaderResult (*)(const ByteSource &);

inline void FuzzReader(const std::uint8_t *data, std::size_t size, Reader read,
                       std::string_view okStatus)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const ReaderResult inMemory = read(MemorySource(bytes));
    Require(!inMemory.Status().empty());
    Require(inMemory.Ok() == (inMemory.Status() == okStatus));
    Require(inMemory.Ok() || inMemory.names.empty());
    for (const std::string &name : inMemory.names) {
        Require(name.find('\0') == std::string::npos); // names end at their zero byte
    }

    Require(Same(read(PagedMemory(bytes, 7, 1)), inMemory));
    Require(Same(read(PagedMemory(bytes, 64, 3)), inMemory));

    const ReaderResult shrunk = read(PagedMemory(bytes, 64, 2, size / 2, 2));
    Require(!shrunk.Status().empty());
    Require(!shrunk.Ok() || Same(shrunk, inMemory));
}

} // namespace quorvane::fuzz
