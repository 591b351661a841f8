#include "platform/FileInformation.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace tavrin::platform {

namespace {

void SetKindAndAttributes(mode_t mode, std::string_view fileName, FileInformation& info)
{
    info.isRegularFile = S_ISREG(mode);
    info.isDirectory = S_ISDIR(mode);
    info.attributes = 0;
    if ((mode & S_IWUSR) == 0)
        info.attributes |= FileAttributeReadOnly;
    if (!fileName.empty() && fileName.front() == '.' && fileName != "." && fileName != "..")
        info.attributes |= FileAttributeHidden;
    if (info.isDirectory)
        info.attributes |= FileAttributeDirectory;
}

} // namespace

int ReadFileInformation(int fd, std::string_view fileName, FileInformation& info)
{
    info = FileInformation{};
#ifdef STATX_BTIME
    struct statx extended{};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &extended) == 0) {
        SetKindAndAttributes(extended.stx_mode, fileName, info);
        info.size = extended.stx_size;
        info.accessTime = extended.stx_atime.tv_sec;
        info.modificationTime = extended.stx_mtime.tv_sec;
        info.creationTime = (extended.stx_mask & STATX_BTIME) != 0 ? extended.stx_btime.tv_sec : extended.stx_mtime.tv_sec;
        return 0;
    }
    if (errno != ENOSYS && errno != EINVAL)
        return errno;
#endif
    struct stat basic{};
    if (::fstat(fd, &basic) != 0)
        return errno;
    SetKindAndAttributes(basic.st_mode, fileName, info);
    info.size = static_cast<std::uint64_t>(basic.st_size);
    info.accessTime = basic.st_atim.tv_sec;
    info.modificationTime = basic.st_mtim.tv_sec;
    info.creationTime = basic.st_mtim.tv_sec;
    return 0;
}

} // namespace tavrin::platform
