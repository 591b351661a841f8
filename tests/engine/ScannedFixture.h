// A package written into a temporary folder and scanned the way a repair scans it, then
// extracted into that folder's "ws": what several extraction tests set up by hand.
#pragma once

#include <atomic>
#include <string>

#include "engine/BatchReport.h"
#include "engine/MemberExtractor.h"
#include "engine/PackageScan.h"
#include "RecordingView.h"
#include "TestPackages.h"

namespace tavrin::test {

class ScannedFixture {
public:
    // Writes `package` as p.odb and scans it as a repair does.
    explicit ScannedFixture(const Bytes& package);

    // Runs the extraction steps into ws (made here) with the log cleared first, so
    // `view.log` holds the extraction's lines only.
    MemberExtraction Extract(PackageReport& report);

    TempFolder folder;
    std::string path;
    RecordingView view;
    std::atomic<int> running{1};
    ThreadContext context{&view, &running, nullptr};
    PackageScan scan;
    ScanList& entries = scan.entries;
    ScannedPackage& scanned = scan.package;
};

} // namespace tavrin::test
