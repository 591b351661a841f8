#include "engine/ScannedPackage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tavrin {

ScannedPackage::~ScannedPackage()
{
    Close();
}

bool ScannedPackage::Open(const std::string& path)
{
    Close();
    lost.clear();
    lostNotKept = 0;
    brokenNotKept = 0;
    membersRecovered = 0;
    databaseMembers.clear();
    readError.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = error;
        return false;
    }
    fd_ = fd;
    length_ = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    return true;
}

void ScannedPackage::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    length_ = 0;
}

} // namespace tavrin
