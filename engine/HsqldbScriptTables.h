// The table definitions of an HSQLDB 1.8 script: its CREATE ... TABLE lines read into
// names, column names and declared types, the value kind each type stores in a data
// file row (HsqldbRowLayout), and the primary-key columns.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/HsqldbRowLayout.h"

namespace tavrin {

struct HsqldbScriptColumn {
    std::string name;
    std::string type;      // the declared type, upper case, without size ("DECIMAL")
    HsqldbColumnKind kind = HsqldbColumnKind::Unknown;
};

struct HsqldbScriptTable {
    std::string name;
    bool cached = false;
    std::string line;                 // the CREATE statement as written
    std::vector<HsqldbScriptColumn> columns;
    std::vector<std::size_t> key;     // primary-key columns, in key order

    // The statement with CACHED turned into MEMORY (the same line when it was not CACHED).
    std::string MemoryLine() const;
};

// The definition in `line`, when it is a CREATE ... TABLE statement whose columns all
// have a type this reads.
std::optional<HsqldbScriptTable> ParseHsqldbTable(const std::string& line);

// The name of the table of a `SET TABLE "T" INDEX'...'` line, when it is one.
std::optional<std::string> HsqldbIndexLineTable(const std::string& line);

} // namespace tavrin
