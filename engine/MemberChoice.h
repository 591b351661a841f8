// Which of the members the scan found are extracted, when a package holds more than one
// member of a name (an edited package that was appended to, a copy left behind by a
// damaged rewrite): one instance per name reaches the package folder.
#pragma once

#include "engine/PackageEntry.h"

namespace tavrin {

// The members to extract, in the order they are written. Every member is kept, in
// file order, so the last instance of a name is the one left in the package folder.
// The scan's lost members are placed by `listedBefore`, a position in this list: a
// choice that leaves members out must keep those positions true.
ScanList ChooseMemberInstances(ScanList scanned);

} // namespace tavrin
