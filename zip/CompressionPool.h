// A few worker threads that deflate the pieces of the members an archive writer reads;
// the writer waits for each piece in turn and writes the pieces in their order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tavrin::zip {

// One piece of a member: the source bytes in, what goes into the archive out.
struct ChunkJob {
    std::vector<unsigned char> input;
    // The member's last piece (its stream gets the final block).
    bool last = false;
    // The member's only piece: stored instead when deflating does not make it smaller.
    bool whole = false;
    // False: stored by the member's name; the input is the output.
    bool deflate = true;

    // Set by the worker; read by the writer once `done`.
    std::vector<unsigned char> output;
    bool storedInstead = false;
    bool failed = false;
    bool done = false;

    // The bytes that go into the archive.
    const std::vector<unsigned char>& Data() const { return deflate && !storedInstead ? output : input; }
};

class CompressionPool {
public:
    // `threads` workers; with none (or when no thread can be started) every job runs
    // at once in the thread that submits it.
    explicit CompressionPool(unsigned threads);
    ~CompressionPool();
    CompressionPool(const CompressionPool&) = delete;
    CompressionPool& operator=(const CompressionPool&) = delete;

    void Submit(const std::shared_ptr<ChunkJob>& job);
    void WaitFor(const ChunkJob& job);
    bool IsDone(const ChunkJob& job);
    unsigned Workers() const { return static_cast<unsigned>(workers_.size()); }

    // Archives being written with this pool, which share its workers' pieces in flight.
    // Others may hold the pool too (members deflated ahead of time) without writing.
    void ArchiveStarted() { ++archives_; }
    void ArchiveEnded() { --archives_; }
    unsigned ArchivesWriting() const { return archives_.load(); }

    // One worker per core.
    static unsigned DefaultThreads();

    // The pool of DefaultThreads() workers every archive written at the same time uses,
    // so that several archives at once keep one worker per core; made when the first
    // user asks for it, gone with the last one.
    static std::shared_ptr<CompressionPool> Shared();

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<ChunkJob>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
    std::atomic<unsigned> archives_{0};
};

// Deflates (or stores) one job's piece in the calling thread.
void RunChunkJob(ChunkJob& job);

} // namespace tavrin::zip
