// Writes an HSQLDB 1.8 script that brings back carved rows (HsqldbRowCarver) when the
// database's own script is lost: one MEMORY table per carved table, its column types
// chosen from the values every row holds, the user LibreOffice connects as, and every
// row as an INSERT. HSQLDB loads such a script with no data file and no index roots.
//
// Several carvings (the data file, then its older backup) are merged: tables of one
// layout are one table, and a row of a later carving is left out when an earlier one
// already gave its key (the first column, when it is never NULL and unique among the
// rows of the first carving) or, for a table without a key, the very same row.
// Two passes over the rows: the first settles the types (a text length, the scale of a
// DECIMAL), the second writes; only per-table figures and row hashes stay in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/HsqldbPackageNames.h"
#include "engine/HsqldbRowCarver.h"
#include "engine/HsqldbScriptTables.h"

namespace tavrin {

struct HsqldbCarvedSource {
    const HsqldbRowCarver* carver = nullptr;
    const HsqldbCarving* carving = nullptr;
};

struct HsqldbRebuiltTable {
    std::string name;
    bool nameGuessed = true;         // TABLE1...
    bool columnNamesGuessed = true;  // COL1... or a query's order
    // Where a name that is not the table's own definition came from ("the query 'X'"):
    // set when the name is taken because this is the one carved table it fits.
    std::string nameSource;
    std::string definition;        // the CREATE statement
    std::uint64_t rows = 0;        // rows written
    std::uint64_t duplicates = 0;  // rows left out: their key was already written
    std::uint64_t unreadable = 0;  // rows left out: they do not read under the layout
};

struct HsqldbRebuiltScript {
    std::vector<HsqldbRebuiltTable> tables;
    std::uint64_t rows = 0;
    std::uint64_t dropped = 0;
    // The zone the dates and times are written in: "local" (the machine's own, which
    // every date agrees with) or a fixed offset ("UTC+01:00", UTC when there was no date).
    std::string zone;
};

class HsqldbScriptRebuild {
public:
    // Writes the script through `write` (false stops it); `names` where names are known
    // elsewhere in the package: a name goes to a carved table only when that table is
    // the one the name fits (column count, kinds, the names it must have) and no other
    // name fits it. With `known`, the
    // table definitions of a surviving script, only the INSERT lines are written: each
    // carved table goes to the first definition its rows read under (their values then
    // take the declared types and the declared primary key decides), carved tables
    // that fit none are left out, and a table's rows come in the order of `known`.
    // The definitions go through `writeDefinitions`, all of them before any row goes
    // through `writeRows` (HSQLDB takes no definition after the first INSERT). False
    // when a write failed.
    static bool Write(const std::vector<HsqldbCarvedSource>& sources, const std::vector<HsqldbTableNames>& names,
                      const std::vector<HsqldbScriptTable>* known,
                      const std::function<bool(const std::string&)>& writeDefinitions,
                      const std::function<bool(const std::string&)>& writeRows, HsqldbRebuiltScript& result);
};

} // namespace tavrin
