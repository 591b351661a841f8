// What became of one package, in the few words a user needs: repaired whole, repaired
// with losses, not repaired, or found undamaged. Read from the batch report after the
// package's repair (or save) is done.
#pragma once

#include <string>

#include "engine/BatchReport.h"

namespace tavrin {

enum class PackageOutcome {
    Pending,            // not repaired yet in this run
    NoDamageFound,      // the package was whole: its copy holds exactly what it held
    Repaired,           // damage mended, every member recovered whole
    RepairedWithLosses, // saved or saveable, but something of the package is missing or wrong
    NotRepaired,        // nothing to save
    NotSaved,           // repaired, but the rebuilt package could not be written
};

// True when the repair left something out or kept it damaged: a member cut, not
// inflated, not written or with bytes that miss its recorded CRC, members not even
// listed, or database rows that may be lost. A save that left files out of the archive
// or pictures out of the media folder counts too.
bool HasLosses(const PackageReport& report);

// True when a further package of a file (its second, third...) was not rebuilt whole:
// it has losses, gave nothing, or could not be saved. The job's outcome then tells of
// losses, whatever its first package's.
bool FurtherPackageFellShort(const PackageReport& further);

// True when nothing about the package was damaged: every member was read with the
// sizes and CRC its headers recorded, nothing had to be regenerated, completed or
// renamed, and the package's own central directory lists exactly these members (so
// ordinary ZIP readers open the original as it is). Reads the package at report.path.
bool FoundNoDamage(const PackageReport& report);

// The outcome after a repair (result Repaired and the others of the repair batch) or
// after a save, with the file's further packages. `noDamage` is FoundNoDamage's answer for a repaired package.
PackageOutcome OutcomeOf(const PackageReport& report, bool noDamage);

// "repaired", "repaired with losses", ...; empty for Pending.
const char* ToString(PackageOutcome outcome);

} // namespace tavrin
