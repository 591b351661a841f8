// One member found in a damaged package by the scanner, and the list of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// Longest member name kept; longer names are cut to this many bytes.
inline constexpr std::size_t kMaxMemberNameLength = 1023;

struct PackageEntry {
    // The name's bytes as they stand in the local header (ISO-8859-1 when read as text),
    // up to the first zero byte, '/' between folder levels.
    std::string name;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    // Offset of the first byte after the extra field.
    std::uint64_t dataOffset = 0;

    friend bool operator==(const PackageEntry&, const PackageEntry&) = default;
};

// The hidden scan list: the entries of the package being repaired, in file order.
using ScanList = std::vector<PackageEntry>;

} // namespace tavrin
