// Keeps the changes HSQLDB 1.8 wrote to database/log since its last checkpoint when the
// script is rewritten from carved rows. HSQLDB replays the log itself when properties
// say modified=yes (with no backup and only MEMORY tables it loads the script, then
// runs the log), but it stops at the first statement that fails: an INSERT into a table
// the new script does not have, or of a key the carved rows already hold. So the log
// is rewritten to the statements that fit the script's tables: rows of tables it
// defines (each INSERT of a keyed table preceded by a DELETE of that key, which does
// nothing when the key is not there and lets the logged row replace a carved one),
// DELETE lines of those tables, tables the log creates, and the transaction lines.
// Everything else is dropped and counted.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

struct HsqldbLogReplay {
    bool present = false;         // there was a log
    bool ok = true;               // false: it could not be read or rewritten (error says why)
    std::uint64_t kept = 0;       // statements left for HSQLDB to replay
    std::uint64_t dropped = 0;    // statements naming tables the script does not define, or unread
    std::string error;
};

// Rewrites `base`database/log (base ends in '/') for the script at `base`database/script;
// removes the log when no statement is kept. HSQLDB replays it only when properties say
// modified=yes: the caller sets that when `kept` > 0.
HsqldbLogReplay PrepareHsqldbLogReplay(const std::string& base);

} // namespace tavrin
