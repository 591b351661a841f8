// What a repair and save run did to each package, for machine-readable reports.
// Filled by the batch worker; read by the front end after the worker has finished.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/MemberCopies.h"
#include "engine/MemberDefect.h"
#include "engine/PackageDocuments.h"
#include "engine/PackageEntry.h"
#include "engine/UnreadableNames.h"

namespace tavrin {

enum class MemberOutcome {
    Written,      // the target file holds the whole member
    CutShort,     // stored member whose data runs past the end of the package: what was there
    NotInflated,  // the raw stream did not inflate to the member's size; nothing written
    NotWritten,   // the target could not be created or written; nothing written
    NotRead,      // reading the package failed (not its end: an I/O error); nothing written
    Salvaged,     // a database member that did not inflate whole: its readable start is kept
};

enum class CrcCheck {
    NotChecked, // no CRC recorded, or the member was not written whole
    Matches,
    Mismatch,   // written, but its bytes are not the ones the package recorded
};

struct MemberReport {
    std::string name;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint64_t dataOffset = 0;
    SizeSource sizeSource = SizeSource::LocalHeader;
    MemberOutcome outcome = MemberOutcome::Written;
    std::uint64_t bytesWritten = 0;
    MemberDefect defect = MemberDefect::None; // what is wrong with it, when something is
    std::string error; // why it was not written, when it was not, in words
    CrcCheck crcCheck = CrcCheck::NotChecked;
    std::uint32_t recordedCrc = 0; // 0: none recorded
    std::uint32_t writtenCrc = 0;  // of the bytes written, when checked
};

// A change made to a package's embedded database after extraction, so that it opens
// with the rows that survived.
struct DatabaseCompletion {
    std::string action;          // what was done, as a short key ("restore-from-backup", ...)
    std::string member;          // the file of the package folder it changed
    std::string detail;          // the same in words, as in the activity log
    bool rowsMayBeLost = false;  // rows of the database are missing or may be wrong
    std::uint64_t rowsCarved = 0;   // rows read from the data file without the script
    std::uint64_t rowsDropped = 0;  // rows or statements left out (unreadable, twice, damaged)
    std::uint64_t rowsKept = 0;     // rows a salvaged backup still holds
    bool namesGuessed = false;      // table or column names made up (TABLE1, COL1...)
};

enum class PackageResult {
    NotStarted,     // the batch ended before this package (stop or refusal)
    OpenFailed,     // the package could not be opened
    NothingFound,   // opened, but no member was found
    NothingRecovered, // members were found, but none could be written: not saved
    Repaired,       // members extracted into the workspace
    StoppedBefore,  // the repair was stopped before this package
    Saved,          // rebuilt package written, with everything that was found in it
    SavedWithLosses, // rebuilt package written, but something was lost: a member cut,
                     // not recovered or left out, a failed CRC, rows of the database,
                     // a picture not copied
    SaveFailed,     // the rebuilt package could not be written
    NotRepaired,    // save skipped it because it was not repaired
    SaveStopped,    // the save was stopped before this package
};

struct PackageReport {
    std::string path;
    std::string packageFolder;
    std::vector<MemberReport> members;
    bool contentXmlRegenerated = false;
    bool noDamageFound = false; // set by the repair: FoundNoDamage's answer for a repaired package
    std::vector<PackageDocument> documentsListed; // by the regenerated content.xml
    std::vector<DatabaseCompletion> databaseCompletions;
    std::vector<RenamedName> renamedNames;   // names the manifest could not have listed
    std::uint64_t renamedNotListed = 0;      // renamings beyond those in `renamedNames`
    PackageResult result = PackageResult::NotStarted;
    std::string outputPath;  // set once an archive was written
    std::string mediaFolder; // set when pictures were copied
    std::vector<std::string> leftOut;           // files of the package folder the archive could not take
    std::vector<std::string> picturesNotCopied; // into the media folder
    std::string error;       // the reason of a failure, when there is one
    std::string nothingFound; // what the file held instead, when it opened but gave no member
    std::uint64_t lostNotListed = 0; // members that lost their sizes, beyond those in `members`
    std::uint64_t failedNotListed = 0; // other members not recovered whole, beyond those in `members`
    std::uint64_t packagesInFile = 1;  // packages the file holds, each rebuilt on its own up to a bound
    std::size_t packageNumber = 1;     // which of them this report is about (1: the first)
    // The second, third... package of the file: each extracted into a folder of its own
    // and saved beside the first as TAVRINREP_<stem>-2<extension>, ... (packageNumber 2, ...).
    std::vector<PackageReport> furtherPackages;
    std::vector<MemberCopies> copiesSetAside; // paths with more than one copy, and the one kept
    std::uint64_t copyPathsNotListed = 0;     // further such paths, only counted
};

struct BatchReport {
    std::vector<PackageReport> packages; // one per job, by job index
};

const char* ToString(MemberOutcome outcome);
const char* ToString(PackageResult result);
const char* ToString(SizeSource source);
const char* ToString(CrcCheck check);

} // namespace tavrin
