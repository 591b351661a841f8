#include "engine/UnsizedMemberRecovery.h"
#include "engine/PackageBytes.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

namespace tavrin {
namespace {

// Reads start small and grow: most fake headers' streams break within a few bytes, and
// every byte read counts against the budget.
constexpr std::size_t kFirstChunkSize = std::size_t{1} << 12;
constexpr std::size_t kChunkSize = std::size_t{1} << 16;
constexpr std::uint64_t kLargestSize = std::numeric_limits<std::uint32_t>::max();
constexpr const char* kBudgetSpent = "its sizes are lost and too many such members were met to size them all";

class Inflater {
public:
    Inflater() { ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
    ~Inflater()
    {
        if (ready_)
            inflateEnd(&stream_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool ready() const { return ready_; }
    z_stream& stream() { return stream_; }

private:
    z_stream stream_{};
    bool ready_ = false;
};

} // namespace

UnsizedMemberRecovery::UnsizedMemberRecovery(int packageFd, std::uint64_t length, const std::atomic<int>* running,
                                             std::uint64_t inputBudget)
    : fd_(packageFd),
      length_(length),
      running_(running),
      budgetLeft_(inputBudget != 0 ? inputBudget : 2 * length + (std::uint64_t{16} << 20))
{
}

UnsizedMember UnsizedMemberRecovery::Size(const PackageEntry& candidate)
{
    UnsizedMember result{candidate, {}};
    if (budgetLeft_ == 0) {
        result.error = kBudgetSpent;
        return result;
    }
    Inflater inflater;
    const std::unique_ptr<unsigned char[]> input(new (std::nothrow) unsigned char[kChunkSize]);
    const std::unique_ptr<unsigned char[]> output(new (std::nothrow) unsigned char[kChunkSize]);
    if (!inflater.ready() || !input || !output) {
        result.error = "out of memory";
        return result;
    }
    z_stream& stream = inflater.stream();
    std::uint64_t offset = candidate.dataOffset;
    std::size_t chunk = kFirstChunkSize;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (running_ != nullptr && running_->load(std::memory_order_relaxed) == 0) {
            result.error = "the repair was stopped";
            return result;
        }
        if (stream.avail_in == 0) {
            const std::size_t want =
                offset < length_ ? static_cast<std::size_t>(std::min<std::uint64_t>(chunk, length_ - offset)) : 0;
            chunk = std::min(chunk * 2, kChunkSize);
            if (want > budgetLeft_) {
                result.error = kBudgetSpent;
                return result;
            }
            const std::size_t got = want == 0 ? 0 : ReadAt(fd_, offset, input.get(), want);
            budgetLeft_ -= got;
            if (got == 0) {
                result.error = "its sizes are lost and the package ends inside its data";
                return result;
            }
            offset += got;
            stream.next_in = input.get();
            stream.avail_in = static_cast<uInt>(got);
        }
        stream.next_out = output.get();
        stream.avail_out = static_cast<uInt>(kChunkSize);
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            result.error = "its sizes are lost and its data does not inflate to an end";
            return result;
        }
        if (stream.total_in > kLargestSize || stream.total_out > kLargestSize) {
            result.error = "its sizes are lost and its data inflates past 4 GiB";
            return result;
        }
    }

    PackageEntry& entry = result.entry;
    entry.compressedSize = static_cast<std::uint32_t>(stream.total_in);
    entry.uncompressedSize = static_cast<std::uint32_t>(stream.total_out);
    entry.sizeSource = SizeSource::Inflation;
    // The descriptor, with or without its signature, sits right behind the stream; it
    // counts only when its sizes are the ones just found.
    unsigned char after[16] = {};
    const std::size_t got = ReadAt(fd_, entry.dataOffset + entry.compressedSize, after, sizeof after);
    const auto agrees = [&](const unsigned char* fields, std::size_t available) {
        return available >= 12 && Le32(fields + 4) == entry.compressedSize && Le32(fields + 8) == entry.uncompressedSize;
    };
    const unsigned char* fields = nullptr;
    if (got >= 16 && std::memcmp(after, "PK\7\x08", 4) == 0 && agrees(after + 4, got - 4))
        fields = after + 4;
    else if (agrees(after, got))
        fields = after;
    if (fields != nullptr) {
        entry.recordedCrc = Le32(fields);
        entry.sizeSource = SizeSource::InflationAndDescriptor;
    }
    return result;
}

bool UnsizedMemberRecovery::CannotAffordFirstRead(const PackageEntry& candidate) const
{
    if (running_ != nullptr && running_->load(std::memory_order_relaxed) == 0)
        return false; // Size gives the stop as the reason
    if (budgetLeft_ == 0)
        return true;
    return candidate.dataOffset < length_ &&
           std::min<std::uint64_t>(kFirstChunkSize, length_ - candidate.dataOffset) > budgetLeft_;
}

std::vector<UnsizedMember> UnsizedMemberRecovery::Merge(const ScanList& listed, const ScanList& candidates)
{
    const auto byOffset = [](const PackageEntry* a, const PackageEntry* b) { return a->dataOffset < b->dataOffset; };
    const auto inFileOrder = [](const ScanList& list) {
        return std::is_sorted(list.begin(), list.end(),
                              [](const PackageEntry& a, const PackageEntry& b) { return a.dataOffset < b.dataOffset; });
    };
    // The scanner hands both lists out in file order; walking them side by side keeps no
    // index of every candidate, which a file of fake headers would make huge.
    std::vector<const PackageEntry*> sortedListed;
    std::vector<const PackageEntry*> sortedCandidates;
    const bool ordered = inFileOrder(listed) && inFileOrder(candidates);
    if (!ordered) {
        for (const PackageEntry& entry : listed)
            sortedListed.push_back(&entry);
        for (const PackageEntry& entry : candidates)
            sortedCandidates.push_back(&entry);
        std::stable_sort(sortedListed.begin(), sortedListed.end(), byOffset);
        std::stable_sort(sortedCandidates.begin(), sortedCandidates.end(), byOffset);
    }
    const auto listedAt = [&](std::size_t i) { return ordered ? &listed[i] : sortedListed[i]; };
    const auto candidateAt = [&](std::size_t i) { return ordered ? &candidates[i] : sortedCandidates[i]; };

    std::vector<UnsizedMember> merged;
    std::uint64_t sizedDataEnd = 0;
    bool budgetFailureKept = false;
    std::size_t l = 0;
    std::size_t c = 0;
    while (l < listed.size() || c < candidates.size()) {
        // A listed member goes first when both share an offset, as a stable sort would put it.
        const bool takeListed =
            c == candidates.size() || (l < listed.size() && listedAt(l)->dataOffset <= candidateAt(c)->dataOffset);
        const PackageEntry* entry = takeListed ? listedAt(l++) : candidateAt(c++);
        if (entry->dataOffset < sizedDataEnd)
            continue;
        if (takeListed) {
            merged.push_back(UnsizedMember{*entry, {}});
            continue;
        }
        // Once the budget is spent no later candidate can be sized: one of them carries
        // the reason, and keeping every other one would make the result as large as the
        // number of fake headers in a hostile file.
        if (budgetFailureKept && CannotAffordFirstRead(*entry))
            continue;
        UnsizedMember member = Size(*entry);
        if (member.error.empty())
            sizedDataEnd = member.entry.dataOffset + member.entry.compressedSize;
        else if (member.error == kBudgetSpent)
            budgetFailureKept = true;
        merged.push_back(std::move(member));
    }
    return merged;
}

} // namespace tavrin
