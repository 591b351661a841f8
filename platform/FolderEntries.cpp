#include "platform/FolderEntries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace tavrin::platform {

bool ListFolderEntries(const std::string& folder, std::vector<FolderEntry>& entries)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return false;
    while (const dirent* item = ::readdir(dir)) {
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0)
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), item->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const FolderEntry::Kind kind = S_ISREG(info.st_mode)   ? FolderEntry::File
                                       : S_ISDIR(info.st_mode) ? FolderEntry::Folder
                                                               : FolderEntry::Other;
        entries.push_back({item->d_name, kind});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

} // namespace tavrin::platform
