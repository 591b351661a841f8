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

bool IsStale(const std::string& folder)
{
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    const std::string lock = folder + "/" + kLockName;
    const platform::FileDescriptor fd(::open(lock.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsOpen())
        return errno == ENOENT && std::time(nullptr) - info.st_mtime > kUnlockedGrace;
    return ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0;
}

} // namespace

bool RunFolder::Create(const std::string& prefix, std::string* error)
{
    const std::string base = platform::TemporaryFolder();
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
    const std::string base = platform::TemporaryFolder();
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolderEntries(base, entries))
        return;
    const std::string start = prefix + "-";
    for (const platform::FolderEntry& entry : entries) {
        if (entry.kind != platform::FolderEntry::Folder || entry.name.size() != start.size() + 6 ||
            entry.name.compare(0, start.size(), start) != 0)
            continue;
        const std::string folder = platform::JoinPath(base, entry.name);
        if (IsStale(folder))
            RemoveFolderTree(folder);
    }
}

} // namespace tavrin
