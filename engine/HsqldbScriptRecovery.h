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

} // namespace tavrin
