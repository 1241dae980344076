#pragma once

// The checks the reader targets share. A reader runs over the bytes in memory, and again through
// the page cache that reads files (with pages of a few bytes, so that every read crosses pages and
// every lookup evicts one): the answers must be the same. A store that shrinks after a few page
// reads stands for a file cut while it is read: it must end in a status, and any answer it still
// gives must be the true one.
#include "core/pe/FileBytes.h"
#include "core/pe/modPEFunctions.h"
#include "core/pe/modPETables.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <sstream>
#include <string>

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

inline void Require(bool condition)
{
    if (!condition) {
        std::abort(); // a finding: libFuzzer saves the input, the replay test fails
    }
}

// Everything a reader answered, as one text to compare.
inline std::string Key(const ReaderResult &r)
{
    std::ostringstream s;
    s << r.Status();
    for (const std::string &name : r.names) {
        s << '|' << name.size() << ':' << name;
    }
    return s.str();
}

inline std::string Key(const ExportTable &t)
{
    std::ostringstream s;
    s << t.Status();
    for (const ExportedFunction &f : t.functions) {
        s << '|' << f.ordinal << ',' << f.index << ',' << f.rva << ',' << f.name.value_or("-")
          << ',' << f.forwarder.value_or("-");
    }
    return s.str();
}

inline std::string Key(const ImportFunctions &r)
{
    std::ostringstream s;
    s << r.Status();
    for (const ImportedDll &dll : r.dlls) {
        s << '|' << dll.name << ',' << dll.delayLoaded;
        for (const ImportedFunction &f : dll.functions) {
            s << ',' << f.name << ':' << f.hint << ':'
              << (f.ordinal ? std::to_string(*f.ordinal) : "-");
        }
    }
    return s.str();
}

/// The reader's answer in memory, once it gave the same through pages, and a status or the same
/// answer from a store that shrank while it was read.
template <typename Result>
Result Checked(std::span<const std::uint8_t> bytes, Result (*read)(const ByteSource &),
               std::string_view okStatus)
{
    const Result r = read(MemorySource(bytes));
    Require(!r.Status().empty() && r.Ok() == (r.Status() == okStatus));
    Require(Key(read(PagedMemory(bytes, 7, 1))) == Key(r));
    Require(Key(read(PagedMemory(bytes, 64, 3))) == Key(r));
    const Result shrunk = read(PagedMemory(bytes, 64, 2, bytes.size() / 2, 2));
    Require(!shrunk.Status().empty() && (!shrunk.Ok() || Key(shrunk) == Key(r)));
    return r;
}

/// A name reader: the checks above, no names after a failure, and names that end at their zero.
inline int FuzzReader(const std::uint8_t *data, std::size_t size,
                      ReaderResult (*read)(const ByteSource &), std::string_view okStatus)
{
    const ReaderResult r = Checked({data, size}, read, okStatus);
    Require(r.Ok() || r.names.empty());
    for (const std::string &name : r.names) {
        Require(name.find('\0') == std::string::npos);
    }
    return 0;
}

} // namespace quorvane::fuzz
