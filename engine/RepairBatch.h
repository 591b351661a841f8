// The repair batch: the Repair and Stop commands and the worker that scans and
// extracts every job of the job list into its package folder.
//
// Use: on the GUI thread call StartRepair(context); then run RepairThreadProc(context)
// on a worker thread (the front end owns and joins it). Stop: ConfirmStop(context)
// on the GUI thread.
#pragma once

#include "engine/PackageRepair.h"
#include "engine/ThreadContext.h"

namespace tavrin {


// The Repair command's steps before the worker starts: wipes the Workspace, puts the
// view into its running state, sets the running flag to 1, clears the log and the bars.
void StartRepair(ThreadContext& context);

// The worker: every job in order; logs, job states, progress, the final view state;
// sets the running flag to 0 at the end. Returns 1.
int RepairThreadProc(ThreadContext& context);

// The Stop command: asks "Are you sure to stop the running process?"; on Yes disables
// the Stop button and clears the running flag. Returns true when the user said Yes.
bool ConfirmStop(ThreadContext& context);

} // namespace tavrin
