#pragma once

// Bytes in memory read through the page cache that reads files, with pages as small as a test
// wants, so that every read crosses pages and every lookup evicts one; and a store that shrinks
// after a few page reads, as a file cut while it is read.
#include "core/pe/FileBytes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

namespace quorvane::test {

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
        const std::uint64_t size = ++m_reads > m_shrinkAfterReads
                                       ? std::min<std::uint64_t>(m_bytes.size(), m_shrinkTo)
                                       : m_bytes.size();
        const auto count = static_cast<std::size_t>(
            offset >= size ? 0 : std::min<std::uint64_t>(out.size(), size - offset));
        std::memcpy(out.data(), m_bytes.data() + offset, count);
        return count;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::uint64_t m_shrinkTo;
    unsigned m_shrinkAfterReads;
    mutable unsigned m_reads = 0;
};

} // namespace quorvane::test
