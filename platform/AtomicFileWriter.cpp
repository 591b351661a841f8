#include "platform/AtomicFileWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "platform/FileIo.h"
#include "platform/PathJoin.h"
#include "platform/WorkFileName.h"

namespace tavrin::platform {

namespace {

// O_EXCL with O_NOFOLLOW never opens what is already there under a work name, a
// planted link included; the next name is tried instead.
std::string WorkName(const std::string& folder)
{
    return folder + WorkFileName("part");
}

} // namespace

AtomicFileWriter::AtomicFileWriter(std::string target, mode_t mode) : target_(std::move(target)), mode_(mode) {}

AtomicFileWriter::AtomicFileWriter(int folderFd, std::string name, mode_t mode)
    : folderFd_(folderFd), target_(std::move(name)), mode_(mode)
{
}

AtomicFileWriter::~AtomicFileWriter()
{
    file_.Close();
    if (created_ && !committed_)
        ::unlinkat(folderFd_, work_.c_str(), 0);
}

bool AtomicFileWriter::Fail(Step step, int error)
{
    if (error_ == 0) {
        error_ = error != 0 ? error : EIO;
        failedStep_ = step;
    }
    return false;
}

bool AtomicFileWriter::Open()
{
    if (!Ok())
        return false;
    if (created_)
        return true;
    const std::string folder = FolderPrefixOf(target_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        work_ = WorkName(folder);
        const int fd = ::openat(folderFd_, work_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode_);
        if (fd >= 0) {
            file_ = FileDescriptor(fd);
            created_ = true;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    return Fail(Step::Create, errno);
}

bool AtomicFileWriter::Write(const void* data, std::size_t size)
{
    if (!Open())
        return false;
    return WriteFully(file_.Get(), data, size) || Fail(Step::Write, errno);
}

bool AtomicFileWriter::Truncate(std::uint64_t size)
{
    if (!Open())
        return false;
    return ::ftruncate(file_.Get(), static_cast<off_t>(size)) == 0 || Fail(Step::Write, errno);
}

bool AtomicFileWriter::Commit(Durability durability)
{
    if (!Open())
        return false;
    if (durability == Durability::Synced && FileIo::Current().Sync(file_.Get()) != 0)
        return Fail(Step::Sync, errno);
    if (const int closeError = file_.Close(); closeError != 0)
        return Fail(Step::Close, closeError);
    if (::renameat(folderFd_, work_.c_str(), folderFd_, target_.c_str()) != 0)
        return Fail(Step::Rename, errno);
    committed_ = true;
    return true;
}

} // namespace tavrin::platform
