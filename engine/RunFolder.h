// A private folder for one run of a program, for its workspace: made by mkdtemp (mode
// 0700, a name nobody can take first) in the temporary folder, and locked for as long
// as the run lives, so that a later run can tell the folders of runs that were killed
// from those of runs still working, and remove them.
#pragma once

#include <string>

namespace tavrin {

class RunFolder {
public:
    RunFolder() = default;
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Creates <temporary folder>/<prefix>-XXXXXX and takes its lock. On failure returns
    // false with the reason in `error`.
    bool Create(const std::string& prefix, std::string* error = nullptr);

    // The folder, without a trailing '/'; empty before Create.
    const std::string& path() const { return path_; }

    // Removes the folder with everything in it and lets go of the lock.
    void Remove();

    // Removes the folders <prefix>-XXXXXX of this user in the temporary folder whose
    // lock nobody holds: runs that ended without cleaning up (killed, crashed).
    static void RemoveStale(const std::string& prefix);

    // TMPDIR when it names an absolute path, else /tmp; no trailing '/'.
    static std::string TemporaryBase();

private:
    std::string path_;
    int lockFd_ = -1;
};

} // namespace tavrin
