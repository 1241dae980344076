#pragma once
// Scan sources for tests: bytes in memory that count what is read and may change at a chosen read.

#include "core/pe/FileBytes.h"
#include "core/scan/DeepScan.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace quorvane::test {

inline constexpr std::array<bool, 5> kAllTypes{true, true, true, true, true};

class BytesSource final : public PagedSource {
public:
    explicit BytesSource(std::string bytes) : PagedSource(bytes.size()), m_bytes(std::move(bytes))
    {
    }

    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (onRead) {
            onRead(++reads, m_bytes); // it may cut the bytes short: PagedSource keeps the old size
        }
        const auto from = static_cast<std::size_t>(std::min<std::uint64_t>(offset, m_bytes.size()));
        const std::size_t count = std::min(out.size(), m_bytes.size() - from);
        std::memcpy(out.data(), m_bytes.data() + from, count);
        bytesRead += count;
        return count;
    }

    std::function<void(std::size_t read, std::string &bytes)> onRead; // reads count from 1
    mutable std::size_t reads = 0;
    mutable std::uint64_t bytesRead = 0;

private:
    mutable std::string m_bytes;
};

/// The scan of bytes, whole and in pieces of piece bytes.
inline DeepScanResult Scan(std::string bytes, const std::array<bool, 5> &ticked = kAllTypes,
                           std::size_t piece = kDeepScanChunkSize)
{
    return ScanSourceContents(BytesSource(std::move(bytes)), ticked, nullptr, piece);
}

} // namespace quorvane::test
