#include "engine/PictureWalk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <strings.h>
#include <vector>

#include "platform/AtomicFileWriter.h"
#include "platform/FileDescriptor.h"
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

// Copies `source` into the folder `targetFd` as `name`, only by names relative to that
// folder: a link in place of the target is replaced, never written through.
bool CopyFileInto(const std::string& source, int targetFd, const std::string& name)
{
    const platform::FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!in.IsOpen())
        return false;
    platform::AtomicFileWriter out(targetFd, name, 0644);
    std::vector<unsigned char> buffer(kCopyChunk);
    for (;;) {
        const ssize_t got = platform::ReadSome(in.Get(), buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            return out.Commit();
        if (!out.Write(buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
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
    const platform::FileDescriptor media(::open(mediaFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return CopyPictures(folder, media.Get(), failed);
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
