// Framing of the records of a Firebird gbak backup (the database/firebird.fbk of a
// package with the embedded Firebird engine), as LibreOffice's Firebird 3 writes it
// (backup format 10). See docs/firebird-gbak.md for the format.
//
// A backup is a stream of records, each one record-type byte and then:
// - most types: attributes `code, length byte, bytes`, ended by attribute 0; an
//   attribute carrying BLR or source text is written `code, 04, int32 N, N bytes`,
//   which reads like a number followed by more bytes, so both readings are tried and
//   the one after which the next record frames as well is taken;
// - a row (6): attributes up to attribute 2, then the row's run-length compressed
//   bytes, that decompress to exactly the length attribute 0x11 gives;
// - a blob (7): attributes up to attribute 7, then the number of segments attribute 5
//   gave, each a 16-bit little-endian length and its bytes;
// - the ends of a relation (9: its definition, or its rows), of a function's arguments
//   (17), of a procedure's parameters (29) and of the backup (10): the type byte only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::fbk {

enum RecordType : std::uint8_t {
    kBackupHeader = 0,
    kIndex = 5,
    kRow = 6,
    kBlob = 7,
    kTableData = 8, // starts the rows of one table (its name, then its index records)
    kRelationEnd = 9, // ends a table's definition, and the rows of a table
    kBackupEnd = 10,
    kFunctionEnd = 17, // ends a function's arguments
    kProcedureEnd = 29, // ends a procedure's parameters
    kLastRecordType = 40, // the highest type a Firebird 3 backup uses is below this
};

// Where a record may stand, which decides the types accepted there.
enum class Place {
    Definitions, // outside a table's rows: definitions, privileges, constraints
    TableData,   // after a table-data record: its indexes, rows, blobs, its end
    AfterRow,    // the same, right after a row, where that row's blobs may follow
};

struct Span {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    bool reachesEnd = false; // no byte of the file follows the span
};

struct Framing {
    enum class Result {
        Whole,    // `length` bytes from the start are one whole record
        NeedMore, // the span ends inside the record, and the file goes on
        Cut,      // the file ends inside the record
        Broken,   // no record of a type accepted there frames at this place
    };
    Result result = Result::Broken;
    std::size_t length = 0;
    std::uint32_t rowLength = 0; // for a row: the length it decompresses to
    std::uint32_t blobSegments = 0;
};

// Options the backup header sets for every record after it.
struct BackupOptions {
    bool compressed = true; // rows are run-length compressed (LibreOffice's always are)
};

enum class Lookahead {
    NextRecord, // the record after it (when the span shows it) must frame too
    None,       // the record alone: for the last whole record before damage
};

// The record at the start of `span`, accepted only when it is of a type that may stand
// at `place` and frames there, and as `lookahead` asks.
Framing FrameRecord(const Span& span, Place place, const BackupOptions& options,
                    Lookahead lookahead = Lookahead::NextRecord);

// The header record at the very start of a backup: Whole with its length and the
// options it sets, or Broken when the file is no gbak backup this reader knows.
Framing FrameBackupHeader(const Span& span, BackupOptions& options);

// The place after a whole record of `type` that stood at `place`.
Place PlaceAfter(std::uint8_t type, Place place);

// True when `span` starts with the fixed fields of a row record
// (`06 01 04 <int32> 11 04 <int32> 02`): where resynchronising looks for rows.
bool LooksLikeRowStart(const Span& span);

} // namespace tavrin::fbk

namespace tavrin::fbk {

struct Attribute {
    std::uint8_t code = 0;
    const std::uint8_t* bytes = nullptr;
    std::uint32_t size = 0; // of a number: 4; of a long attribute: its N bytes
};

// The attributes of a whole definition record of `length` bytes (as FrameRecord found
// it), reading each four-byte one as a number or a long attribute, whichever makes the
// record end where it ends. Empty when it does not.
std::vector<Attribute> RecordAttributes(const std::uint8_t* record, std::size_t length);

// A number attribute's value, or `otherwise`.
std::int32_t NumberOf(const std::vector<Attribute>& attributes, std::uint8_t code, std::int32_t otherwise);
// A text attribute's bytes, or "".
std::string TextOf(const std::vector<Attribute>& attributes, std::uint8_t code);

} // namespace tavrin::fbk
