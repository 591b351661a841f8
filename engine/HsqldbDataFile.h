// Makes a damaged HSQLDB 1.8 data file (database/data) safe to open when nothing can
// stand in for it.
//
// The file is a 32-byte header followed by the cached rows, one after another: each
// row starts with its length as a big-endian 32-bit integer, a multiple of 8, and the
// next row starts right after it, so the rows chain from byte 32 to the end of the
// file. HSQLDB finds rows through pointers stored inside other rows, not through this
// chain, and reacts very differently to the two kinds of damage seen in recovered
// files:
// - bytes that are missing at the end, or overwritten with zeros, cost the rows they
//   held and nothing more (a zero pointer reads as "no row");
// - bytes that are wrong but not zero (a deflate stream that went on inflating after
//   damage) make it fail the connection, run out of memory, or hang while opening.
// So the chain is walked: a stretch where it breaks is overwritten with zeros up to the
// next row from which the chain runs cleanly to the end, and a file whose chain never
// recovers is cut back to its last sound row. Rows the chain vouches for are kept.
// A file in which less than a quarter of the bytes chain as rows is not taken for an
// HSQLDB 1.8 data file at all and is left as it is: mending it would only destroy it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

struct HsqldbDataMending {
    enum class Result {
        Sound,      // the row chain runs from the header to the end: nothing changed
        Mended,     // broken stretches were zeroed and/or the file was cut back
        TooShort,   // not even a whole header: it holds no rows
        Unknown,    // too few of its bytes chain as rows to take it for a data file
    };
    Result result = Result::Sound;
    std::uint64_t zeroedBytes = 0;  // bytes overwritten with zeros
    std::uint64_t cutBytes = 0;     // bytes removed from the end
    std::uint64_t finalSize = 0;
};

class HsqldbDataFile {
public:
    // The header that precedes the first row.
    static constexpr std::size_t kHeaderSize = 32;

    // Mends `bytes` in place as described above; they are left unchanged unless the
    // result is Mended.
    static HsqldbDataMending Mend(std::vector<unsigned char>& bytes);
};

} // namespace tavrin
