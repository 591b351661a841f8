#include "zip/CompressionPool.h"

#include <system_error>

#include "zip/ChunkDeflater.h"

namespace tavrin::zip {

namespace {

// Each thread keeps its compressor: setting one up costs more than a small member.
ChunkDeflater& ThreadDeflater()
{
    thread_local ChunkDeflater deflater;
    return deflater;
}

} // namespace

void RunChunkJob(ChunkJob& job)
{
    if (!job.deflate)
        return;
    if (!ThreadDeflater().Deflate(job.input.data(), job.input.size(), job.last, job.output)) {
        job.failed = true;
        return;
    }
    // A member is stored when deflating gains nothing; only a whole member can still
    // choose, the pieces of a longer one are already on their way out.
    if (job.whole && job.output.size() >= job.input.size()) {
        job.storedInstead = true;
        job.output = {};
    }
}

CompressionPool::CompressionPool(unsigned threads)
{
    try {
        for (unsigned i = 0; i < threads; ++i)
            workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // Fewer workers (perhaps none): the jobs still run, on fewer threads.
    }
}

CompressionPool::~CompressionPool()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

unsigned CompressionPool::DefaultThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

std::shared_ptr<CompressionPool> CompressionPool::Shared()
{
    static std::mutex mutex;
    static std::weak_ptr<CompressionPool> current;
    std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<CompressionPool> pool = current.lock();
    if (!pool) {
        pool = std::make_shared<CompressionPool>(DefaultThreads());
        current = pool;
    }
    return pool;
}

void CompressionPool::Submit(const std::shared_ptr<ChunkJob>& job)
{
    if (workers_.empty() || !job->deflate) {
        RunChunkJob(*job);
        job->done = true;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(job);
    }
    queued_.notify_one();
}

void CompressionPool::WaitFor(const ChunkJob& job)
{
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&job] { return job.done; });
}

bool CompressionPool::IsDone(const ChunkJob& job)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return job.done;
}

void CompressionPool::Work()
{
    for (;;) {
        std::shared_ptr<ChunkJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return; // what is left queued belongs to an archive given up
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        RunChunkJob(*job);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job->done = true;
        }
        finished_.notify_all();
    }
}

} // namespace tavrin::zip
