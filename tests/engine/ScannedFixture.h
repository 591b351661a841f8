// A package written into a temporary folder and scanned the way a repair scans it, then
// extracted into that folder's "ws": what several extraction tests set up by hand.
#pragma once

#include <atomic>
#include <string>

#include "engine/BatchReport.h"
#include "engine/PackageScanner.h"
#include "RecordingView.h"
#include "TestPackages.h"

namespace tavrin::test {

class ScannedFixture {
public:
    // Writes `package` as p.odb and scans it; `scanResult` holds what ScanPackage returned.
    explicit ScannedFixture(const Bytes& package);

    // Extracts into ws (made here) with the log cleared first, so `view.log` holds the
    // extraction's lines only; returns what ExtractPackage returned.
    int Extract(PackageReport& report);

    TempFolder folder;
    std::string path;
    RecordingView view;
    std::atomic<int> running{1};
    ThreadContext context{&view, &running, nullptr};
    ScanList entries;
    ScannedPackage scanned;
    int scanResult = 0;
};

} // namespace tavrin::test
