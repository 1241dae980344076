#pragma once
// Scan sources for tests: bytes in memory that count what is read, and can shrink, or run a hook,
// at a chosen read.

#include "core/pe/FileBytes.h"
#include "core/scan/DeepScan.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>

namespace quorvane::test {

inline std::span<const std::uint8_t> Bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t *>(text.data()), text.size()};
}

/// The scan over bytes in memory, in the scan's own piece size.
inline DeepScanResult ScanContents(std::span<const std::uint8_t> contents,
                                   const std::array<bool, 5> &ticked,
                                   const std::atomic<bool> *cancel = nullptr)
{
    return ScanSourceContents(MemorySource(contents), ticked, cancel);
}

class BytesSource final : public PagedSource {
public:
    explicit BytesSource(std::string bytes) : PagedSource(bytes.size()), m_bytes(std::move(bytes))
    {
    }

    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        ++reads;
        if (onRead) {
            onRead(reads);
        }
        if (reads == shrinkAtRead) {
            m_bytes.resize(m_bytes.size() / 2);
        }
        if (offset >= m_bytes.size()) {
            return 0;
        }
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), m_bytes.size() - offset));
        std::memcpy(out.data(), m_bytes.data() + offset, count);
        bytesRead += count;
        return count;
    }

    std::size_t shrinkAtRead = 0;            // from this read on, the bytes are half as long
    std::function<void(std::size_t)> onRead; // called with the read's number, from 1
    mutable std::size_t reads = 0;
    mutable std::uint64_t bytesRead = 0;

private:
    mutable std::string m_bytes; // PagedSource keeps the size it had when the source was "opened"
};

/// The whole file's bytes (the test files are small).
inline std::string ReadWholeFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(std::filesystem::file_size(path)), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

inline constexpr std::array<bool, 5> kAllTypes{true, true, true, true, true};

} // namespace quorvane::test
