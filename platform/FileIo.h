// The one path through which the ZIP library and the engine read, write and position
// open files. Production code uses the system calls; a test installs its own FileIo to
// make a write fail or come up short (a full disk, an I/O error) without a real device.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavrin::platform {

class FileIo {
public:
    virtual ~FileIo() = default;

    // Same contracts as read(2), write(2), lseek(2) and fsync(2): -1 with errno on failure.
    virtual ssize_t Read(int fd, void* buffer, std::size_t size);
    // Same contract as pread(2): reads at `offset` without moving the file position.
    virtual ssize_t ReadAt(int fd, void* buffer, std::size_t size, off_t offset);
    virtual ssize_t Write(int fd, const void* data, std::size_t size);
    virtual off_t Seek(int fd, off_t offset, int whence);
    virtual int Sync(int fd);

    // The FileIo in use: the installed one, else the system calls.
    static FileIo& Current();

    // Installs `replacement` (nullptr: back to the system calls) and returns the one
    // it replaces. Meant for tests; install before the code under test starts.
    static FileIo* Install(FileIo* replacement);
};

// Writes all `size` bytes, continuing after short writes and interrupted calls. False
// when the platform reports an error or stops accepting bytes; errno then says why
// (ENOSPC when a write took nothing without naming an error).
bool WriteFully(int fd, const void* data, std::size_t size);

// One read of up to `size` bytes, retried when interrupted: bytes read, 0 at the end
// of the file, -1 with errno on failure.
ssize_t ReadSome(int fd, void* buffer, std::size_t size);

// Reads until `size` bytes or the end of the file: bytes read, or -1 with errno.
ssize_t ReadUpTo(int fd, void* buffer, std::size_t size);

enum class FileReadResult {
    Read,
    Failed,   // errno says why (EISDIR or EINVAL for what is not a regular file)
    TooLarge, // more than the most the caller takes
};

// Reads the whole regular file at `path`, of at most `maxSize` bytes, into `bytes`.
// Links are not followed and a FIFO cannot block the read.
FileReadResult ReadWholeFile(const std::string& path, std::string& bytes, std::size_t maxSize);
FileReadResult ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes, std::size_t maxSize);

} // namespace tavrin::platform
