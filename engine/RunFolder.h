// A private folder for one run of a program, for its workspace (in the temporary
// folder) or its staging (in the folder it writes into): made by mkdtemp (mode 0700, a
// name nobody can take first), and locked for as long as the run lives, so that a later
// run can tell the folders of runs that were killed from those of runs still working,
// and remove them.
#pragma once

#include <string>

#include "platform/FileDescriptor.h"

namespace tavrin {

class RunFolder {
public:
    RunFolder() = default;
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Creates <temporary folder>/<prefix>-XXXXXX and takes its lock. On failure returns
    // false with the reason in `error`.
    bool Create(const std::string& prefix, std::string* error = nullptr);
    // The same in `parent`.
    bool CreateIn(const std::string& parent, const std::string& prefix, std::string* error = nullptr);

    // The folder, without a trailing '/'; empty before Create.
    const std::string& path() const { return path_; }

    // Removes the folder with everything in it and lets go of the lock.
    void Remove();

    // Removes the folders <prefix>-XXXXXX of this user in the temporary folder whose
    // lock nobody holds: runs that ended without cleaning up (killed, crashed).
    static void RemoveStale(const std::string& prefix);
    // The same in `parent`. Only real folders of that name pattern are looked at, a
    // link in their place or in place of their lock is never followed.
    static void RemoveStaleIn(const std::string& parent, const std::string& prefix);

private:
    std::string path_;
    platform::FileDescriptor lock_; // held locked while the run lives
};

} // namespace tavrin
