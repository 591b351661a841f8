#include "engine/Workspace.h"

#include "engine/HeldFolder.h"
#include "engine/TextUtil.h"
#include "platform/FileDescriptor.h"
#include "platform/PathJoin.h"
#include "platform/SystemError.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tavrin {
namespace {

std::mutex overrideMutex;
std::string rootOverride;

// Deletes the entries of the open directory `dirFd`; symbolic links are unlinked
// themselves because every lookup is relative to a descriptor opened with O_NOFOLLOW.
void DeleteEntriesAt(int dirFd)
{
    platform::FileDescriptor owned(dirFd); // until the directory stream takes it
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr)
        return;
    owned.Release();
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat info {};
        if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            const int child = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                DeleteEntriesAt(child);
            ::unlinkat(dirFd, name, AT_REMOVEDIR);
        } else {
            ::unlinkat(dirFd, name, 0);
        }
    }
    ::closedir(dir);
}

} // namespace

std::string GetWorkspaceRoot()
{
    {
        std::lock_guard lock(overrideMutex);
        if (!rootOverride.empty())
            return rootOverride;
    }
    return platform::JoinPath(platform::TemporaryFolder(), "BsTmp-" + std::to_string(::getuid()));
}

void SetWorkspaceRootOverride(const std::string& root)
{
    std::lock_guard lock(overrideMutex);
    rootOverride = root;
    while (rootOverride.size() > 1 && rootOverride.back() == '/')
        rootOverride.pop_back();
}

WorkspaceCheck EnsureWorkspaceRoot()
{
    const std::string root = GetWorkspaceRoot();
    WorkspaceCheck check;
    if (::mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) {
        check.error = root + ": " + platform::SystemErrorText(errno);
        return check;
    }
    // Opened without following a link, then checked through the descriptor, so what
    // is checked is what is used.
    const platform::FileDescriptor directory(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const int fd = directory.Get();
    if (fd < 0) {
        check.error = root + ": " + (errno == ELOOP || errno == ENOTDIR ? std::string("not a real directory")
                                                                         : platform::SystemErrorText(errno));
        return check;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        check.error = root + ": " + platform::SystemErrorText(errno);
    } else if (!S_ISDIR(info.st_mode)) {
        check.error = root + ": not a real directory";
    } else if (info.st_uid != ::getuid()) {
        check.error = root + ": owned by another user";
    } else if ((info.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        check.error = root + ": " + platform::SystemErrorText(errno);
    } else {
        check.usable = true;
    }
    return check;
}

bool IsRealDirectory(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void DeleteFolderTree(const std::string& path)
{
    // Members held in memory for the folder's files go with them.
    HeldFolder::ForgetAt(path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        DeleteEntriesAt(fd);
}

void RemoveFolderTree(const std::string& path)
{
    HeldFolder::ForgetAt(path);
    if (!IsRealDirectory(path))
        return;
    DeleteFolderTree(path);
    ::rmdir(path.c_str());
}

void WipeWorkspace()
{
    const std::string root = GetWorkspaceRoot();
    struct stat info {};
    HeldFolder::ForgetAt(root);
    if (::lstat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return;
    DeleteFolderTree(root);
    ::rmdir(root.c_str());
}

std::string FileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PackageFolder(const std::string& jobPath, int jobIndex)
{
    // The index follows the last '.', which no decimal number holds, so two jobs never
    // share a folder ("T.odb1" job 1 and "T.odb" job 11 were both "T.odb11" without
    // it); for the same reason the name may be cut to leave room for the index.
    std::string name = FileNameOf(jobPath);
    if (name.size() > kMaxPackageFolderStem)
        name.resize(kMaxPackageFolderStem);
    return GetWorkspaceRoot() + "/" + name + "." + std::to_string(jobIndex);
}

std::string FurtherPackageFolder(const std::string& packageFolder, std::size_t number)
{
    return packageFolder + "-" + std::to_string(number);
}

} // namespace tavrin
