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
        result.error = "its sizes are lost and too many such members were met to size them all";
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
                result.error = "its sizes are lost and too many such members were met to size them all";
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

std::vector<UnsizedMember> UnsizedMemberRecovery::Merge(const ScanList& listed, const ScanList& candidates)
{
    // Candidates are marked by an error text until sized, so both kinds sort together.
    std::vector<std::pair<const PackageEntry*, bool>> order;
    order.reserve(listed.size() + candidates.size());
    for (const PackageEntry& entry : listed)
        order.emplace_back(&entry, false);
    for (const PackageEntry& entry : candidates)
        order.emplace_back(&entry, true);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first->dataOffset < b.first->dataOffset; });

    std::vector<UnsizedMember> merged;
    merged.reserve(order.size());
    std::uint64_t sizedDataEnd = 0;
    for (const auto& [entry, unsized] : order) {
        if (entry->dataOffset < sizedDataEnd)
            continue;
        if (!unsized) {
            merged.push_back(UnsizedMember{*entry, {}});
            continue;
        }
        UnsizedMember member = Size(*entry);
        if (member.error.empty())
            sizedDataEnd = member.entry.dataOffset + member.entry.compressedSize;
        merged.push_back(std::move(member));
    }
    return merged;
}

} // namespace tavrin
