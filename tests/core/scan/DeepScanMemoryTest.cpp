// What the deep scan allocates follows the names it finds, not the size of the file: no copy of
// the file, and no item per occurrence of a name. The global operator new is replaced here to
// count the bytes that are live at the worst moment.
#include "core/scan/DeepScan.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <new>

namespace {

std::size_t g_live = 0;
std::size_t g_peak = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);

void *Allocate(std::size_t size)
{
    auto *block = static_cast<unsigned char *>(std::malloc(size + kHeader));
    if (!block) {
        return nullptr;
    }
    *reinterpret_cast<std::size_t *>(block) = size;
    g_live += size;
    g_peak = std::max(g_peak, g_live);
    return block + kHeader;
}

void Release(void *p) noexcept
{
    if (p) {
        unsigned char *block = static_cast<unsigned char *>(p) - kHeader;
        g_live -= *reinterpret_cast<std::size_t *>(block);
        std::free(block);
    }
}

// The most the scan had allocated at one time beyond what was allocated before it started.
template <typename Scan> std::size_t PeakAllocatedBy(Scan scan)
{
    const std::size_t before = g_live;
    g_peak = g_live;
    scan();
    return g_peak - before;
}

} // namespace

void *operator new(std::size_t size)
{
    if (void *p = Allocate(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void *operator new[](std::size_t size)
{
    return operator new(size);
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    return Allocate(size);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    return Allocate(size);
}
void operator delete(void *p) noexcept
{
    Release(p);
}
void operator delete[](void *p) noexcept
{
    Release(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    Release(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    Release(p);
}
void operator delete(void *p, const std::nothrow_t &) noexcept
{
    Release(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept
{
    Release(p);
}

namespace quorvane {
namespace {

constexpr std::array<bool, 5> kAllTypes{true, true, true, true, true};
constexpr std::size_t kBounded = 1024 * 1024; // a piece, a read-back block, a few names

TEST(DeepScanMemory, FourGibibyteFileIsNotCopiedAndReadToItsEnd)
{
    test::TempDir dir;
    const auto path = dir.Write("large.dll", std::string("\0KERNEL32.DLL\0", 14));
    constexpr std::uint64_t kFar = (std::uint64_t{1} << 32) + 100; // past every 32-bit position
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(kFar));
        file.write("\0FAR.DLL\0", 9); // the gap before it is a hole: it costs no disk
    }
    ASSERT_EQ(std::filesystem::file_size(path), kFar + 9);
    DeepScanResult r;
    EXPECT_LT(PeakAllocatedBy([&] { r = RunDeepScan(path.string(), kAllTypes); }), kBounded);
    EXPECT_EQ(r.scratch, (std::vector<std::string>{"KERNEL32.DLL", "FAR.DLL"}));
}

TEST(DeepScanMemory, RepeatedNamesAreNotKeptPerOccurrence)
{
    std::string bytes;
    while (bytes.size() < (32u << 20)) {
        bytes += "\\X.DLL\\Y.OCX";
    }
    const std::span contents(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    DeepScanResult r;
    EXPECT_LT(PeakAllocatedBy([&] { r = ScanSourceContents(MemorySource(contents), kAllTypes); }),
              kBounded);
    EXPECT_EQ(r.scratch, (std::vector<std::string>{"X.DLL", "Y.OCX"}));
}

} // namespace
} // namespace quorvane
