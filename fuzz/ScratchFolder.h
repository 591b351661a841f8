// A private folder for one harness run, under TMPDIR (else /tmp): emptied before
// each input so nothing one input wrote can change how the next one behaves. The
// folder is made once and reused; emptying it walks it once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::fuzz {

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Removes everything inside the folder but the entry named `keep` (a harness's
    // input file); the folder itself stays.
    void Empty(const std::string& keep = {}) const;

private:
    std::string path_;
};

// The whole file, or an empty vector when it cannot be read.
std::vector<unsigned char> ReadWholeFile(const std::string& path);

struct TreeEntry {
    enum Kind { File, Folder, Other }; // Other: a link, a FIFO, a device
    std::string path;                   // relative, '/' between levels
    Kind kind;
    std::uint64_t size = 0;             // of a file
};

// Every entry below `folder`, depth first; links are not followed.
std::vector<TreeEntry> TreeEntries(const std::string& folder);

} // namespace tavrin::fuzz
