// The repair of one package, every step in the order it runs: the one place to read
// to learn what a repair does, and where a new recovery step goes.
#pragma once

#include <optional>
#include <string>

#include "engine/BatchReport.h"
#include "engine/ThreadContext.h"

namespace tavrin {

// The vendor's support address named in the extraction failure lines.
inline constexpr const char* kSupportAddress = "support@tavrinlumiq.example";

struct RepairJob {
    std::string path;   // the damaged package
    std::string folder; // its package folder in the workspace, made here
    // Why the package cannot be repaired before it is opened (an unusable workspace);
    // empty when it can.
    std::string refusal;
};

// Repairs one package into its folder: logs every step, drives the file progress bar,
// and returns the report of what was done (its result always set).
PackageReport RepairPackage(const RepairJob& job, ThreadContext& context);

// The job list's repair state after a repair with this result: 1 when the package was
// opened and its extraction attempted, also when nothing was found; 0 when nothing
// could be recovered or the repair stopped before it; none (the state stays as it
// was) when the package could not be opened.
std::optional<int> JobStateAfterRepair(PackageResult result);

} // namespace tavrin
