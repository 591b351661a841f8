#include "engine/MemberCopies.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <unordered_map>

#include "engine/CentralDirectory.h"
#include "engine/MemberExtractor.h"
#include "engine/PackageBytes.h"
#include "engine/TextUtil.h"

namespace tavrin {
namespace {

constexpr std::size_t kChunkSize = std::size_t{1} << 16;

struct Judgement {
    bool matchesCrc = false;
    bool whole = false;
};

// Reads the copies of a member back and judges them, within a bound on the bytes read
// for all copies together: a file of one name's headers a million times, each claiming
// the rest of the file, must not cost a million reads of it.
class CopyJudge {
public:
    CopyJudge(int fd, std::uint64_t length, const std::atomic<int>* running)
        : fd_(fd), length_(length), running_(running), budgetLeft_(2 * length + (std::uint64_t{16} << 20))
    {
        ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
    }
    ~CopyJudge()
    {
        if (ready_)
            inflateEnd(&stream_);
    }
    CopyJudge(const CopyJudge&) = delete;
    CopyJudge& operator=(const CopyJudge&) = delete;

    Judgement Judge(const PackageEntry& entry)
    {
        Judgement judgement;
        if (!input_ || !output_)
            return judgement;
        const bool inflated = entry.sizeSource == SizeSource::Inflation ||
                              entry.sizeSource == SizeSource::InflationAndDescriptor ||
                              entry.sizeSource == SizeSource::CompressedSizeCorrected;
        // As the extraction does: equal sizes are copied, and tried as a stream when the
        // copy misses the recorded CRC.
        if (entry.compressedSize == entry.uncompressedSize && !inflated) {
            judgement = Copy(entry);
            if (judgement.matchesCrc || !judgement.whole || entry.recordedCrc == 0)
                return judgement;
            const Judgement tried = Inflate(entry);
            return tried.matchesCrc ? tried : judgement;
        }
        return Inflate(entry);
    }

private:
    bool Stopped() const { return running_ != nullptr && running_->load(std::memory_order_relaxed) == 0; }

    // Reads up to `want` bytes at `offset` within the budget; 0 when it is spent.
    std::size_t ReadChunk(std::uint64_t offset, std::size_t want)
    {
        if (offset >= length_ || Stopped())
            return 0;
        want = static_cast<std::size_t>(std::min<std::uint64_t>({want, length_ - offset, budgetLeft_}));
        const std::size_t got = want == 0 ? 0 : ReadAt(fd_, offset, input_.get(), want);
        budgetLeft_ -= got;
        return got;
    }

    Judgement Copy(const PackageEntry& entry)
    {
        std::uint64_t left = entry.compressedSize;
        std::uint64_t offset = entry.dataOffset;
        std::uint32_t crc = 0;
        while (left > 0) {
            const std::size_t got = ReadChunk(offset, static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunkSize)));
            if (got == 0)
                break;
            crc = static_cast<std::uint32_t>(crc32(crc, input_.get(), static_cast<uInt>(got)));
            left -= got;
            offset += got;
        }
        Judgement judgement;
        judgement.whole = left == 0;
        judgement.matchesCrc = judgement.whole && entry.recordedCrc != 0 && crc == entry.recordedCrc;
        return judgement;
    }

    Judgement Inflate(const PackageEntry& entry)
    {
        Judgement judgement;
        if (!ready_ || inflateReset(&stream_) != Z_OK)
            return judgement;
        std::uint64_t offset = entry.dataOffset;
        std::uint64_t produced = 0;
        std::uint32_t crc = 0;
        int status = Z_OK;
        // Reads start at what the copy declares and grow only while its stream goes
        // on: most broken copies break within their first bytes, and every byte read
        // counts against the bound.
        std::size_t chunk = static_cast<std::size_t>(std::clamp<std::uint64_t>(entry.compressedSize + 16, 64, 1u << 12));
        stream_.avail_in = 0;
        while (status == Z_OK) {
            if (stream_.avail_in == 0) {
                const std::size_t got = ReadChunk(offset, chunk);
                chunk = std::min(chunk * 2, kChunkSize);
                if (got == 0)
                    break;
                offset += got;
                stream_.next_in = input_.get();
                stream_.avail_in = static_cast<uInt>(got);
            }
            stream_.next_out = output_.get();
            stream_.avail_out = static_cast<uInt>(kChunkSize);
            status = inflate(&stream_, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END)
                break;
            const std::size_t made = kChunkSize - stream_.avail_out;
            crc = static_cast<std::uint32_t>(crc32(crc, output_.get(), static_cast<uInt>(made)));
            produced += made;
            if (produced > entry.uncompressedSize)
                break; // runs on past its size: not this member's stream
        }
        const bool ended = status == Z_STREAM_END;
        const bool crcRight = ended && entry.recordedCrc != 0 && crc == entry.recordedCrc;
        // A stream that ends short of its size yet gives the recorded CRC is the member
        // whole, as the extraction takes it.
        judgement.whole = ended && (produced == entry.uncompressedSize || crcRight);
        judgement.matchesCrc = judgement.whole && crcRight;
        return judgement;
    }

    int fd_;
    std::uint64_t length_;
    const std::atomic<int>* running_;
    std::uint64_t budgetLeft_;
    z_stream stream_{};
    bool ready_ = false;
    std::unique_ptr<unsigned char[]> input_{new (std::nothrow) unsigned char[kChunkSize]};
    std::unique_ptr<unsigned char[]> output_{new (std::nothrow) unsigned char[kChunkSize]};
};

// The copies of each member path as chains through the scan list: for every entry the
// index of the next copy of its path, in file order. Four bytes an entry where the list
// allows it, rather than a list of indices per path that grows by doubling: for a file
// of a million headers of one name this is the most the choice holds beside the list.
template <typename Index>
struct CopyChains {
    static constexpr Index kEnd = std::numeric_limits<Index>::max();
    std::vector<Index> next;
    std::vector<Index> firstOfPaths; // first copy of each path with copies, by its second copy

    explicit CopyChains(std::span<const PackageEntry> entries) : next(entries.size(), kEnd)
    {
        struct Ends {
            Index first;
            Index last;
        };
        std::unordered_map<std::string, Ends> byPath;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::string path = SafeMemberPath(entries[i].name);
            if (path.empty())
                continue; // nothing is written for it, so nothing can collide
            const auto index = static_cast<Index>(i);
            const auto [found, first] = byPath.try_emplace(std::move(path), Ends{index, index});
            if (first)
                continue;
            Ends& ends = found->second;
            if (ends.last == ends.first)
                firstOfPaths.push_back(ends.first);
            next[ends.last] = index;
            ends.last = index;
        }
    }
};

// Which of the copies (the chain from `first`, in file order) to keep, and why.
template <typename Index>
std::pair<std::size_t, CopyReason> Choose(Index first, const CopyChains<Index>& chains,
                                          std::span<const PackageEntry> entries,
                                          const std::vector<std::uint64_t>& pointedAt, CopyJudge& judge, bool& matches)
{
    std::vector<std::size_t> pointed;
    std::size_t copyCount = 0;
    for (Index index = first; index != chains.kEnd; index = chains.next[index]) {
        ++copyCount;
        if (std::binary_search(pointedAt.begin(), pointedAt.end(), entries[index].dataOffset))
            pointed.push_back(index);
    }
    // In file order the first copy that matches its CRC wins at once; the judging stops
    // there, so many copies cost only as many reads as come before a good one.
    std::optional<std::size_t> firstWhole;
    std::size_t wholeCount = 0;
    std::optional<std::size_t> matching;
    const auto judgeCopy = [&](std::size_t index) {
        const Judgement judgement = judge.Judge(entries[index]);
        if (judgement.matchesCrc) {
            matching = index;
            return false;
        }
        wholeCount += judgement.whole ? 1 : 0;
        if (judgement.whole && !firstWhole)
            firstWhole = index;
        return true;
    };
    if (pointed.empty()) {
        for (Index index = first; index != chains.kEnd && judgeCopy(index); index = chains.next[index]) {
        }
    } else {
        for (std::size_t i = 0; i < pointed.size() && judgeCopy(pointed[i]); ++i) {
        }
    }
    if (matching) {
        matches = true;
        return {*matching, pointed.size() == 1 ? CopyReason::CentralDirectory : CopyReason::MatchesCrc};
    }
    matches = false;
    if (pointed.size() == 1)
        return {pointed.front(), CopyReason::CentralDirectory};
    // Whole is a reason only where some copy is not.
    const std::size_t candidates = pointed.empty() ? copyCount : pointed.size();
    if (firstWhole && wholeCount < candidates)
        return {*firstWhole, CopyReason::Whole};
    return {pointed.empty() ? std::size_t{first} : pointed.front(), CopyReason::First};
}

// Marks the copies set aside in `aside` and says what was chosen.
template <typename Index>
CopyChoice ChooseCopies(int fd, std::uint64_t length, std::span<const PackageEntry> entries, std::vector<bool>& aside,
                        const std::atomic<int>* running)
{
    CopyChoice choice;
    const CopyChains<Index> chains(entries);
    if (chains.firstOfPaths.empty())
        return choice;

    std::vector<std::uint64_t> pointedAt;
    const CentralDirectory directory = CentralDirectory::Read(fd, length);
    for (const CentralRecord& record : directory.records())
        if (record.dataOffset != 0)
            pointedAt.push_back(record.dataOffset);
    std::sort(pointedAt.begin(), pointedAt.end());

    CopyJudge judge(fd, length, running);
    aside.assign(entries.size(), false);
    for (const Index first : chains.firstOfPaths) {
        bool matches = false;
        const auto [kept, reason] = Choose(first, chains, entries, pointedAt, judge, matches);
        MemberCopies listed;
        listed.name = entries[kept].name;
        listed.keptOffset = entries[kept].dataOffset;
        listed.reason = reason;
        listed.keptMatchesCrc = matches;
        for (Index index = first; index != chains.kEnd; index = chains.next[index]) {
            if (index == kept)
                continue;
            aside[index] = true;
            ++listed.asideCount;
            if (listed.asideOffsets.size() < MemberCopies::kMaxOffsetsListed)
                listed.asideOffsets.push_back(entries[index].dataOffset);
        }
        choice.copiesSetAside += listed.asideCount;
        if (choice.names.size() < kMaxFailedMembersListed)
            choice.names.push_back(std::move(listed));
        else
            ++choice.namesNotListed;
    }
    return choice;
}

} // namespace

CopyChoice ChooseMemberCopies(int fd, std::uint64_t length, ScanList& entries, const std::atomic<int>* running)
{
    std::span<PackageEntry> kept(entries);
    CopyChoice choice = ChooseMemberCopies(fd, length, kept, running);
    entries.resize(kept.size());
    return choice;
}

CopyChoice ChooseMemberCopies(int fd, std::uint64_t length, std::span<PackageEntry>& entries,
                              const std::atomic<int>* running)
{
    std::vector<bool> aside;
    // The last 32-bit index stands for the end of a chain.
    CopyChoice choice = entries.size() < std::numeric_limits<std::uint32_t>::max()
                            ? ChooseCopies<std::uint32_t>(fd, length, entries, aside, running)
                            : ChooseCopies<std::uint64_t>(fd, length, entries, aside, running);
    if (aside.empty())
        return choice;
    std::size_t write = 0;
    for (std::size_t read = 0; read < entries.size(); ++read)
        if (!aside[read]) {
            if (write != read)
                entries[write] = std::move(entries[read]);
            ++write;
        }
    // The names of the copies set aside are let go now, not with the whole list.
    for (std::size_t rest = write; rest < entries.size(); ++rest)
        entries[rest] = PackageEntry{};
    entries = entries.first(write);
    return choice;
}

const char* ToString(CopyReason reason)
{
    switch (reason) {
    case CopyReason::CentralDirectory: return "central-directory";
    case CopyReason::MatchesCrc: return "matches-crc";
    case CopyReason::Whole: return "whole";
    case CopyReason::First: return "first";
    }
    return "first";
}

std::string MemberCopiesLogText(const MemberCopies& copies)
{
    std::string why;
    switch (copies.reason) {
    case CopyReason::CentralDirectory:
        why = copies.keptMatchesCrc ? "the central directory points at it and it matches its CRC-32"
                                    : "the central directory points at it";
        break;
    case CopyReason::MatchesCrc: why = "it matches its CRC-32"; break;
    case CopyReason::Whole: why = "it is whole, the others are not, but no CRC-32 confirms it"; break;
    case CopyReason::First: why = "it is the first, none of them could be confirmed"; break;
    }
    std::string offsets;
    for (const std::uint64_t offset : copies.asideOffsets)
        offsets += (offsets.empty() ? "" : ", ") + std::to_string(offset);
    if (copies.asideCount > copies.asideOffsets.size())
        offsets += " and " + std::to_string(copies.asideCount - copies.asideOffsets.size()) + " more";
    return " member " + PrintableName(copies.name) + " is in the package " + std::to_string(copies.asideCount + 1) +
           " times, the copy at byte " + std::to_string(copies.keptOffset) + " is kept (" + why +
           "), the " + (copies.asideCount == 1 ? "copy" : "copies") + " at " + offsets + " left aside....\r\n";
}

LogLines MemberCopiesLogLines(const std::string& packagePath, const CopyChoice& choice)
{
    LogLines lines;
    for (const MemberCopies& member : choice.names)
        lines.push_back({packagePath + MemberCopiesLogText(member), member.keptMatchesCrc ? kBlack : kRed});
    if (choice.namesNotListed > 0)
        lines.push_back({packagePath + " " + std::to_string(choice.namesNotListed) +
                             " more members are in the package more than once, only one copy of each is kept....\r\n",
                         kRed});
    return lines;
}

} // namespace tavrin
