// The first step of a repair: opening a package and finding its members by their
// local headers (PackageScanner), with the members whose sizes were lost sized by
// inflating them.
#pragma once

#include <string>

#include "engine/PackageEntry.h"
#include "engine/ScannedPackage.h"
#include "engine/ThreadContext.h"

namespace tavrin {

struct PackageScan {
    bool opened = false;
    std::string openError; // the system's text when the package could not be opened
    ScanList entries;      // the members found, in file order
    // The package, still open for the extraction, with what the scan could not list.
    ScannedPackage package;
};

// Opens the package, logs "<path> file is open....", scans it and logs the extracted
// and closed lines. When the package cannot be opened it shows the system's error text
// in a message box and logs nothing. A read of the package that fails is logged red and
// kept in `package.readError`. Members whose stream breaks at once are listed up to
// kMaxFailedMembersListed, the rest counted in `package.brokenNotKept`.
PackageScan ScanPackage(const std::string& path, ThreadContext& context);

} // namespace tavrin
