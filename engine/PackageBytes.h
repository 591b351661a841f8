// Reading raw bytes of a package: little-endian fields of ZIP headers and positioned
// reads that carry on after short and interrupted reads.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "platform/FileIo.h"

namespace tavrin {

inline std::uint16_t Le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Reads up to `size` bytes at `offset`; returns how many the file gave before its end
// or an error. `error`, when given, receives the errno of a failed read, else 0, so a
// caller can tell a failing medium from a file that ends.
inline std::size_t ReadAt(int fd, std::uint64_t offset, unsigned char* out, std::size_t size, int* error = nullptr)
{
    std::size_t done = 0;
    if (error != nullptr)
        *error = 0;
    while (done < size) {
        const ssize_t got =
            platform::FileIo::Current().ReadAt(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && error != nullptr)
            *error = errno;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

} // namespace tavrin
