// Sizes deflated members by inflating their data, for the scan, in file order.
//
// Two kinds of member need it. One lost both sizes in its local header and has no data
// descriptor to be found (written without its signature, cut off, or the next header
// met first). The other declares a compressed size that does not end where anything
// could follow a member, so the size is wrong: too small, the stream runs on past it;
// too large, the scan would jump over the members behind it. A deflate stream marks
// its own end, so inflating it to its final block gives both sizes; a descriptor right
// behind the stream, or the CRC and size the header recorded, confirms them.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/MemberDefect.h"
#include "engine/PackageEntry.h"

namespace tavrin {

struct UnsizedMember {
    PackageEntry entry; // sized when `error` is empty
    std::string error;  // why the stream gave no end, when it did not
};

// A member the scan met but could not size, and where it stands among the listed ones.
struct LostMember {
    PackageEntry entry;       // both sizes 0
    std::string error;        // why its stream gave no end
    std::size_t listedBefore; // how many listed members come before it in file order
    MemberDefect defect = MemberDefect::SizesLost;
};

class UnsizedMemberRecovery {
public:
    // How many lost members are kept with their reason; past that they are only counted,
    // so a file of fake headers cannot fill memory with them.
    static constexpr std::size_t kMaxLostKept = 100;

    // `running` may be null; when it reads 0 the inflation stops and the member stays unsized.
    // `inputBudget` bounds the package bytes read for all members together (0: twice
    // the package plus 16 MiB). Real members lie side by side and are read about once;
    // a hostile file can make every fake header's stream run on to its end, so without
    // a bound the work would grow with the square of its length.
    UnsizedMemberRecovery(int packageFd, std::uint64_t length, const std::atomic<int>* running = nullptr,
                          std::uint64_t inputBudget = 0);

    // Inflates the candidate's stream to its end and returns it sized, or with the reason.
    UnsizedMember Size(const PackageEntry& candidate);

    // For the scan: sizes a candidate with both sizes lost, or keeps it among the lost
    // ones (`listedBefore` = members listed so far) and returns nothing.
    std::optional<PackageEntry> SizeLost(const PackageEntry& candidate, std::size_t listedBefore);

    // For the scan: a deflated member whose declared compressed size does not end where
    // a member can end. Returns it with the compressed size its stream really has, when
    // the stream ends elsewhere and inflates to the recorded size and CRC; nothing when
    // the declared sizes stand or cannot be bettered.
    std::optional<PackageEntry> CorrectCompressedSize(const PackageEntry& declared);

    // For the scan: a member whose local header the end of the package cuts off, kept
    // among the lost ones with what could be read of it (its name, or the start of it;
    // its data offset is where its header starts).
    void KeepCutHeader(const PackageEntry& cut, std::size_t listedBefore);

    // For the scan: true when the member's bytes give the CRC-32 its header recorded,
    // copied when its sizes are equal, else inflated (also tried for equal sizes whose
    // copy misses). False when it records none, when they do not, or when the budget
    // cannot pay for the reading.
    bool MatchesRecordedCrc(const PackageEntry& entry);

    const std::vector<LostMember>& Lost() const { return lost_; }
    std::vector<LostMember> TakeLost() { return std::move(lost_); }
    // Lost members met after kMaxLostKept, or after the budget was spent: not kept.
    std::uint64_t LostNotKept() const { return lostNotKept_; }

private:
    struct Inflated {
        bool ended = false;
        std::string error;
        std::uint64_t consumed = 0;
        std::uint64_t produced = 0;
        std::uint32_t crc = 0;
    };
    Inflated InflateToEnd(std::uint64_t dataOffset);
    // True when Size would turn the candidate away for want of budget before reading it.
    bool CannotAffordFirstRead(const PackageEntry& candidate) const;

    int fd_;
    std::uint64_t length_;
    const std::atomic<int>* running_;
    std::uint64_t budgetLeft_;
    std::vector<LostMember> lost_;
    std::uint64_t lostNotKept_ = 0;
    bool budgetFailureKept_ = false;
};

} // namespace tavrin
