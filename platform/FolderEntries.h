// The entries of one folder, as every walk of a package folder needs them: sorted by
// their name bytes, "." and ".." left out, and symbolic links never followed, so a
// walk that goes down only into entries of kind Folder never leaves the tree.
#pragma once

#include <string>
#include <vector>

namespace tavrin::platform {

struct FolderEntry {
    enum Kind { File, Folder, Other }; // Other: a link, a FIFO, a device, a socket
    std::string name;
    Kind kind = Other;
};

// Fills `entries` with the entries of `folder`; false when it cannot be listed. An
// entry that vanishes while the folder is read is left out.
bool ListFolderEntries(const std::string& folder, std::vector<FolderEntry>& entries);

} // namespace tavrin::platform
