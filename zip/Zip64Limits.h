// From which values a size, an offset or the member count no longer fits its classic
// ZIP field and goes into ZIP64 records instead (the classic field then holds all ones).
#pragma once

#include <cstdint>

namespace tavrin::zip {

struct Zip64Limits {
    std::uint64_t field = 0xFFFFFFFF;
    std::uint64_t members = 0xFFFF;

    bool FieldNeedsZip64(std::uint64_t value) const { return value >= field; }
    bool CountNeedsZip64(std::uint64_t count) const { return count >= members; }
};

// The limits an archive takes when it is created. Tests lower them to check ZIP64
// archives without writing gigabytes; nothing else changes them.
Zip64Limits& CurrentZip64Limits();

} // namespace tavrin::zip
