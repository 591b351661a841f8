// The extraction steps of a repair (members, readable names, content.xml) run on their
// own, as RepairPackage runs them, for tests that check what they leave in a package
// folder without the scan's log lines or the database and manifest steps after them.
#pragma once

#include <string>

#include "engine/BatchReport.h"
#include "engine/MemberExtractor.h"
#include "engine/ScannedPackage.h"
#include "engine/WorkView.h"

namespace tavrin::test {

// Fills `report` as RepairPackage does; returns what the member step returned.
MemberExtraction RunExtractionSteps(const std::string& folder, const std::string& packagePath, const ScanList& entries,
                                    const ScannedPackage& scanned, WorkView& view, PackageReport& report);

} // namespace tavrin::test
