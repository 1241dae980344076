#pragma once

#include <chrono>

namespace quorvane::test {

/// The bound for work that must finish "at once": one second in an optimised build. Without
/// optimisation and under the sanitizers the same work runs several times slower on a busy
/// machine, so those builds allow ten; a hang or a quadratic walk still fails either way.
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
inline constexpr std::chrono::seconds kAtOnce{10};
#else
inline constexpr std::chrono::seconds kAtOnce{1};
#endif

} // namespace quorvane::test
