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
#include "platform/PathJoin.h"
#include "platform/SystemError.h"

namespace tavrin {
namespace {

constexpr const char* kLockName = ".lock";
// A folder whose lock file is missing may be one whose run has not created it yet.
constexpr std::time_t kUnlockedGrace = 60;

// `name` in the folder open as `parentFd`: a real folder of this user whose run is gone.
// Looked at through descriptors opened without following links, so a link put in its
// place, or in place of its lock, is never taken for it.
bool IsStale(int parentFd, const std::string& name)
{
    const platform::FileDescriptor folder(
        ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!folder.IsOpen() || ::fstat(folder.Get(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    const platform::FileDescriptor lock(
        ::openat(folder.Get(), kLockName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!lock.IsOpen())
        return errno == ENOENT && std::time(nullptr) - info.st_mtime > kUnlockedGrace;
    struct stat lockInfo {};
    return ::fstat(lock.Get(), &lockInfo) == 0 && S_ISREG(lockInfo.st_mode) &&
           ::flock(lock.Get(), LOCK_EX | LOCK_NB) == 0;
}

} // namespace

bool RunFolder::Create(const std::string& prefix, std::string* error)
{
    return CreateIn(platform::TemporaryFolder(), prefix, error);
}

bool RunFolder::CreateIn(const std::string& base, const std::string& prefix, std::string* error)
{
    std::string pattern = platform::JoinPath(base, prefix + "-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        if (error != nullptr)
            *error = base + ": " + platform::LastSystemErrorText();
        return false;
    }
    const std::string lock = pattern + "/" + kLockName;
    lock_ = platform::FileDescriptor(::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock_.IsOpen() || ::flock(lock_.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (error != nullptr)
            *error = lock + ": " + platform::LastSystemErrorText();
        lock_.Close();
        RemoveFolderTree(pattern);
        return false;
    }
    path_ = pattern;
    return true;
}

void RunFolder::Remove()
{
    if (!path_.empty())
        RemoveFolderTree(path_);
    path_.clear();
    lock_.Close();
}

void RunFolder::RemoveStale(const std::string& prefix)
{
    RemoveStaleIn(platform::TemporaryFolder(), prefix);
}

void RunFolder::RemoveStaleIn(const std::string& base, const std::string& prefix)
{
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolderEntries(base, entries))
        return;
    const platform::FileDescriptor parent(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.IsOpen())
        return;
    const std::string start = prefix + "-";
    for (const platform::FolderEntry& entry : entries) {
        if (entry.kind != platform::FolderEntry::Folder || entry.name.size() != start.size() + 6 ||
            entry.name.compare(0, start.size(), start) != 0)
            continue;
        if (IsStale(parent.Get(), entry.name))
            RemoveFolderTree(platform::JoinPath(base, entry.name));
    }
}

} // namespace tavrin
