// The column layout of the rows of one CACHED table of an HSQLDB 1.8 data file, and
// the reading of a row under it.
//
// A row record is: int32 length (of the whole record, a multiple of 8, zero padding at
// its end), one index node of 16 bytes per index of the table (balance, left, right,
// parent as int32), then for each column a presence byte (0: NULL, 1: a value follows)
// and the value, big-endian:
//   BOOLEAN 1 byte 0/1; TINYINT, SMALLINT int16; INTEGER int32; BIGINT, DOUBLE (REAL,
//   FLOAT), DATE, TIME int64 (the last two in milliseconds); TIMESTAMP int64
//   milliseconds then int32 nanoseconds of the fraction; DECIMAL int32 n, n bytes of the
//   unscaled two's-complement value, int32 scale; CHAR, VARCHAR, LONGVARCHAR int32
//   byte length and Java's modified UTF-8; the binary kinds int32 length and the bytes.
// Only the kind of each value's bytes is stored, never the column's type, so a layout
// names what the bytes allow and the carver picks SQL types from the values seen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

enum class HsqldbColumnKind {
    Decimal,   // int32 n, n bytes, int32 scale
    Timestamp, // int64 ms, int32 nanoseconds that agree with the ms
    Counted,   // int32 length and that many bytes: text or binary
    Boolean,   // one byte 0/1
    Int32,
    Int64,     // BIGINT, DOUBLE, DATE or TIME: told apart by the values
    Int16,
    Unknown,   // NULL in every row seen
};

struct HsqldbRowLayout {
    unsigned indexCount = 0;
    std::vector<HsqldbColumnKind> columns;

    std::size_t ColumnsStart() const { return 4 + 16 * std::size_t{indexCount}; }
    bool operator==(const HsqldbRowLayout& other) const = default;
};

// One value of a row as found: its position in the row's bytes (after the presence
// byte) and its length, or null.
struct HsqldbRawValue {
    bool null = true;
    std::size_t at = 0;
    std::size_t size = 0;
};

class HsqldbRowReader {
public:
    // Reads the value of `kind` whose presence byte is at `at` of `row`; the position
    // after it, or SIZE_MAX when the bytes there cannot be such a value.
    static std::size_t Step(const unsigned char* row, std::size_t rowSize, std::size_t at, HsqldbColumnKind kind,
                            HsqldbRawValue* value = nullptr);

    // True when the bytes from `at` to the end of the row are the zero padding that
    // rounds a record up to 8 bytes.
    static bool AtPadding(const unsigned char* row, std::size_t rowSize, std::size_t at);

    // The values of a whole row under `layout`; false when the row does not read as one
    // (a value out of place, or bytes left past the padding).
    static bool Read(const unsigned char* row, std::size_t rowSize, const HsqldbRowLayout& layout,
                     std::vector<HsqldbRawValue>& values);

    static std::int64_t Int(const unsigned char* bytes, std::size_t size);

    // True when `bytes` are Java's modified UTF-8 of text a user could have typed (no
    // NUL, no control character but tab and line ends); the UTF-16 units into `units`.
    static bool IsText(const unsigned char* bytes, std::size_t size, std::u16string* units = nullptr);
};

} // namespace tavrin
