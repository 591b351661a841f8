// One member found in a damaged package by the scanner, and the list of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// Longest member name kept; longer names are cut to this many bytes.
inline constexpr std::size_t kMaxMemberNameLength = 1023;

// A repair reports this many failing members of a package one by one, and only counts
// the rest: a file of fake headers would otherwise make a report line of each.
inline constexpr std::size_t kMaxFailedMembersListed = 100;

// Where a member's sizes came from.
enum class SizeSource : std::uint8_t {
    LocalHeader,
    DataDescriptor,
    // The header had none and no descriptor was found: the deflate stream was inflated
    // to its end, and the descriptor behind it, where one was, agreed.
    Inflation,
    InflationAndDescriptor,
    // The header's compressed size did not end where a member can end; the stream was
    // inflated to its end, and gave the size and CRC the header recorded.
    CompressedSizeCorrected,
};

struct PackageEntry {
    // The name's bytes as they stand in the local header (ISO-8859-1 when read as text),
    // up to the first zero byte, '/' between folder levels.
    std::string name;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    // Offset of the first byte after the extra field.
    std::uint64_t dataOffset = 0;
    // The CRC-32 the package recorded for the member (local header or descriptor). 0
    // stands for none: writers leave 0 in the header when the CRC follows the data, and
    // the one member whose true CRC is 0, the empty one, has nothing to check.
    std::uint32_t recordedCrc = 0;
    SizeSource sizeSource = SizeSource::LocalHeader;

    friend bool operator==(const PackageEntry&, const PackageEntry&) = default;
};

// The hidden scan list: the entries of the package being repaired, in file order.
using ScanList = std::vector<PackageEntry>;

} // namespace tavrin
