#include "fuzz/ScratchFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/FuzzTarget.h"
#include "platform/FileIo.h"

namespace tavrin::fuzz {

ScratchFolder::ScratchFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/tavrin-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        FuzzFailure("cannot create the scratch folder", pattern.c_str());
    path_ = pattern;
}

ScratchFolder::~ScratchFolder()
{
    Empty();
    ::rmdir(path_.c_str());
}

namespace {

// Removes what the open folder `dirFd` holds and closes it. Most entries are files, so
// each name is unlinked first and only a folder costs more; a folder an input made
// unreadable is opened up again, or its contents would reach the next input.
void RemoveEntriesAt(int dirFd, const std::string& keep)
{
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || keep == name)
            continue;
        if (entry->d_type != DT_DIR && ::unlinkat(dirFd, name, 0) == 0)
            continue;
        int child = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0 && errno == EACCES && ::fchmodat(dirFd, name, 0700, 0) == 0)
            child = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) {
            ::unlinkat(dirFd, name, 0);
            continue;
        }
        ::fchmod(child, 0700);
        RemoveEntriesAt(child, {});
        ::unlinkat(dirFd, name, AT_REMOVEDIR);
    }
    ::closedir(dir);
}

} // namespace

void ScratchFolder::Empty(const std::string& keep) const
{
    const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        FuzzFailure("cannot open the scratch folder", path_.c_str());
    RemoveEntriesAt(fd, keep);
}

std::vector<unsigned char> ReadWholeFile(const std::string& path)
{
    std::vector<unsigned char> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    unsigned char buffer[65536];
    for (;;) {
        const ssize_t got = platform::ReadSome(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    ::close(fd);
    return bytes;
}

namespace {

void CollectEntries(int dirFd, const std::string& prefix, std::vector<TreeEntry>& out)
{
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat info {};
        if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            out.push_back({prefix + name, TreeEntry::Folder, 0});
            const int child = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                CollectEntries(child, out.back().path + "/", out);
        } else {
            out.push_back({prefix + name, S_ISREG(info.st_mode) ? TreeEntry::File : TreeEntry::Other,
                           static_cast<std::uint64_t>(info.st_size)});
        }
    }
    ::closedir(dir);
}

} // namespace

std::vector<TreeEntry> TreeEntries(const std::string& folder)
{
    std::vector<TreeEntry> out;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        CollectEntries(fd, "", out);
    return out;
}

void FuzzFailure(const char* what, const char* detail)
{
    std::fprintf(stderr, "FUZZ INVARIANT BROKEN: %s%s%s\n", what, detail != nullptr ? ": " : "",
                 detail != nullptr ? detail : "");
    std::fflush(stderr);
    std::abort();
}

} // namespace tavrin::fuzz
