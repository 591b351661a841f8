#include "zip/ZipArchive.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/FileIo.h"
#include "platform/TimeConversion.h"
#include "zip/ZipWriter.h"

namespace tavrin::zip {

namespace {

ZipHandle* Started(int fd, bool canSeek, std::uint64_t baseOffset, ZipResult* failure)
{
    platform::FileDescriptor owned(fd); // until the writer takes it
    auto* writer = new (std::nothrow) ZipWriter(owned.Get(), canSeek, baseOffset);
    if (writer != nullptr)
        owned.Release();
    auto* handle = writer != nullptr ? new (std::nothrow) ZipHandle{kZipWriterHandleKind, writer} : nullptr;
    if (handle == nullptr) {
        delete writer; // closes fd
        if (failure != nullptr)
            *failure = ZipNoMemory;
        errno = ENOMEM;
        return nullptr;
    }
    if (failure != nullptr)
        *failure = ZipOk;
    return handle;
}

ZipResult CheckHandle(const ZipHandle* handle)
{
    if (handle == nullptr)
        return ZipBadArguments;
    if (handle->kind != kZipWriterHandleKind || handle->writer == nullptr)
        return ZipWrongHandleKind;
    return ZipOk;
}

} // namespace

ZipHandle* CreateZipArchive(const std::string& path, ZipResult* failure)
{
    platform::RefreshTimeZone();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        if (failure != nullptr)
            *failure = ZipOpenFailed;
        return nullptr;
    }
    return Started(fd, true, 0, failure);
}

ZipHandle* CreateZipArchive(int fd, ZipResult* failure)
{
    platform::RefreshTimeZone();
    const int duplicate = fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    if (duplicate < 0) {
        if (fd < 0)
            errno = EBADF;
        if (failure != nullptr)
            *failure = ZipDuplicateFailed;
        return nullptr;
    }
    // Only a plain file written in place can take the second pass over each local
    // header. With O_APPEND every write lands at the end, so such a file is written
    // like a pipe, but its offsets still count from the file's start.
    struct stat info{};
    const int flags = ::fcntl(duplicate, F_GETFL);
    const bool diskFile = ::fstat(duplicate, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0;
    const bool appending = diskFile && (flags & O_APPEND) != 0;
    const off_t position = diskFile ? platform::FileIo::Current().Seek(duplicate, 0, appending ? SEEK_END : SEEK_CUR) : -1;
    const bool canSeek = diskFile && !appending && position >= 0;
    return Started(duplicate, canSeek, position >= 0 ? static_cast<std::uint64_t>(position) : 0, failure);
}

ZipResult AddToZipArchive(ZipHandle* handle, const std::string& name, const ZipSource& source)
{
    return AddToZipArchive(handle, name, source, ZipAddOptions{});
}

ZipResult AddToZipArchive(ZipHandle* handle, const std::string& name, const ZipSource& source,
                          const ZipAddOptions& options)
{
    if (const ZipResult checked = CheckHandle(handle); checked != ZipOk)
        return checked;
    return handle->writer->Add(name, source, options);
}

ZipResult AddToZipArchive(ZipHandle* handle, const std::string& name, const std::string& sourcePath)
{
    return AddToZipArchive(handle, name, ZipSource::FileName(sourcePath));
}

ZipResult CloseZipArchive(ZipHandle* handle)
{
    if (const ZipResult checked = CheckHandle(handle); checked != ZipOk)
        return checked;
    const ZipResult result = handle->writer->Close();
    const int error = handle->writer->LastSystemError();
    delete handle->writer;
    delete handle;
    errno = error;
    return result;
}

int ZipLastSystemError(const ZipHandle* handle)
{
    return CheckHandle(handle) == ZipOk ? handle->writer->LastSystemError() : 0;
}

} // namespace tavrin::zip
