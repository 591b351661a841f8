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
    readError.clear();
    platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.IsOpen())
        return false;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        if (S_ISDIR(info.st_mode))
            errno = EISDIR;
        return false;
    }
    file_ = std::move(file);
    length_ = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    return true;
}

void ScannedPackage::Close()
{
    file_.Close();
    length_ = 0;
}

} // namespace tavrin
