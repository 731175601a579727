// What some tests need of the machine they run on, and the one reason they skip without it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace QelTest
{
// Empty when this process can mount FUSE file systems; otherwise why it cannot, as a skip reason.
std::string FuseUnavailable();
}  // namespace QelTest

// Skips the calling test (or fixture SetUp) where FUSE cannot be mounted. Where /dev/fuse is open to
// every user (Debian's default) that is no sign of root: a test that needs root says so as well.
#define QEL_REQUIRE_FUSE()                                                                                   \
    do                                                                                                       \
    {                                                                                                        \
        const std::string qelFuseMissing = QelTest::FuseUnavailable();                                       \
        if (!qelFuseMissing.empty())                                                                         \
            GTEST_SKIP() << qelFuseMissing;                                                                  \
    } while (0)

// Skips the calling test unless it runs as root; why: what needs root.
#define QEL_REQUIRE_ROOT(why)                                                                                \
    do                                                                                                       \
    {                                                                                                        \
        if (geteuid() != 0)                                                                                  \
            GTEST_SKIP() << "needs root: " << why;                                                           \
    } while (0)

// The library copies the event-log area only as root (RawEvLog); so do the tools built on it.
#define QEL_REQUIRE_ROOT_FOR_EVENT_LOG()                                                                     \
    QEL_REQUIRE_ROOT("the library copies the event-log area only as root")
