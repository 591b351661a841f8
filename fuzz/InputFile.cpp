#include "fuzz/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "fuzz/FuzzTarget.h"
#include "platform/FileIo.h"

namespace tavrin::fuzz {

InputFile::InputFile(std::string path) : path_(std::move(path))
{
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0)
        FuzzFailure("cannot create the input file", path_.c_str());
}

InputFile::~InputFile()
{
    ::close(fd_);
}

void InputFile::Replace(const void* data, std::size_t size)
{
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0 || !platform::WriteFully(fd_, data, size))
        FuzzFailure("cannot write the input file", path_.c_str());
}

bool InputFile::Holds(const void* data, std::size_t size)
{
    // Read through the kept descriptor, so the path must still name the same file.
    struct stat info {};
    struct stat named {};
    if (::fstat(fd_, &info) != 0 || ::lstat(path_.c_str(), &named) != 0 || info.st_ino != named.st_ino ||
        info.st_dev != named.st_dev || static_cast<std::uint64_t>(info.st_size) != size)
        return false;
    readBack_.resize(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd_, readBack_.data() + done, size - done, static_cast<off_t>(done));
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return size == 0 || std::memcmp(readBack_.data(), data, size) == 0;
}

} // namespace tavrin::fuzz
