// Brings back the rows of an embedded HSQLDB 1.8 database whose script was lost: the
// rows of database/data (and, when data is damaged or missing, of database/backup,
// inflated to a temporary file) are carved (HsqldbRowCarver) and written as a new
// database/script of MEMORY tables (HsqldbScriptRebuild). The data and backup files
// are then removed (the rows live in the script now) and properties, when there is
// one, says modified=no so HSQLDB does not look for a backup.
// Names of tables and columns are not stored in the data file: they come from a form
// that shows every column of its table, else they are made up (TABLE1, COL1...) and
// the log says so in red.
#pragma once

#include <string>
#include <vector>

#include "engine/BatchReport.h"

namespace tavrin {

struct HsqldbScriptRecoveryInput {
    std::string base;          // the package folder, ending in '/'
    bool dataPresent = false;
    bool dataWhole = false;    // written whole, CRC matched
    bool backupPresent = false;
    bool backupWhole = false;
};

// The changes made, in order; empty when nothing could be carved.
std::vector<DatabaseCompletion> RecoverHsqldbScript(const HsqldbScriptRecoveryInput& input);

// When the script survived but data did not come back whole and no whole backup stands
// in: the rows carved from what is left of data (and backup) are written into the
// script, its CACHED tables turned into MEMORY tables, so rows the index roots no
// longer reach come back too. `condition` says what happened to data. Empty when
// nothing was changed (no CACHED table defined, no row carved, or a failure): data is
// then mended as before.
std::vector<DatabaseCompletion> RecoverHsqldbRows(const HsqldbScriptRecoveryInput& input, const std::string& condition);

} // namespace tavrin
