// Completes an embedded HSQLDB 1.8 database (the database/ folder of a package folder)
// after extraction, so LibreOffice connects to it and gets back every row that
// survived. Only members that did not come back whole are changed, and
// database/properties when it must say something else:
// - data missing or damaged while backup came back whole: properties say modified=yes,
//   which makes HSQLDB rebuild data from backup (and replay log) when it opens;
// - modified=yes but no whole backup: modified=no, or HSQLDB would throw data away;
// - properties lost: a new one only where it must ask for that restore (HSQLDB opens
//   a database without one, with every row, but then never uses the backup);
// - script cut: only whole lines kept, and the statements that create the user SA and
//   make it administrator appended when they were lost (without them LibreOffice's
//   connection fails, or sees no table);
// - data damaged with nothing to stand in for it: made safe to open (HsqldbDataFile).
#pragma once

#include <string>
#include <vector>

#include "engine/BatchReport.h"

namespace tavrin {

// The changes made to the database of `folder`, in the order made; `members` are the
// extraction reports of the package's members (the last report of a name decides its
// state), every one the completion reads, not a shortened list.
// Nothing is done for a package that holds no HSQLDB database.
std::vector<DatabaseCompletion> CompleteHsqldb(const std::string& folder, const std::vector<MemberReport>& members);

// True for the members whose extraction outcome the completion decides by (as a path
// relative to the package folder).
bool CompletionReadsMember(const std::string& path);

// The activity log text of a completion, after the package path: " <detail>....\r\n".
std::string CompletionLogText(const DatabaseCompletion& completion);

} // namespace tavrin
