#pragma once

#include "core/pe/ByteView.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

/// Bytes read on demand in pages from a backing store, with a few pages kept, so that the cost of
/// a reader follows what it reads and memory stays bounded whatever a file's tables say. A store
/// that returns fewer bytes than its size promised (a file that shrank) gives missing bytes, never
/// a signal. The page size and count are parameters so that tests and fuzz targets can make every
/// read cross pages and every lookup evict one.
class PagedSource : public ByteSource {
public:
    static constexpr std::size_t kPageSize = 64 * 1024;
    // Enough for the headers, one table and the names near it; a hostile table that points all
    // over the file recycles these pages instead of growing.
    static constexpr std::size_t kMaxPages = 32;

    std::uint64_t Size() const override { return m_size; }
    std::span<const std::uint8_t> Window(std::uint64_t offset,
                                         std::uint64_t maxCount) const override;

    /// Reads up to out.size() bytes at offset from the store, past the pages; the count read (0 at
    /// the end or on failure).
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override = 0;

protected:
    /// pageSize and maxPages below 1 count as 1.
    explicit PagedSource(std::uint64_t size, std::size_t pageSize = kPageSize,
                         std::size_t maxPages = kMaxPages);

private:
    struct Page {
        std::uint64_t index = UINT64_MAX;
        std::vector<std::uint8_t> bytes; // shorter than the page size at the end of the store
        std::uint64_t lastUse = 0;
    };

    std::uint64_t m_size;
    std::size_t m_pageSize;
    std::size_t m_maxPages;
    mutable std::vector<Page> m_pages;
    mutable std::uint64_t m_clock = 0;
};

/// A file opened read-only for analysis: regular files only, opened without blocking and never for
/// writing, read in pages.
class FileBytes final : public PagedSource {
public:
    /// nullptr when the path names no regular file that can be opened for reading (missing, a
    /// folder, a pipe, a device, no permission, an empty path).
    static std::unique_ptr<FileBytes> Open(const std::string &path);

    ~FileBytes() override;
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    /// Reads up to out.size() bytes at offset straight from the file; the count read (0 at the end
    /// or on failure).
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    FileBytes(std::intptr_t handle, std::uint64_t size) : PagedSource(size), m_handle(handle) {}

    std::intptr_t m_handle;
};

} // namespace quorvane
