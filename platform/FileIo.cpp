#include "platform/FileIo.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrin::platform {

namespace {

std::atomic<FileIo*> installed{nullptr};

FileIo& SystemFileIo()
{
    static FileIo system;
    return system;
}

} // namespace

ssize_t FileIo::Read(int fd, void* buffer, std::size_t size) { return ::read(fd, buffer, size); }
ssize_t FileIo::ReadAt(int fd, void* buffer, std::size_t size, off_t offset)
{
    return ::pread(fd, buffer, size, offset);
}
ssize_t FileIo::Write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }
off_t FileIo::Seek(int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); }
int FileIo::Sync(int fd) { return ::fsync(fd); }

FileIo& FileIo::Current()
{
    FileIo* replacement = installed.load(std::memory_order_acquire);
    return replacement != nullptr ? *replacement : SystemFileIo();
}

FileIo* FileIo::Install(FileIo* replacement)
{
    return installed.exchange(replacement, std::memory_order_acq_rel);
}

bool WriteFully(int fd, const void* data, std::size_t size)
{
    const char* next = static_cast<const char*>(data);
    FileIo& io = FileIo::Current();
    while (size > 0) {
        const ssize_t written = io.Write(fd, next, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

ssize_t ReadSome(int fd, void* buffer, std::size_t size)
{
    FileIo& io = FileIo::Current();
    for (;;) {
        const ssize_t got = io.Read(fd, buffer, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

ssize_t ReadUpTo(int fd, void* buffer, std::size_t size)
{
    char* next = static_cast<char*>(buffer);
    std::size_t total = 0;
    while (total < size) {
        const ssize_t got = ReadSome(fd, next + total, size - total);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

bool ReadSmallFile(const std::string& path, std::string& text, std::size_t maxSize)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) <= maxSize;
    if (ok) {
        text.resize(static_cast<std::size_t>(info.st_size));
        ok = ReadUpTo(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    ::close(fd);
    return ok;
}

} // namespace tavrin::platform
