// What the archive writer needs to know about an open file: the attribute bits that
// ZIP external attributes carry, its size and its three times.
#pragma once

#include <cstdint>
#include <string_view>

namespace tavrin::platform {

// Attribute bits in the positions ZIP external attributes use for MS-DOS hosts.
// Linux has no system or archive attribute; they are never set here.
enum FileAttribute : std::uint32_t {
    FileAttributeReadOnly = 0x01,  // the owner has no write permission
    FileAttributeHidden = 0x02,    // the file name starts with "."
    FileAttributeSystem = 0x04,
    FileAttributeDirectory = 0x10,
    FileAttributeArchive = 0x20,
};

struct FileInformation {
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    bool isRegularFile = false;
    bool isDirectory = false;
    // Seconds since 1970-01-01 00:00 UTC. The creation time is the birth time where the
    // file system records one, else the modification time.
    std::int64_t accessTime = 0;
    std::int64_t modificationTime = 0;
    std::int64_t creationTime = 0;
};

// Fills `info` for the open file `fd`; `fileName` (the last path component, may be
// empty when unknown) decides the hidden attribute. Returns 0, or the errno value.
int ReadFileInformation(int fd, std::string_view fileName, FileInformation& info);

} // namespace tavrin::platform
