// Writes a file so that its name shows either the old content or the whole new one,
// never a part: the bytes go to a new file of our own in the target's folder, which
// Commit renames over the target. A writer destroyed without a commit removes its file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <fcntl.h>
#include <sys/types.h>

#include "platform/FileDescriptor.h"

namespace tavrin::platform {

class AtomicFileWriter {
public:
    enum class Durability {
        Cached, // the rename may reach the disk before the bytes: for work files
        Synced, // the bytes are on the disk before the name points at them
    };

    // Nothing is created yet: the file appears with the first Open, Write or Commit,
    // so a writer given up at once costs no file. `mode` is reduced by the umask.
    explicit AtomicFileWriter(std::string target, mode_t mode = 0666);
    // The same inside the folder open as `folderFd`, by names relative to it only, so
    // no link on the way to that folder is followed; `name` is a plain file name. The
    // descriptor must stay open while the writer lives.
    AtomicFileWriter(int folderFd, std::string name, mode_t mode = 0666);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the work file unless it is there. False once anything has failed.
    bool Open();
    bool Write(const void* data, std::size_t size);
    bool Truncate(std::uint64_t size);
    // Flushes as asked, closes, and renames the work file over the target.
    bool Commit(Durability durability = Durability::Cached);

    // What the first failure was doing, for callers that report the two ends apart:
    // making or naming the file (Create, Rename) or putting bytes into it.
    enum class Step { None, Create, Write, Sync, Close, Rename };

    bool Ok() const { return error_ == 0; }
    // The errno of the first failure, 0 while none.
    int Error() const { return error_; }
    Step FailedStep() const { return failedStep_; }
    // Open descriptor of the work file (after Open), for writers that need one.
    int Descriptor() const { return file_.Get(); }
    const std::string& Target() const { return target_; }
    const std::string& WorkPath() const { return work_; }

private:
    bool Fail(Step step, int error);

    int folderFd_ = AT_FDCWD; // what target_ and work_ are relative to
    std::string target_;
    mode_t mode_;
    std::string work_;
    FileDescriptor file_;
    int error_ = 0;
    Step failedStep_ = Step::None;
    bool created_ = false;
    bool committed_ = false;
};

} // namespace tavrin::platform
