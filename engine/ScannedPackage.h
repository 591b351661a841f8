// A package between its scan and its extraction. The scan opens it once and the
// extraction reads every member through that same descriptor, so a file replaced or
// unlinked in between cannot give members of two different files, or none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/UnsizedMemberRecovery.h"
#include "platform/FileDescriptor.h"

namespace tavrin {

class ScannedPackage {
public:
    ScannedPackage() = default;
    ~ScannedPackage();
    ScannedPackage(const ScannedPackage&) = delete;
    ScannedPackage& operator=(const ScannedPackage&) = delete;

    // Opens `path` for reading (closing what was open). False with errno set when it
    // cannot be opened or is a folder. Non-blocking, so a FIFO given by mistake cannot
    // hang the batch; anything but a regular file counts as empty.
    bool Open(const std::string& path);
    void Close();

    int fd() const { return file_.Get(); }
    std::uint64_t length() const { return length_; }

    // Members whose sizes were lost and could not be found by inflating them, in file
    // order, and how many more were met than are kept.
    std::vector<LostMember> lost;
    std::uint64_t lostNotKept = 0;
    // Members whose stream breaks before its first byte, met beyond the first
    // kMaxFailedMembersListed: left out of the scan list and only counted.
    std::uint64_t brokenNotKept = 0;
    // Set by the extraction: members written whole or in part. The files the repair
    // writes itself (content.xml from the template, a manifest, a mimetype) do not count.
    std::size_t membersRecovered = 0;
    // Set by the scan when reading the package failed: the system's text for it.
    std::string readError;

private:
    platform::FileDescriptor file_;
    std::uint64_t length_ = 0;
};

} // namespace tavrin
