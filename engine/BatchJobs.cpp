#include "engine/BatchJobs.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/JobLogBuffer.h"

namespace tavrin {
namespace {

class ConcurrentJobs {
public:
    ConcurrentJobs(ThreadContext& context, int count, const BatchJobSteps& steps)
        : context_(context), view_(*context.view), count_(count), steps_(steps), stoppedAt_(count),
          logs_(static_cast<std::size_t>(count))
    {
    }

    int Run(int workers)
    {
        {
            std::lock_guard lock(frontEnd_);
            view_.ShowTotalProgressOnly(true);
            view_.SetProgressPosition(ProgressBar::Total, 0);
        }
        std::vector<std::thread> threads;
        try {
            for (int i = 1; i < workers; ++i)
                threads.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            // Fewer threads: the jobs still run, fewer at a time.
        }
        Work();
        for (std::thread& thread : threads)
            thread.join();
        return stoppedAt_;
    }

private:
    // Takes the next job, unless the batch stops before it; -1 when there is none.
    int Next()
    {
        std::lock_guard lock(dispatch_);
        if (stopped_ || next_ >= count_)
            return -1;
        std::lock_guard frontEnd(frontEnd_);
        if (steps_.stopsBefore && steps_.stopsBefore(next_)) {
            stopped_ = true;
            stoppedAt_ = next_;
            return -1;
        }
        return next_++;
    }

    void Work()
    {
        for (int index; (index = Next()) >= 0;) {
            std::string path;
            {
                std::lock_guard lock(frontEnd_);
                path = view_.JobPath(index);
            }
            auto log = std::make_unique<JobLogBuffer>(view_, frontEnd_, index, path);
            ThreadContext own = context_;
            own.view = log.get();
            steps_.run(index, own);
            Finished(index, std::move(log));
        }
    }

    // Hands over every block that is next in the order of the jobs.
    void Finished(int index, std::unique_ptr<JobLogBuffer> log)
    {
        std::lock_guard lock(frontEnd_);
        logs_[static_cast<std::size_t>(index)] = std::move(log);
        ++done_;
        while (shown_ < count_ && logs_[static_cast<std::size_t>(shown_)]) {
            logs_[static_cast<std::size_t>(shown_)]->ReplayLocked();
            logs_[static_cast<std::size_t>(shown_)].reset();
            ++shown_;
        }
        view_.SetProgressPosition(ProgressBar::Total, done_);
    }

    ThreadContext& context_;
    BatchReporter& view_;
    const int count_;
    const BatchJobSteps& steps_;

    std::mutex dispatch_; // taken before frontEnd_ when both are held
    int next_ = 0;
    bool stopped_ = false;
    int stoppedAt_;

    std::mutex frontEnd_; // every call on the front end's reporter while jobs run
    std::vector<std::unique_ptr<JobLogBuffer>> logs_; // done jobs whose block waits for an earlier one
    int shown_ = 0;
    int done_ = 0;
};

} // namespace

int RunBatchJobs(ThreadContext& context, int count, const BatchJobSteps& steps)
{
    const int workers = std::min(context.jobsAtOnce, count);
    if (workers > 1)
        return ConcurrentJobs(context, count, steps).Run(workers);
    for (int i = 0; i < count; ++i) {
        if (steps.stopsBefore && steps.stopsBefore(i))
            return i;
        steps.run(i, context);
    }
    return count;
}

} // namespace tavrin
