#pragma once

// Ends a test here on Windows and says why: for the part of a test that only a POSIX system has,
// or that Wine cannot stand in for. Elsewhere it does nothing.

#include <gtest/gtest.h>

#ifdef _WIN32
#define QUORVANE_POSIX_ONLY_FROM_HERE(why) GTEST_SKIP() << "not on Windows: " << why
#else
#define QUORVANE_POSIX_ONLY_FROM_HERE(why) static_cast<void>(0)
#endif

namespace quorvane::test {

/// Why a test that needs a symbolic link ends on Windows.
inline constexpr const char *kNoLinks =
    "Wine makes no symbolic links, and Windows makes them only with a privilege";

} // namespace quorvane::test
