#include "engine/RunFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "engine/Workspace.h"
#include "platform/FolderEntries.h"
#include "platform/SystemError.h"

namespace tavrin {
namespace {

constexpr const char* kLockName = ".lock";
// A folder whose lock file is missing may be one whose run has not created it yet.
constexpr std::time_t kUnlockedGrace = 60;

void RemoveFolder(const std::string& path)
{
    DeleteFolderTree(path);
    ::rmdir(path.c_str());
}

bool IsStale(const std::string& folder)
{
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    const std::string lock = folder + "/" + kLockName;
    const int fd = ::open(lock.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT && std::time(nullptr) - info.st_mtime > kUnlockedGrace;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

} // namespace

RunFolder::~RunFolder()
{
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

std::string RunFolder::TemporaryBase()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
}

bool RunFolder::Create(const std::string& prefix, std::string* error)
{
    const std::string base = TemporaryBase();
    std::string pattern = (base == "/" ? "" : base) + "/" + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        if (error != nullptr)
            *error = base + ": " + platform::LastSystemErrorText();
        return false;
    }
    const std::string lock = pattern + "/" + kLockName;
    lockFd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        if (error != nullptr)
            *error = lock + ": " + platform::LastSystemErrorText();
        if (lockFd_ >= 0)
            ::close(lockFd_);
        lockFd_ = -1;
        RemoveFolder(pattern);
        return false;
    }
    path_ = pattern;
    return true;
}

void RunFolder::Remove()
{
    if (!path_.empty())
        RemoveFolder(path_);
    path_.clear();
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
}

void RunFolder::RemoveStale(const std::string& prefix)
{
    const std::string base = TemporaryBase();
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolderEntries(base, entries))
        return;
    const std::string start = prefix + "-";
    for (const platform::FolderEntry& entry : entries) {
        if (entry.kind != platform::FolderEntry::Folder || entry.name.size() != start.size() + 6 ||
            entry.name.compare(0, start.size(), start) != 0)
            continue;
        const std::string folder = (base == "/" ? "" : base) + "/" + entry.name;
        if (IsStale(folder))
            RemoveFolder(folder);
    }
}

} // namespace tavrin
