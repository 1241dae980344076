#pragma once

#include "pe/ByteView.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

/// A file opened read-only for analysis: regular files only, opened without blocking and never for
/// writing. Bytes are read on demand in pages, so the cost of a reader follows what it reads, not
/// the size of the file, and a file that shrinks while it is read gives missing bytes, never a
/// signal. A few pages are kept; memory stays bounded whatever the file's tables say.
class FileBytes final : public ByteSource {
public:
    /// nullptr when the path names no regular file that can be opened for reading (missing, a
    /// folder, a pipe, a device, no permission, an empty path).
    static std::unique_ptr<FileBytes> Open(const std::string &path);

    ~FileBytes() override;
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    std::uint64_t Size() const override { return m_size; }
    std::span<const std::uint8_t> Window(std::uint64_t offset,
                                         std::uint64_t maxCount) const override;

    /// Reads up to out.size() bytes at offset straight from the file; the count read (0 at the end
    /// or on failure). For sequential readers that need no page cache.
    std::size_t ReadDirect(std::uint64_t offset, std::span<std::uint8_t> out) const;

    static constexpr std::size_t kPageSize = 64 * 1024;
    // Enough for the headers, one table and the names near it; a hostile table that points all
    // over the file recycles these pages instead of growing.
    static constexpr std::size_t kMaxPages = 32;

private:
    struct Page {
        std::uint64_t index = UINT64_MAX;
        std::vector<std::uint8_t> bytes; // shorter than kPageSize at the end of the file
        std::uint64_t lastUse = 0;
    };

    FileBytes(std::intptr_t handle, std::uint64_t size) : m_handle(handle), m_size(size) {}

    std::intptr_t m_handle;
    std::uint64_t m_size;
    mutable std::vector<Page> m_pages;
    mutable std::uint64_t m_clock = 0;
};

} // namespace quorvane
