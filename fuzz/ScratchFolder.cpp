#include "fuzz/ScratchFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/Workspace.h"
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

void ScratchFolder::Empty() const
{
    // Folders an input made unreadable would keep their contents from the next input.
    for (const TreeEntry& entry : TreeEntries(path_))
        if (entry.kind == TreeEntry::Folder)
            ::chmod((path_ + "/" + entry.path).c_str(), 0700);
    DeleteFolderTree(path_);
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || !platform::WriteFully(fd, data, size) || ::close(fd) != 0)
        FuzzFailure("cannot write the input file", path.c_str());
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

void CollectEntries(const std::string& folder, const std::string& prefix, std::vector<TreeEntry>& out)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    ::closedir(dir);
    for (const std::string& name : names) {
        struct stat info {};
        const std::string full = folder + "/" + name;
        if (::lstat(full.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            out.push_back({prefix + name, TreeEntry::Folder});
            CollectEntries(full, prefix + name + "/", out);
        } else {
            out.push_back({prefix + name, S_ISREG(info.st_mode) ? TreeEntry::File : TreeEntry::Other});
        }
    }
}

} // namespace

std::vector<TreeEntry> TreeEntries(const std::string& folder)
{
    std::vector<TreeEntry> out;
    CollectEntries(folder, "", out);
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
