#include "core/pe/FileBytes.h"

#include <algorithm>
#include <cstring>

namespace quorvane {

std::span<const std::uint8_t> MemorySource::Window(std::uint64_t offset,
                                                   std::uint64_t maxCount) const
{
    if (offset >= m_bytes.size()) {
        return {};
    }
    const auto count = std::min<std::uint64_t>(maxCount, m_bytes.size() - offset);
    return m_bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
}

namespace {

// Copies window after window into out; the count copied.
std::size_t CopyWindows(const ByteSource &source, std::uint64_t offset, std::span<std::uint8_t> out)
{
    std::size_t done = 0;
    while (done < out.size()) {
        const auto window = source.Window(offset + done, out.size() - done);
        if (window.empty()) {
            break;
        }
        std::memcpy(out.data() + done, window.data(), window.size());
        done += window.size();
    }
    return done;
}

} // namespace

std::size_t ByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    return CopyWindows(*this, offset, out);
}

bool ByteView::Read(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    return Contains(offset, out.size()) && CopyWindows(*m_source, offset, out) == out.size();
}

std::optional<std::uint16_t> ByteView::ReadU16(std::uint64_t offset) const
{
    std::uint8_t b[2];
    if (!Read(offset, b)) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::optional<std::uint32_t> ByteView::ReadU32(std::uint64_t offset) const
{
    std::uint8_t b[4];
    if (!Read(offset, b)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::optional<std::string> ByteView::ReadCString(std::uint64_t offset,
                                                 std::uint64_t maxLength) const
{
    std::string text;
    std::uint64_t at = offset;
    while (at - offset <= maxLength) {
        // Room for the remaining name bytes and the zero after them, saturating at the top.
        const std::uint64_t remaining = maxLength - (at - offset);
        const auto window =
            m_source->Window(at, remaining == UINT64_MAX ? remaining : remaining + 1);
        if (window.empty()) {
            return std::nullopt;
        }
        const auto *zero =
            static_cast<const std::uint8_t *>(std::memchr(window.data(), 0, window.size()));
        const auto count = zero ? static_cast<std::size_t>(zero - window.data()) : window.size();
        text.append(reinterpret_cast<const char *>(window.data()), count);
        if (zero) {
            return text;
        }
        at += window.size();
    }
    return std::nullopt;
}

PagedSource::PagedSource(std::uint64_t size, std::size_t pageSize, std::size_t maxPages)
    : m_size(size), m_pageSize(std::max<std::size_t>(pageSize, 1)),
      m_maxPages(std::max<std::size_t>(maxPages, 1))
{
}

std::span<const std::uint8_t> PagedSource::Window(std::uint64_t offset,
                                                  std::uint64_t maxCount) const
{
    if (offset >= m_size || maxCount == 0) {
        return {};
    }
    const std::uint64_t index = offset / m_pageSize;
    ++m_clock;
    auto hit = std::find_if(m_pages.begin(), m_pages.end(),
                            [index](const Page &p) { return p.index == index; });
    if (hit == m_pages.end()) {
        if (m_pages.size() < m_maxPages) {
            hit = m_pages.insert(m_pages.end(), Page{});
        } else {
            hit =
                std::min_element(m_pages.begin(), m_pages.end(), [](const Page &a, const Page &b) {
                    return a.lastUse < b.lastUse;
                });
        }
        hit->index = index;
        // The last page is only as long as the store claims to be, so that a store that grew
        // after it was opened cannot show more bytes than Size() promised.
        const std::uint64_t start = index * m_pageSize;
        hit->bytes.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(m_pageSize, m_size - start)));
        const auto got = ReadAt(start, hit->bytes);
        hit->bytes.resize(got);
    }
    hit->lastUse = m_clock;
    const std::uint64_t inPage = offset - index * m_pageSize;
    if (inPage >= hit->bytes.size()) {
        return {}; // the store ended early: a file that shrank after it was opened
    }
    const auto count = std::min<std::uint64_t>(maxCount, hit->bytes.size() - inPage);
    return std::span<const std::uint8_t>(hit->bytes)
        .subspan(static_cast<std::size_t>(inPage), static_cast<std::size_t>(count));
}

} // namespace quorvane
