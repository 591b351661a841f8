#include "engine/PictureWalk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cerrno>
#include <functional>
#include <strings.h>
#include <vector>

#include "platform/FileIo.h"
#include "platform/FolderEntries.h"

namespace tavrin {
namespace {

constexpr std::array<const char*, 6> kPictureExtensions = {"jpg", "bmp", "png", "gif", "emf", "jpeg"};
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

// Calls `visit` with the full path of every picture, depth first; stops when it
// returns false. Returns false when the top folder could not be listed.
bool WalkPictures(const std::string& folder, const std::function<bool(const std::string&, const std::string&)>& visit,
                  bool& stopped)
{
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolderEntries(folder, entries))
        return false;
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    for (const platform::FolderEntry& entry : entries) {
        if (stopped)
            return true;
        const std::string path = base + entry.name;
        if (entry.kind == platform::FolderEntry::Folder)
            WalkPictures(path, visit, stopped);
        else if (entry.kind == platform::FolderEntry::File && IsPictureName(entry.name) && !visit(path, entry.name))
            stopped = true;
    }
    return true;
}

// Copies `source` into the folder `targetFd` as `name`, through a temporary name made in
// that folder, and only by names relative to it: a link in place of the target is
// replaced, never written through.
bool CopyFileInto(const std::string& source, int targetFd, const std::string& name)
{
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0)
        return false;
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int out = -1;
    for (int attempt = 0; out < 0 && attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%x-%x", static_cast<unsigned>(::getpid()), counter.fetch_add(1));
        temporary = std::string(".tavrin-part-") + suffix;
        out = ::openat(targetFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0 && errno != EEXIST)
            break;
    }
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
    ok = ok && ::renameat(targetFd, temporary.c_str(), targetFd, name.c_str()) == 0;
    if (!ok)
        ::unlinkat(targetFd, temporary.c_str(), 0);
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

int FindFirstPicture(const std::string& folder, WindowView& view)
{
    const std::string path = FindFirstPicturePath(folder);
    if (path.empty())
        return 0;
    view.SetPicture(path, PictureState::NoText);
    return 1;
}

int CopyPictures(const std::string& folder, const std::string& mediaFolder, std::vector<std::string>* failed)
{
    const int mediaFd = ::open(mediaFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int result = CopyPictures(folder, mediaFd, failed);
    if (mediaFd >= 0)
        ::close(mediaFd);
    return result;
}

int CopyPictures(const std::string& folder, int mediaFd, std::vector<std::string>* failed)
{
    bool stopped = false;
    const bool listed = WalkPictures(
        folder,
        [mediaFd, failed](const std::string& path, const std::string& name) {
            if ((mediaFd < 0 || !CopyFileInto(path, mediaFd, name)) && failed != nullptr)
                failed->push_back(name);
            return true;
        },
        stopped);
    return listed ? 1 : 0;
}

} // namespace tavrin
