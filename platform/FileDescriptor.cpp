#include "platform/FileDescriptor.h"

#include <cerrno>
#include <unistd.h>

namespace tavrin::platform {

FileDescriptor::~FileDescriptor()
{
    // Callers read errno after the failure that ended their scope; keep it for them.
    const int saved = errno;
    Close();
    errno = saved;
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

int FileDescriptor::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

int FileDescriptor::Close()
{
    if (fd_ < 0)
        return 0;
    // Linux frees the descriptor even when close fails, EINTR included: never retry.
    const int result = ::close(Release());
    return result == 0 ? 0 : errno;
}

} // namespace tavrin::platform
