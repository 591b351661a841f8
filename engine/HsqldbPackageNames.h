// What the rest of a package still tells about the tables of an embedded HSQLDB
// database whose script was lost: table and column names used by the queries of
// content.xml (their SQL) and its table settings, by the forms (the table a form
// shows, the columns its controls are bound to), and the statements of database/log
// (CREATE TABLE lines, the values of INSERT lines, the key columns of DELETE lines).
// Nothing here says which carved table a name belongs to: HsqldbScriptRebuild applies
// a name only where exactly one carved table fits it.
#pragma once

#include <string>
#include <vector>

#include "engine/HsqldbRowLayout.h"

namespace tavrin {

// What a literal of an INSERT line allows of the value's kind in a data file row.
enum class HsqldbValueHint {
    Any,    // NULL
    Quoted, // text, a binary, a date, time or timestamp
    Number,
    Truth,  // TRUE or FALSE
};

struct HsqldbTableNames {
    std::string table;
    // The whole column list in order, when a definition or a query of every column gave
    // it; `columnsDefined` when a definition did (a query's order is only likely).
    std::vector<std::string> columns;
    bool columnsDefined = false;
    std::vector<HsqldbColumnKind> kinds;    // with a definition: each column's kind
    std::vector<HsqldbValueHint> hints;     // from rows: each column's literals (whole row)
    std::vector<std::string> someColumns;   // names of some of its columns, order unknown
    std::string source;                     // where the names were read, for the log
};

// The names found in the package folder `base` (ending in '/'), one entry per table
// name, what several places said of one table merged (conflicting column lists or row
// shapes are dropped, never guessed between).
std::vector<HsqldbTableNames> GatherHsqldbNames(const std::string& base);

// The same from the texts themselves (for tests): content.xml, the forms' content.xml
// texts, the log's text. `source` of each entry names "content.xml", "the form ...",
// "database/log".
std::vector<HsqldbTableNames> HsqldbNamesFrom(const std::string& contentXml, const std::vector<std::string>& formXmls,
                                              const std::string& log);

} // namespace tavrin
