#pragma once

// The checks the reader targets share. A reader runs over the bytes in memory, and again through
// the page cache that reads files (with pages of a few bytes, so that every read crosses pages and
// every lookup evicts one): the answers must be the same. A store that shrinks after a few page
// reads stands for a file cut while it is read: it must end in a status, and any answer it still
// gives must be the true one.
#include "core/pe/modPEFunctions.h"
#include "core/pe/modPETables.h"
#include "support/PagedMemory.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>

namespace quorvane::fuzz {

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
              << (f.ordinal ? *f.ordinal + 1 : 0); // 0: by name
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
    Require(Key(read(test::PagedMemory(bytes, 7, 1))) == Key(r));
    Require(Key(read(test::PagedMemory(bytes, 64, 3))) == Key(r));
    const Result shrunk = read(test::PagedMemory(bytes, 64, 2, bytes.size() / 2, 2));
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
