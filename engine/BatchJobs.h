// The loop of a batch over its jobs: one after the other, or several at once when the
// front end allows it (ThreadContext::jobsAtOnce). Jobs are started in their order;
// running several, each job's log is held back and handed to the front end in one block
// when the job is done, the blocks in the order of the jobs, so the log reads the same
// however many jobs ran at once.
#pragma once

#include <functional>

#include "engine/ThreadContext.h"

namespace tavrin {

struct BatchJobSteps {
    // True when the batch stops before job `index`: it and the jobs after it are not run.
    // Asked for each job in order before it starts, calls on the front end's reporter
    // kept apart from those of the jobs.
    std::function<bool(int index)> stopsBefore;
    // Does job `index`, reporting through `context.view` (the job's own reporter when
    // several run at once). Called from several threads at once then.
    std::function<void(int index, ThreadContext& context)> run;
};

// Runs jobs 0..count-1; returns the index of the first job not run (count when every
// job ran). Running several at once, only the total progress is shown, its position the
// number of jobs done.
int RunBatchJobs(ThreadContext& context, int count, const BatchJobSteps& steps);

} // namespace tavrin
