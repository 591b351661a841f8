// Small members that no repair step reads, held in memory from their extraction until
// the save writes them into the rebuilt package, in place of files in the package
// folder. A package of many small members (20,000 form parts) otherwise costs a file
// made, read back and deleted for each of them, and on a busy file system that work
// is most of the repair.
//
// Each package folder has at most one held folder, found by the folder's path, so the
// steps and the save that take a path find the members wherever they are. Removing
// the folder (DeleteFolderTree, RemoveFolderTree, WipeWorkspace) forgets its held
// members with it. All held folders together keep at most kHeldBytesBudget bytes;
// members beyond it are written to the folder as usual.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "zip/MemoryFiles.h"

namespace tavrin::zip {
class CompressionPool;
}

namespace tavrin {

class HeldFolder {
public:
    // Largest member held, and the most all held folders keep at once (bytes and the
    // cost of keeping each member, see Cost).
    static constexpr std::size_t kMaxHeldMember = std::size_t{64} << 10;
    static constexpr std::uint64_t kHeldBytesBudget = std::uint64_t{32} << 20;

    // A new, empty held folder for `packageFolder` (a path without trailing '/'),
    // replacing the one it had.
    static std::shared_ptr<HeldFolder> Start(const std::string& packageFolder);
    // The held folder of `packageFolder`; null when it has none.
    static std::shared_ptr<const HeldFolder> Of(const std::string& packageFolder);
    // Forgets the held folders of `path` and of every folder below it.
    static void ForgetAt(const std::string& path);

    // Whether a member of this relative path (as SafeMemberPath gives it) may be held:
    // only a file inside a sub-folder that no repair step reads by its name, whose path
    // is printable ASCII without '%' (so it is never renamed as unreadable), and not a
    // picture (the media copy reads pictures from the folder).
    static bool MayHold(const std::string& relativePath);

    HeldFolder() = default;
    ~HeldFolder();
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    // What holding a member of this path and size takes of the budget: its bytes, its
    // name and the bookkeeping of one more entry, so that a million one-byte members
    // cannot hold far more memory than the budget says.
    static std::size_t Cost(const std::string& relativePath, std::size_t size);

    // Takes `cost` of the shared budget for a member about to be extracted; false when
    // it is not left.
    bool Reserve(std::size_t cost);
    // Gives back a reservation that was not used.
    void Unreserve(std::size_t cost);
    // Keeps `bytes` under `relativePath` on a reservation of `reserved` (the Cost of its
    // recorded size; what it came out at is what counts from now on).
    void Keep(const std::string& relativePath, std::string bytes, std::size_t reserved);
    // Drops the member of that path, if held: a later copy of it went to the folder.
    void Drop(const std::string& relativePath);

    const zip::MemoryFiles& files() const { return files_; }
    bool empty() const { return files_.empty(); }

private:
    zip::MemoryFiles files_;
    std::shared_ptr<zip::CompressionPool> pool_; // deflates the members as they come
    std::uint64_t bytes_ = 0; // of the shared budget, this folder's
};

} // namespace tavrin
