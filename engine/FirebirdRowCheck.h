// Checks the bytes of a backup's rows against their table's columns, so a row whose
// record still frames but whose values were damaged (a text length past its column, a
// null flag that is neither 0 nor -1, text that is no UTF-8) is left out: LibreOffice
// refuses to restore a backup with such a row.
//
// gbak writes a row in the transportable form: the stored columns in the order of the
// table's field records (computed columns have none), each as XDR (big-endian; SMALLINT,
// INTEGER, DATE, TIME, BOOLEAN in 4 bytes; BIGINT, DOUBLE, TIMESTAMP, blob ids in 8;
// CHAR its bytes padded to 4; VARCHAR a 4-byte length, its bytes padded to 4), then a
// 4-byte null flag per column.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavrin {

class FirebirdRowCheck {
public:
    // Every whole record read outside a table's rows, in order: global fields, tables
    // and their field records, the start of each table's rows.
    void Definition(const std::uint8_t* record, std::size_t length);

    // Whether the definitions read so far define a table (or view) of that name.
    bool KnowsTable(const std::string& name) const { return tables_.count(name) > 0; }

    enum class Verdict { Sound, Damaged, Unchecked };
    // A whole row record of the table whose rows are being read.
    Verdict CheckRow(const std::uint8_t* record, std::size_t length, bool compressed);

private:
    struct Column {
        std::int32_t type = 0;
        std::uint32_t length = 0;
        bool utf8 = false;
    };
    struct Table {
        std::vector<Column> columns;
        bool checkable = true; // every column of a type whose transportable form is known
    };

    std::map<std::string, bool> computedDomains_;
    std::map<std::string, Table> tables_;
    std::string defining_;   // the table whose field records follow
    const Table* reading_ = nullptr; // the table whose rows are read
    bool proven_ = false;    // a row of it passed: its columns are read right
    std::vector<std::uint8_t> row_;
};

} // namespace tavrin
