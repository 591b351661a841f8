// Several copies of one member in a package: packages beyond the bound on the packages
// of one file rebuilt with the last, a damaged copy after a whole one, names
// that only differ by "./" or "//". Every copy would be written to the same file, the
// last one winning, even a cut one. Before extraction one copy per member path is
// chosen, in this order: the copy a surviving central directory points at; a copy
// whose bytes match its recorded CRC-32 over one that does not; a whole copy over a cut
// or broken one; then the first in the file. Each member is then extracted once.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/LogLine.h"
#include "engine/PackageEntry.h"

namespace tavrin {

enum class CopyReason {
    CentralDirectory, // a central directory that survived points at it
    MatchesCrc,       // its bytes match the CRC-32 recorded for them
    Whole,            // it inflates or copies whole; the others do not
    First,            // none is better than the others: the first in the file
};

// The copies of one member path, the one kept and the ones left aside.
struct MemberCopies {
    std::string name;            // the kept copy's name as recorded
    std::uint64_t keptOffset = 0; // data offsets
    CopyReason reason = CopyReason::First;
    bool keptMatchesCrc = false;
    std::vector<std::uint64_t> asideOffsets; // the first kMaxOffsetsListed of them
    std::uint64_t asideCount = 0;

    static constexpr std::size_t kMaxOffsetsListed = 5;
};

struct CopyChoice {
    std::vector<MemberCopies> names; // for the first kMaxFailedMembersListed paths with copies
    std::uint64_t namesNotListed = 0; // further paths with copies, only counted
    std::uint64_t copiesSetAside = 0; // in all
};

// Leaves one entry per member path in `entries` (file order kept) and says what was set
// aside. The copies are judged by reading them from the package open as `fd` (`length`
// bytes), within a bound on the bytes read; `running` may be null.
CopyChoice ChooseMemberCopies(int fd, std::uint64_t length, ScanList& entries,
                              const std::atomic<int>* running = nullptr);

// The same for one package's part of a scan list: the entries kept are moved to the
// front of `entries`, which is narrowed to them; the ones behind are left empty.
CopyChoice ChooseMemberCopies(int fd, std::uint64_t length, std::span<PackageEntry>& entries,
                              const std::atomic<int>* running = nullptr);

// The activity log text for one path's copies, after the package path: " member ...\r\n".
std::string MemberCopiesLogText(const MemberCopies& copies);

const char* ToString(CopyReason reason);

// One line per path with copies left aside (black when the kept copy matches its CRC,
// red otherwise), then one counting the paths not listed.
LogLines MemberCopiesLogLines(const std::string& packagePath, const CopyChoice& choice);

} // namespace tavrin
