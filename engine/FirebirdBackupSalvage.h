// Salvages a damaged Firebird gbak backup record by record: the definitions and every
// whole row (with its blobs) are copied as they are, a record that does not frame is
// skipped up to the next place where records frame again (a row's fixed fields, the end
// of a table's rows, the next table or definition), and the stream is ended the way
// gbak ends it, so that a restore takes everything kept. The file is read in a window
// that only grows as far as one record needs.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

struct FirebirdSalvage {
    enum class Outcome {
        Whole,      // every record framed up to the backup's end record: nothing written
        Salvaged,   // a new backup was written with what was kept
        NotABackup, // the file does not start with a gbak header this reader knows
        Failed,     // reading or writing failed (`error` says why)
    };
    Outcome outcome = Outcome::Failed;
    std::uint64_t rowsKept = 0;
    std::uint64_t rowsDropped = 0;   // damaged rows left out whose start could be seen
    std::uint64_t rowsWithDamagedValues = 0; // of those, rows that framed but whose values cannot be
    std::uint64_t stretchesSkipped = 0;
    std::uint64_t bytesSkipped = 0;
    bool endLost = false;            // the backup ended (cut, or damaged to its end) before its end record
    bool tableDataCut = false;       // a table's rows were cut off by the damage
    std::string error;
};

// Reads the backup at `source` and, unless it is whole, writes what it keeps to `target`
// (which may be `source` itself: it is replaced only once the new one is complete).
FirebirdSalvage SalvageFirebirdBackup(const std::string& source, const std::string& target);

} // namespace tavrin
