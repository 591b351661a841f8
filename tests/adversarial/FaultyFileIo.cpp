#include "FaultyFileIo.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace tavrin::test {

FaultyFileIo::FaultyFileIo() : previous_(platform::FileIo::Install(this)) {}

FaultyFileIo::~FaultyFileIo()
{
    platform::FileIo::Install(previous_);
}

ssize_t FaultyFileIo::Read(int fd, void* buffer, std::size_t size)
{
    if (failReads) {
        errno = EIO;
        return -1;
    }
    return FileIo::Read(fd, buffer, size);
}

ssize_t FaultyFileIo::ReadAt(int fd, void* buffer, std::size_t size, off_t offset)
{
    if (failReads) {
        errno = EIO;
        return -1;
    }
    return FileIo::ReadAt(fd, buffer, size, offset);
}

ssize_t FaultyFileIo::Write(int fd, const void* data, std::size_t size)
{
    if (!failWritesUnder.empty()) {
        char target[4096] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        if (length > 0 && std::string(target, static_cast<std::size_t>(length)).find(failWritesUnder) != std::string::npos) {
            errno = ENOSPC;
            return -1;
        }
    }
    const std::size_t budget = writeBudget;
    if (budget == SIZE_MAX)
        return FileIo::Write(fd, data, size);
    if (budget == 0) {
        errno = ENOSPC;
        return -1;
    }
    const ssize_t written = FileIo::Write(fd, data, std::min(size, budget));
    if (written > 0)
        writeBudget -= static_cast<std::size_t>(written);
    return written;
}

int FaultyFileIo::Sync(int fd)
{
    // A full disk can also refuse the flush of data it had accepted.
    if (writeBudget == 0) {
        errno = ENOSPC;
        return -1;
    }
    return FileIo::Sync(fd);
}

} // namespace tavrin::test
