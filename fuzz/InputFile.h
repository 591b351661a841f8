// The file a harness hands each input in: made once, kept open and rewritten for
// every input, which saves creating, reading back and removing a file each time.
// Under TMPDIR=/dev/shm (fuzz/run.sh sets it) it lives in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::fuzz {

class InputFile {
public:
    explicit InputFile(std::string path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return path_; }

    // Makes the file hold exactly these bytes.
    void Replace(const void* data, std::size_t size);
    // True when the path still names this file and it holds exactly these bytes.
    bool Holds(const void* data, std::size_t size);

private:
    int fd_ = -1;
    std::string path_;
    std::vector<unsigned char> readBack_; // reused by Holds()
};

} // namespace tavrin::fuzz
