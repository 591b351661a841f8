// Completes an embedded Firebird database (database/firebird.fbk of a package folder)
// after extraction: a backup that did not come back whole (its CRC failed, or it was
// cut short) is salvaged record by record, so that LibreOffice restores the definitions
// and every whole row instead of refusing the whole database.
#pragma once

#include <string>
#include <vector>

#include "engine/BatchReport.h"

namespace tavrin {

// The changes made to the backup of `folder`; `members` are the extraction reports of
// the package's members (the last report of a name decides its state), every one the
// completion reads. Nothing is done for a backup that came back whole.
std::vector<DatabaseCompletion> CompleteFirebird(const std::string& folder, const std::vector<MemberReport>& members);

// True for the member whose extraction outcome the completion decides by (as a path
// relative to the package folder).
bool FirebirdCompletionReadsMember(const std::string& path);

} // namespace tavrin
