// What the writer keeps of each member it added, for the central directory.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin::zip {

struct ZipMemberInfo {
    std::uint16_t versionMadeBy = 0x0B17; // host 11, version 2.3
    std::uint16_t versionNeeded = 20;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;             // 8 deflate, 0 stored
    std::uint32_t dosDateTime = 0;        // DOS date in the high word, DOS time in the low
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint16_t localFlags = 0;         // the flags in the local header as last written
    std::uint32_t externalAttributes = 0;
    std::uint64_t localHeaderOffset = 0;  // base offset included
    std::string name;                     // bytes as written, '/' between folder levels
    // Extended time stamps, seconds since 1970.
    std::uint32_t modificationTime = 0;
    std::uint32_t accessTime = 0;
    std::uint32_t creationTime = 0;
    // No extended time stamp extra field in either header.
    bool withoutExtraField = false;
    // The local header carries both sizes in a ZIP64 extra field (its 32-bit fields
    // hold 0xFFFFFFFF); decided when the header is first written, as its length.
    bool localZip64 = false;
};

} // namespace tavrin::zip
