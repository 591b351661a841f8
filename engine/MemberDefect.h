// What can be wrong with a member of a package, as one list: each defect has one text,
// used by the log lines and the reports' words, and one stable code for machine-readable
// reports. A new kind of damage is a new value here and a new row in the table.
#pragma once

#include <string>

namespace tavrin {

enum class MemberDefect {
    None,
    CutShort,          // a stored member whose data runs past the end of the package
    DataEndsEarly,     // the stream ended before the member's size
    PackageEndsInside, // the package ends inside the member's deflated data
    ReadFailed,        // reading the package failed (an I/O error, not its end)
    DataDamaged,       // the deflated data is not valid from some point on
    NoMemory,
    PackageNotOpened,
    NameLeavesNothing, // nothing of the name is left to write a file under
    WriteFailed,       // the member's file could not be made or written
    SizesLost,         // both sizes lost and the end of the data not found by inflating
    CrcMismatch,       // written whole, but its bytes are not the ones the package recorded
    HeaderCutOff,      // the package ends inside its local header: not even its sizes are there
};

// The words for the defect, as the log and the report say it.
const char* DefectText(MemberDefect defect);

// The stable code of the defect for machine-readable reports ("crc-mismatch", ...).
const char* DefectCode(MemberDefect defect);

// The defect's words followed by ": " and `detail` (the system's text of an error).
std::string DefectText(MemberDefect defect, const std::string& detail);

} // namespace tavrin
