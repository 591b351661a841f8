// Finds the rows of the CACHED tables in an HSQLDB 1.8 data file without the script
// that defines them (and without the index roots it records).
//
// The file is read as a stream of row records from byte 32 on: a record whose length
// and first index node are plausible is taken and skipped whole, anything else is
// stepped over 8 bytes at a time (freed space, zeroed or garbled stretches). Only the
// length and first index node of each record are kept in memory, so a file of any size
// costs about 28 bytes a record while carving, up to kMostRows records, and 4 bytes a
// row after.
//
// The first index node of every row is a node of its table's primary-key tree: a row is
// live when its parent chain climbs to a root (parent 0) with every parent pointing back
// at the child, and the rows that reach one root are one table. A deleted row keeps its
// old links, but its parent no longer points at it; in a file known to be whole such
// rows are dropped. In a damaged file a chain may also break because the parent's bytes
// were lost, so there the rows above a break are kept as fragments, joined to the table
// whose column layout they read under (or kept as tables of their own).
//
// Column layouts are worked out from a sample of each table's rows: the index count
// whose nodes point at rows of the file, then, column by column, the first value kind
// (HsqldbColumnKind, most particular first) under which every sampled row reads on,
// until every row has reached its padding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/HsqldbRowLayout.h"

namespace tavrin {

struct HsqldbCarvedTable {
    HsqldbRowLayout layout;
    std::vector<std::uint32_t> rows; // record offsets, in the order of the file
    bool rooted = false;             // its rows hang below an index root
};

struct HsqldbCarving {
    enum class Result {
        Carved,     // tables (possibly none) found
        NotData,    // shorter than a header: nothing to carve
        TooLarge,   // more records than can be carved in memory
        Unreadable, // the file could not be read
    };
    Result result = Result::Carved;
    std::vector<HsqldbCarvedTable> tables;
    std::uint64_t records = 0;      // records found in the walk
    std::uint64_t unreachable = 0;  // records no live tree reaches (deleted rows), left out
    std::uint64_t unreadable = 0;   // records in no table's layout, left out
    std::string error;
};

class HsqldbRowCarver {
public:
    // At most this many records are carved (20 bytes each in memory).
    static constexpr std::uint64_t kMostRows = 2000000;
    // Rows longer than this are not read (nor taken as rows).
    static constexpr std::uint32_t kLargestRow = 16u << 20;

    // Reads through `fd` (not owned), a data file of `size` bytes.
    HsqldbRowCarver(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

    // `damaged`: the file is known to be cut or to hold wrong bytes, so fragments of
    // broken trees are kept.
    HsqldbCarving Carve(bool damaged);

    // The bytes of the record at `offset` (length included); false when it cannot be read.
    bool ReadRecord(std::uint32_t offset, std::vector<unsigned char>& bytes) const;

private:
    int fd_;
    std::uint64_t size_;
};

} // namespace tavrin
