// What a batch worker thread is handed: what it reports to, the window it drives when
// there is one, and the running flag.
#pragma once

#include <atomic>

#include "engine/BatchReport.h"
#include "engine/BatchReporter.h"
#include "engine/WindowView.h"

namespace tavrin {

struct ThreadContext {
    // Every report and query of the batches goes through this reporter.
    BatchReporter* view = nullptr;
    // 1 while a batch runs; Stop sets it to 0 and the worker polls it. Owned by the
    // front end (the main frame), which also refuses to close while it is 1.
    std::atomic<int>* running = nullptr;
    // Optional: filled by the batches when given.
    BatchReport* report = nullptr;
    // The desktop window whose controls follow the batch; null for a front end without one.
    WindowView* window = nullptr;
    // How many jobs a batch may work on at once (see BatchJobs.h); 1 for a front end whose
    // reporter follows one job at a time (the desktop window).
    int jobsAtOnce = 1;
    // Whether small members no step reads may stay in memory until the save instead of
    // being files in the package folder (see HeldFolder); off for a front end that keeps
    // the folders for the user to look at.
    bool holdSmallMembers = true;
};

} // namespace tavrin
