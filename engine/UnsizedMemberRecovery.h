// Sizes the deflated members the scanner had to leave out: both sizes 0 in the local
// header and no data descriptor to be found (written without its signature, cut off,
// or the next header met first). A deflate stream marks its own end, so inflating it
// from the data offset to its final block gives both sizes; a descriptor right behind
// the stream that agrees with them also gives the member's CRC.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/PackageEntry.h"

namespace tavrin {

struct UnsizedMember {
    PackageEntry entry; // sized when `error` is empty
    std::string error;  // why the stream gave no end, when it did not
};

class UnsizedMemberRecovery {
public:
    // `running` may be null; when it reads 0 the inflation stops and the member stays unsized.
    // `inputBudget` bounds the package bytes read for all candidates together (0: twice
    // the package plus 16 MiB). Real members lie side by side and are read about once;
    // a hostile file can make every fake header's stream run on to its end, so without
    // a bound the work would grow with the square of its length.
    UnsizedMemberRecovery(int packageFd, std::uint64_t length, const std::atomic<int>* running = nullptr,
                          std::uint64_t inputBudget = 0);

    // Inflates the candidate's stream to its end and returns it sized, or with the reason.
    UnsizedMember Size(const PackageEntry& candidate);

    // Sizes the candidates and returns them, sized or not, merged with `listed` in file
    // order. A header whose data offset lies inside the data of a member sized here was
    // only bytes of that data, and is dropped, whether listed or a candidate. Once the
    // budget cannot pay for another candidate, only the first one it turns away is kept.
    std::vector<UnsizedMember> Merge(const ScanList& listed, const ScanList& candidates);

private:
    // True when Size would turn the candidate away for want of budget before reading it.
    bool CannotAffordFirstRead(const PackageEntry& candidate) const;

    int fd_;
    std::uint64_t length_;
    const std::atomic<int>* running_;
    std::uint64_t budgetLeft_;
};

} // namespace tavrin
