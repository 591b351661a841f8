// A FileIo that fails on request: writes stop with ENOSPC once a byte budget is
// spent (a disk that fills up), reads fail with EIO (a failing source medium).
// Installed for the lifetime of the object.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/FileIo.h"

namespace tavrin::test {

class FaultyFileIo : public platform::FileIo {
public:
    FaultyFileIo();
    ~FaultyFileIo() override;
    FaultyFileIo(const FaultyFileIo&) = delete;
    FaultyFileIo& operator=(const FaultyFileIo&) = delete;

    // Bytes still accepted by writes; SIZE_MAX for no limit.
    std::atomic<std::size_t> writeBudget{SIZE_MAX};
    std::atomic<bool> failReads{false};
    // When set, writes fail with ENOSPC only for files whose path contains this text
    // (a full disk seen by one kind of output). Set before installing work starts.
    std::string failWritesUnder;

    ssize_t Read(int fd, void* buffer, std::size_t size) override;
    ssize_t ReadAt(int fd, void* buffer, std::size_t size, off_t offset) override;
    ssize_t Write(int fd, const void* data, std::size_t size) override;
    int Sync(int fd) override;

private:
    platform::FileIo* previous_;
};

} // namespace tavrin::test
