#include "engine/UnsizedMemberRecovery.h"
#include "engine/PackageBytes.h"
#include "platform/SystemError.h"

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

UnsizedMemberRecovery::Inflated UnsizedMemberRecovery::InflateToEnd(std::uint64_t dataOffset)
{
    Inflated result;
    // Turned away before anything is set up: once the budget is spent, a file of fake
    // headers asks this again for every one of them.
    if (budgetLeft_ == 0 ||
        (dataOffset < length_ && std::min<std::uint64_t>(kFirstChunkSize, length_ - dataOffset) > budgetLeft_)) {
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
    std::uint64_t offset = dataOffset;
    std::size_t chunk = kFirstChunkSize;
    int status = Z_OK;
    std::uint32_t crc = 0;
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
            int readError = 0;
            const std::size_t got = want == 0 ? 0 : ReadAt(fd_, offset, input.get(), want, &readError);
            budgetLeft_ -= got;
            if (got == 0) {
                result.error = readError != 0 ? "its data could not be read (" + platform::SystemErrorText(readError) + ")"
                                              : std::string("the package ends inside its data");
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
            result.error = "its data does not inflate to an end";
            return result;
        }
        crc = static_cast<std::uint32_t>(crc32(crc, output.get(), static_cast<uInt>(kChunkSize - stream.avail_out)));
        if (stream.total_in > kLargestSize || stream.total_out > kLargestSize) {
            result.error = "its data inflates past 4 GiB";
            return result;
        }
    }
    result.ended = true;
    result.consumed = stream.total_in;
    result.produced = stream.total_out;
    result.crc = crc;
    return result;
}

UnsizedMember UnsizedMemberRecovery::Size(const PackageEntry& candidate)
{
    UnsizedMember result{candidate, {}};
    const Inflated inflated = InflateToEnd(candidate.dataOffset);
    if (!inflated.ended) {
        result.error = inflated.error == kBudgetSpent ? inflated.error : "its sizes are lost and " + inflated.error;
        return result;
    }
    result.entry.compressedSize = static_cast<std::uint32_t>(inflated.consumed);
    result.entry.uncompressedSize = static_cast<std::uint32_t>(inflated.produced);
    result.entry.sizeSource = SizeSource::Inflation;

    PackageEntry& entry = result.entry;
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

std::optional<PackageEntry> UnsizedMemberRecovery::SizeLost(const PackageEntry& candidate, std::size_t listedBefore)
{
    // Once the budget is spent no later candidate can be sized: the first one turned
    // away carries the reason, the others are only counted.
    if (budgetFailureKept_ && CannotAffordFirstRead(candidate)) {
        ++lostNotKept_;
        return std::nullopt;
    }
    UnsizedMember member = Size(candidate);
    if (member.error.empty())
        return std::move(member.entry);
    const bool budgetSpent = member.error == kBudgetSpent;
    if (lost_.size() >= kMaxLostKept || (budgetSpent && budgetFailureKept_)) {
        ++lostNotKept_;
    } else {
        lost_.push_back(LostMember{std::move(member.entry), std::move(member.error), listedBefore});
    }
    budgetFailureKept_ = budgetFailureKept_ || budgetSpent;
    return std::nullopt;
}

std::optional<PackageEntry> UnsizedMemberRecovery::CorrectCompressedSize(const PackageEntry& declared)
{
    if (budgetFailureKept_ && CannotAffordFirstRead(declared))
        return std::nullopt;
    const Inflated inflated = InflateToEnd(declared.dataOffset);
    if (!inflated.ended || inflated.consumed == declared.compressedSize)
        return std::nullopt;
    // Only a stream that gives back exactly what the header recorded proves the header
    // wrong about its length alone; any other stream is not this member's.
    if (inflated.produced != declared.uncompressedSize || (declared.recordedCrc != 0 && inflated.crc != declared.recordedCrc))
        return std::nullopt;
    PackageEntry corrected = declared;
    corrected.compressedSize = static_cast<std::uint32_t>(inflated.consumed);
    corrected.sizeSource = SizeSource::CompressedSizeCorrected;
    return corrected;
}

void UnsizedMemberRecovery::KeepCutHeader(const PackageEntry& cut, std::size_t listedBefore)
{
    if (lost_.size() >= kMaxLostKept) {
        ++lostNotKept_;
        return;
    }
    lost_.push_back(LostMember{cut, DefectText(MemberDefect::HeaderCutOff), listedBefore, MemberDefect::HeaderCutOff});
}

bool UnsizedMemberRecovery::MatchesRecordedCrc(const PackageEntry& entry)
{
    if (entry.recordedCrc == 0)
        return false;
    if (entry.compressedSize == entry.uncompressedSize) {
        if (entry.dataOffset > length_ || length_ - entry.dataOffset < entry.compressedSize ||
            entry.compressedSize > budgetLeft_)
            return false;
        const std::unique_ptr<unsigned char[]> input(new (std::nothrow) unsigned char[kChunkSize]);
        if (!input)
            return false;
        std::uint32_t crc = 0;
        std::uint64_t offset = entry.dataOffset;
        std::uint64_t left = entry.compressedSize;
        while (left > 0) {
            if (running_ != nullptr && running_->load(std::memory_order_relaxed) == 0)
                return false;
            const std::size_t got =
                ReadAt(fd_, offset, input.get(), static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunkSize)));
            budgetLeft_ -= got;
            if (got == 0)
                return false;
            crc = static_cast<std::uint32_t>(crc32(crc, input.get(), static_cast<uInt>(got)));
            offset += got;
            left -= got;
        }
        if (crc == entry.recordedCrc)
            return true;
    }
    const Inflated inflated = InflateToEnd(entry.dataOffset);
    return inflated.ended && inflated.consumed <= entry.compressedSize && inflated.produced == entry.uncompressedSize &&
           inflated.crc == entry.recordedCrc;
}

} // namespace tavrin
