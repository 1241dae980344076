#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorvane {

/// Where the bytes of a file come from: memory (tests, fuzzing) or a file opened read-only.
/// Every byte of an analysed file is read through this one interface, bounds-checked.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    /// The size of the bytes, fixed when the source was made.
    virtual std::uint64_t Size() const = 0;

    /// Up to maxCount bytes that stand contiguously at offset; fewer at the end of a page or of the
    /// bytes, and none when offset lies at or past the end or the bytes can no longer be read (a
    /// file that shrank). The span stays valid until the next call on this source.
    virtual std::span<const std::uint8_t> Window(std::uint64_t offset,
                                                 std::uint64_t maxCount) const = 0;

    /// Copies up to out.size() bytes at offset into out, for readers that go through the bytes once
    /// in order; the count copied, fewer only at the end or when the bytes can no longer be read.
    /// A file reads them straight into out, past its page cache.
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const;
};

/// Bytes that are already in memory: the one source for bytes in memory.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    std::span<const std::uint8_t> Window(std::uint64_t offset,
                                         std::uint64_t maxCount) const override;

private:
    std::span<const std::uint8_t> m_bytes;
};

/// Little-endian, bounds-checked reads over a source. No read can reach outside it, whatever the
/// offsets say: every range is checked as offset <= size && count <= size - offset, in 64 bits.
class ByteView {
public:
    explicit ByteView(const ByteSource &source) : m_source(&source) {}

    std::uint64_t Size() const { return m_source->Size(); }
    bool Contains(std::uint64_t offset, std::uint64_t count) const
    {
        return offset <= Size() && count <= Size() - offset;
    }

    /// Copies out.size() bytes at offset; false when any of them is missing.
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const;
    std::optional<std::uint16_t> ReadU16(std::uint64_t offset) const;
    std::optional<std::uint32_t> ReadU32(std::uint64_t offset) const;

    /// The bytes from offset up to the next zero byte; nullopt when no zero byte stands before the
    /// end (or before maxLength bytes), or offset lies outside.
    std::optional<std::string> ReadCString(std::uint64_t offset,
                                           std::uint64_t maxLength = UINT64_MAX) const;

private:
    const ByteSource *m_source;
};

} // namespace quorvane
