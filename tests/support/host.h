// What the host the tests were built for offers beyond portable C++: POSIX systems have permission bits
// and owners, symbolic links anyone may make, named pipes and signals; Windows has none of them in that
// form. A test about them is skipped by this build fact on a Windows build, never by hand.
#pragma once

#include <gtest/gtest.h>

namespace testing_support {

#ifdef _WIN32
inline constexpr bool kPosixHost = false;
#else
inline constexpr bool kPosixHost = true;
#endif

} // namespace testing_support

// Ends the test as skipped where the host has no POSIX file modes, owners, links or pipes.
#define SKIP_UNLESS_POSIX_HOST()                                                                             \
    do {                                                                                                     \
        if (!testing_support::kPosixHost)                                                                    \
            GTEST_SKIP() << "needs POSIX file modes, owners, links or pipes, which this host lacks";         \
    } while (false)
