#include "zip/FolderZipper.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFileWriter.h"
#include "platform/PathJoin.h"
#include "platform/SystemError.h"
#include "zip/ZipArchive.h"

namespace tavrin::zip {

namespace {

// The entries of one folder in byte order of their names ("." and ".." left out);
// false when the folder cannot be read.
bool SortedEntries(const std::string& folderPath, std::vector<std::string>& names)
{
    DIR* folder = ::opendir(folderPath.c_str());
    if (folder == nullptr)
        return false;
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    const int readError = errno;
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    errno = readError;
    return readError == 0;
}

// Failures of the output end the archive; failures of one source only leave it out.
bool IsOutputFailure(ZipResult result)
{
    return result == ZipWriteFailed || result == ZipTooLarge || result == ZipNoMemory;
}

} // namespace

ZipFolderResult FolderZipper::ZipFolder(const std::string& folderPath, const std::string& archivePath)
{
    ZipFolderResult result;
    auto fail = [&result](ZipResult code, int error) {
        if (result.result == ZipOk) {
            result.result = code;
            result.error = error != 0 ? platform::SystemErrorText(error) : std::string();
        }
    };

    const std::string root = platform::WithoutTrailingSlashes(folderPath);
    struct stat rootInfo{};
    // An empty archive for a folder that is not there would pass for a saved package.
    if (::stat(root.c_str(), &rootInfo) != 0) {
        fail(ZipOpenFailed, errno);
        return result;
    }
    if (!S_ISDIR(rootInfo.st_mode)) {
        fail(ZipOpenFailed, ENOTDIR);
        return result;
    }

    platform::AtomicFileWriter work(archivePath);
    if (!work.Open()) {
        fail(ZipOpenFailed, work.Error());
        return result;
    }
    struct stat workInfo{};
    ::fstat(work.Descriptor(), &workInfo);
    workFile_ = WorkFileId{static_cast<unsigned long long>(workInfo.st_dev), static_cast<unsigned long long>(workInfo.st_ino)};

    ZipResult started = ZipOk;
    ZipHandle* handle = CreateZipArchive(work.Descriptor(), &started);
    if (handle == nullptr) {
        fail(started, errno);
    } else {
        // Each file is compressed while the next is read; a failed output ends the
        // archive anyway, so nothing is lost by learning of it an add later.
        SetZipArchiveWriteBehind(handle, true);
        rootLength_ = root.size();
        struct stat mimetype{};
        if (mimetypeFirst_ && ::lstat((root + "/mimetype").c_str(), &mimetype) == 0 && S_ISREG(mimetype.st_mode))
            AddFile(root + "/mimetype", "mimetype", ZipAddOptions{true}, handle, result);
        if (memoryFiles_ != nullptr)
            nextMemoryFile_ = memoryFiles_->begin();
        AddFolderTree(root, handle, result);
        AddMemoryFilesBefore(nullptr, handle, result);
        if (const ZipResult closed = CloseZipArchive(handle); closed != ZipOk)
            fail(closed, errno);
    }
    // The archive reaches the disk before it takes the place of an older one; a failed
    // archive is removed with the writer.
    if (result.result != ZipOk)
        return result;
    if (!work.Commit(platform::AtomicFileWriter::Durability::Synced)) {
        fail(work.FailedStep() == platform::AtomicFileWriter::Step::Rename ? ZipOpenFailed : ZipWriteFailed, work.Error());
        return result;
    }
    result.complete = true;
    return result;
}

void FolderZipper::AddFolderTree(const std::string& folderPath, ZipHandle* handle, ZipFolderResult& result)
{
    std::vector<std::string> names;
    if (!SortedEntries(folderPath, names)) {
        const int error = errno;
        if (folderPath.size() > rootLength_) {
            result.leftOut.push_back(folderPath.substr(rootLength_ + 1) + "/");
        } else if (result.result == ZipOk) {
            result.result = ZipOpenFailed;
            result.error = platform::SystemErrorText(error);
        }
        return;
    }

    for (const std::string& name : names) {
        if (result.result != ZipOk)
            return;
        const std::string fullPath = folderPath + "/" + name;
        const std::string relativeName = fullPath.substr(rootLength_ + 1);
        struct stat entry{};
        if (::lstat(fullPath.c_str(), &entry) != 0) {
            result.leftOut.push_back(relativeName);
            continue;
        }
        if (static_cast<unsigned long long>(entry.st_dev) == workFile_.device
            && static_cast<unsigned long long>(entry.st_ino) == workFile_.inode)
            continue; // the archive being written, when it lies inside the folder
        if (S_ISDIR(entry.st_mode)) {
            const std::string inside = relativeName + "/";
            AddMemoryFilesBefore(&inside, handle, result);
            AddFolderTree(fullPath, handle, result);
            continue;
        }
        AddMemoryFilesBefore(&relativeName, handle, result);
        if (mimetypeFirst_ && relativeName == "mimetype" && S_ISREG(entry.st_mode))
            continue; // written first already
        struct stat target{};
        if (S_ISLNK(entry.st_mode) && ::stat(fullPath.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
            // A linked folder is not walked into: it may lead back up the tree.
            result.leftOut.push_back(relativeName);
            continue;
        }
        AddFile(fullPath, relativeName, ZipAddOptions{}, handle, result);
    }
}

void FolderZipper::AddMemoryFilesBefore(const std::string* relativeName, ZipHandle* handle, ZipFolderResult& result)
{
    if (memoryFiles_ == nullptr)
        return;
    const TreeOrder before;
    for (; nextMemoryFile_ != memoryFiles_->end() && result.result == ZipOk; ++nextMemoryFile_) {
        const auto& [name, file] = *nextMemoryFile_;
        if (relativeName != nullptr && !before(name, *relativeName)) {
            if (name == *relativeName)
                ++nextMemoryFile_; // the folder's file of that name is added instead
            return;
        }
        // The writer takes no empty block of memory; the engine holds none.
        const std::string_view bytes = file.Bytes();
        ZipResult added = ZipBadArguments;
        if (!bytes.empty() && bytes.size() <= UINT32_MAX)
            added = AddToZipArchive(handle, name,
                                    file.DeflatedEarly() ? ZipSource::DeflatedEarly(file.DeflatedEarly(), file.DeflatingPool())
                                                         : ZipSource::Memory(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
        CountAdded(added, name, handle, result);
    }
}

void FolderZipper::AddFile(const std::string& fullPath, const std::string& relativeName, const ZipAddOptions& options,
                           ZipHandle* handle, ZipFolderResult& result)
{
    CountAdded(AddToZipArchive(handle, relativeName, ZipSource::FileName(fullPath), options), relativeName, handle, result);
}

void FolderZipper::CountAdded(ZipResult added, const std::string& relativeName, ZipHandle* handle,
                              ZipFolderResult& result)
{
    if (added == ZipOk) {
        ++result.membersWritten;
    } else if (IsOutputFailure(added)) {
        result.result = added;
        result.error = ZipLastSystemError(handle) != 0 ? platform::SystemErrorText(ZipLastSystemError(handle)) : std::string();
        result.leftOut.push_back(relativeName);
    } else {
        result.leftOut.push_back(relativeName);
    }
}

} // namespace tavrin::zip
