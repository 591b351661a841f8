#include "engine/PictureWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <strings.h>
#include <vector>

#include "platform/FileIo.h"

namespace tavrin {
namespace {

constexpr std::array<const char*, 6> kPictureExtensions = {"jpg", "bmp", "png", "gif", "emf", "jpeg"};
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

struct Entry {
    std::string name;
    bool isFolder = false;
};

// The entries of one folder sorted by name; symbolic links and other special files are
// left out, so a walk never leaves the tree. False when the folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<Entry>& entries)
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
        if (S_ISDIR(info.st_mode) || S_ISREG(info.st_mode))
            entries.push_back(Entry{item->d_name, S_ISDIR(info.st_mode)});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

// Calls `visit` with the full path of every picture, depth first; stops when it
// returns false. Returns false when the top folder could not be listed.
bool WalkPictures(const std::string& folder, const std::function<bool(const std::string&, const std::string&)>& visit,
                  bool& stopped)
{
    std::vector<Entry> entries;
    if (!ListFolder(folder, entries))
        return false;
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    for (const Entry& entry : entries) {
        if (stopped)
            return true;
        const std::string path = base + entry.name;
        if (entry.isFolder)
            WalkPictures(path, visit, stopped);
        else if (IsPictureName(entry.name) && !visit(path, entry.name))
            stopped = true;
    }
    return true;
}

bool CopyFile(const std::string& source, const std::string& target)
{
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0)
        return false;
    std::string temporary = target.substr(0, target.find_last_of('/') + 1) + ".tavrin-part-XXXXXX";
    const int out = ::mkstemp(temporary.data());
    if (out < 0) {
        ::close(in);
        return false;
    }
    std::vector<unsigned char> buffer(kCopyChunk);
    bool ok = true;
    for (;;) {
        const ssize_t got = platform::ReadSome(in, buffer.data(), buffer.size());
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        if (!platform::WriteFully(out, buffer.data(), static_cast<std::size_t>(got))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    ok = ::fchmod(out, 0644) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

} // namespace

bool IsPictureName(const std::string& fileName)
{
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    const char* extension = fileName.c_str() + dot + 1;
    return std::any_of(kPictureExtensions.begin(), kPictureExtensions.end(),
                       [extension](const char* known) { return ::strcasecmp(extension, known) == 0; });
}

std::string FindFirstPicturePath(const std::string& folder)
{
    std::string found;
    bool stopped = false;
    WalkPictures(
        folder,
        [&found](const std::string& path, const std::string&) {
            found = path;
            return false;
        },
        stopped);
    return found;
}

int FindFirstPicture(const std::string& folder, WorkView& view)
{
    const std::string path = FindFirstPicturePath(folder);
    if (path.empty())
        return 0;
    view.SetPicture(path, PictureState::NoText);
    return 1;
}

int CopyPictures(const std::string& folder, const std::string& mediaFolder, std::vector<std::string>* failed)
{
    const std::string base = mediaFolder.empty() || mediaFolder.back() == '/' ? mediaFolder : mediaFolder + '/';
    bool stopped = false;
    const bool listed = WalkPictures(
        folder,
        [&base, failed](const std::string& path, const std::string& name) {
            if (!CopyFile(path, base + name) && failed != nullptr)
                failed->push_back(name);
            return true;
        },
        stopped);
    return listed ? 1 : 0;
}

} // namespace tavrin
