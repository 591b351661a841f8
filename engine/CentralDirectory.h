// What survives of a package's central directory, read for one purpose only: the CRC-32
// (and sizes) it recorded for each member, as one more recorded value to check a written
// member against when its local header carried none and its data descriptor is lost.
//
// Members are still found by walking the local headers; nothing here adds, drops or
// places a member. A central record is trusted for nothing but its CRC and sizes, and
// for those only once the local header it points at has been read back and names the
// same member at the same data offset. Records are found by their signature in the tail
// of the file, so a directory cut short, or whose end record is lost or lies about its
// count, size or offset, still gives the records that are there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/PackageEntry.h"

namespace tavrin {

struct CentralRecord {
    std::string name; // the name's bytes as recorded
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint64_t localHeaderOffset = 0; // as recorded
    // Data offset of the member whose local header the record points at, once that
    // header was read and names the same member; 0 while unverified.
    std::uint64_t dataOffset = 0;
};

class CentralDirectory {
public:
    // Only this many bytes at the end of the package are searched: a central
    // directory lies at the end, and no package holds one this large.
    static constexpr std::uint64_t kSearchWindow = std::uint64_t{64} << 20;
    // At most this many records are kept, the most an end record can count.
    static constexpr std::size_t kMaxRecords = 65535;

    // Collects the records of the package open as `fd` (`length` bytes).
    static CentralDirectory Read(int fd, std::uint64_t length);

    const std::vector<CentralRecord>& records() const { return records_; }

    // Gives each entry that has no recorded CRC the one its verified record holds; a
    // record whose sizes differ from sizes the entry knows recorded other bytes and is
    // not used. Returns how many entries were given one.
    std::size_t SupplyRecordedCrcs(ScanList& entries) const;

private:
    std::vector<CentralRecord> records_;
};

// Reads the central directory of the package open as `fd` (`length` bytes) only when
// some entry lacks a recorded CRC, and supplies what it recorded. Returns how many were
// given one.
std::size_t SupplyCentralDirectoryCrcs(int fd, std::uint64_t length, ScanList& entries);

} // namespace tavrin
