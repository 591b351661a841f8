#include "platform/FileIo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"

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

namespace {

template <typename Bytes>
FileReadResult ReadWholeFileInto(const std::string& path, Bytes& bytes, std::size_t maxSize)
{
    bytes.clear();
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!file.IsOpen())
        return FileReadResult::Failed;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        return FileReadResult::Failed;
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return FileReadResult::Failed;
    }
    if (static_cast<std::uint64_t>(info.st_size) > maxSize)
        return FileReadResult::TooLarge;
    // The size is a hint only: a file that grows meanwhile is read to its end, within the bound.
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() >= maxSize) {
                char probe = 0;
                const ssize_t more = ReadSome(file.Get(), &probe, 1);
                if (more < 0)
                    return FileReadResult::Failed;
                if (more > 0)
                    return FileReadResult::TooLarge;
                break;
            }
            bytes.resize(std::min(maxSize, std::max<std::size_t>(bytes.size() * 2, 4096)));
        }
        const ssize_t got = ReadSome(file.Get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0)
            return FileReadResult::Failed;
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return FileReadResult::Read;
}

} // namespace

FileReadResult ReadWholeFile(const std::string& path, std::string& bytes, std::size_t maxSize)
{
    return ReadWholeFileInto(path, bytes, maxSize);
}

FileReadResult ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes, std::size_t maxSize)
{
    return ReadWholeFileInto(path, bytes, maxSize);
}

} // namespace tavrin::platform
