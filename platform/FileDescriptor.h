// The one owner of an open file descriptor: closes it when it goes out of scope, so no
// early return leaks one. Move-only; a moved-from owner holds nothing.
#pragma once

namespace tavrin::platform {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

    // Gives the descriptor up without closing it.
    int Release();

    // Closes the descriptor now: 0, or the errno of a failed close(2) (a delayed write
    // error shows here). The descriptor is gone either way.
    int Close();

private:
    int fd_ = -1;
};

} // namespace tavrin::platform
