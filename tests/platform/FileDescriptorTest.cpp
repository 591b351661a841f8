#include "platform/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tavrin::platform;

namespace {

bool IsOpenInProcess(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(FileDescriptor, ClosesOnceWhateverWayItLeaves)
{
    int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(raw, 0);
    {
        FileDescriptor first(raw);
        FileDescriptor moved(std::move(first));
        EXPECT_FALSE(first.IsOpen()); // NOLINT(bugprone-use-after-move): the moved-from state is the point
        EXPECT_EQ(moved.Get(), raw);
        FileDescriptor assigned;
        assigned = std::move(moved);
        EXPECT_TRUE(IsOpenInProcess(raw));
    }
    EXPECT_FALSE(IsOpenInProcess(raw));

    raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int other = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    {
        FileDescriptor replaced(raw);
        replaced = FileDescriptor(other); // the old one is closed, the new one kept
        EXPECT_FALSE(IsOpenInProcess(raw));
        EXPECT_TRUE(IsOpenInProcess(other));
        EXPECT_EQ(replaced.Release(), other);
    }
    EXPECT_TRUE(IsOpenInProcess(other));
    ::close(other);
}

TEST(FileDescriptor, CloseReportsTheErrorAndKeepsErrnoForTheCaller)
{
    FileDescriptor nothing;
    EXPECT_EQ(nothing.Close(), 0);
    int spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(spare, 0);
    ::close(spare); // a number that is no longer open
    FileDescriptor stale(spare);
    EXPECT_EQ(stale.Close(), EBADF);
    EXPECT_FALSE(stale.IsOpen());
    {
        FileDescriptor dropped(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        errno = ENOSPC;
    }
    EXPECT_EQ(errno, ENOSPC);
}

} // namespace
