#include "engine/PackagesInFile.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <span>

#include "engine/MemberExtractor.h"
#include "engine/PackageBytes.h"

namespace tavrin {
namespace {

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kChunkSize = std::size_t{1} << 16;

bool IsMimetype(const std::string& name)
{
    return SafeMemberPath(name) == "mimetype";
}

// True when an end-of-central-directory record lies whole between `from` and `to`.
// Each gap between members is read once, so all of them together cost at most one
// read of the file.
bool EndRecordBetween(int fd, std::uint64_t from, std::uint64_t to)
{
    if (to <= from || to - from < kEndRecordSize)
        return false;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(to - from, kChunkSize)));
    std::uint64_t at = from;
    while (at + kEndRecordSize <= to) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - at));
        const std::size_t got = ReadAt(fd, at, buffer.data(), want);
        if (got < 4)
            return false;
        const unsigned char* p = buffer.data();
        const unsigned char* end = buffer.data() + got;
        while (const void* found = ::memmem(p, static_cast<std::size_t>(end - p), "PK\5\6", 4)) {
            const auto* record = static_cast<const unsigned char*>(found);
            if (at + static_cast<std::uint64_t>(record - buffer.data()) + kEndRecordSize <= to)
                return true;
            p = record + 1;
        }
        if (got < want)
            return false;
        at += got - 3; // a signature across two reads is seen whole in the second
    }
    return false;
}

// Where the local header of `entry` ends at the latest: its name and fixed fields lie
// before its data (an extra field may lie between).
std::uint64_t HeaderStartBound(const PackageEntry& entry)
{
    const std::uint64_t header = kLocalHeaderSize + entry.name.size();
    return entry.dataOffset >= header ? entry.dataOffset - header : 0;
}

} // namespace

PackagesInFile SplitPackages(int fd, ScanList entries, std::vector<LostMember> lost,
                             std::size_t maxPackages)
{
    maxPackages = std::max<std::size_t>(maxPackages, 1);
    const std::size_t count = entries.size();

    // Runs of members, each starting where a package may start (indices into entries).
    std::vector<std::size_t> starts{0};
    bool runHasMimetype = count > 0 && IsMimetype(entries[0].name);
    for (std::size_t i = 1; i < count; ++i) {
        const PackageEntry& before = entries[i - 1];
        const bool mimetype = IsMimetype(entries[i].name);
        const std::uint64_t beforeEnds = before.dataOffset + before.compressedSize;
        if ((mimetype && runHasMimetype) || EndRecordBetween(fd, beforeEnds, HeaderStartBound(entries[i]))) {
            starts.push_back(i);
            runHasMimetype = mimetype;
        } else {
            runHasMimetype = runHasMimetype || mimetype;
        }
    }

    // The run each lost member belongs to: the one of the listed member before it.
    auto runOf = [&](std::size_t listedBefore) {
        if (listedBefore == 0)
            return std::size_t{0};
        const auto after = std::upper_bound(starts.begin(), starts.end(), listedBefore - 1);
        return static_cast<std::size_t>(std::distance(starts.begin(), after)) - 1;
    };
    std::vector<bool> runHasMore(starts.size(), false);
    for (std::size_t run = 0; run < starts.size(); ++run) {
        const std::size_t end = run + 1 < starts.size() ? starts[run + 1] : count;
        for (std::size_t i = starts[run]; i < end && !runHasMore[run]; ++i)
            runHasMore[run] = !IsMimetype(entries[i].name);
    }
    for (const LostMember& member : lost)
        runHasMore[runOf(member.listedBefore)] = true;

    // A run of mimetype members alone stays with the package before it.
    std::vector<std::size_t> packageStarts{0};
    for (std::size_t run = 1; run < starts.size(); ++run)
        if (runHasMore[run])
            packageStarts.push_back(starts[run]);

    PackagesInFile result;
    result.entries = std::move(entries);
    const std::size_t kept = std::min(packageStarts.size(), maxPackages);
    result.foldedIntoLast = packageStarts.size() - kept;
    packageStarts.resize(kept);
    result.packages.resize(kept);
    const std::span<PackageEntry> all(result.entries);
    for (std::size_t p = 0; p < kept; ++p) {
        const std::size_t begin = packageStarts[p];
        const std::size_t end = p + 1 < kept ? packageStarts[p + 1] : count;
        PackageMembers& package = result.packages[p];
        package.entries = all.subspan(begin, end - begin);
        package.firstOffset = begin < count ? package.entries.front().dataOffset : 0;
    }
    for (LostMember& member : lost) {
        std::size_t p = 0;
        if (member.listedBefore > 0) {
            const auto after = std::upper_bound(packageStarts.begin(), packageStarts.end(), member.listedBefore - 1);
            p = static_cast<std::size_t>(std::distance(packageStarts.begin(), after)) - 1;
        }
        member.listedBefore -= packageStarts[p];
        result.packages[p].lost.push_back(std::move(member));
    }
    return result;
}

LogLines PackagesInFileLogLines(const std::string& packagePath, const PackagesInFile& packages)
{
    LogLines lines;
    if (packages.found() <= 1)
        return lines;
    std::string starts;
    for (std::size_t p = 1; p < packages.packages.size(); ++p)
        starts += (p == 1 ? "" : ", ") + std::to_string(p + 1) + " at byte " +
                  std::to_string(packages.packages[p].firstOffset);
    lines.push_back({packagePath + " the file holds " + std::to_string(packages.found()) +
                         " packages, each is rebuilt on its own and saved beside the first with its number after the "
                         "name (package " + starts + ")....\r\n",
                     kBlack});
    if (packages.foldedIntoLast > 0)
        lines.push_back({packagePath + " only the first " + std::to_string(packages.packages.size()) +
                             " packages are rebuilt on their own, the last " + std::to_string(packages.foldedIntoLast) +
                             " are rebuilt with package " + std::to_string(packages.packages.size()) +
                             ": of the members they share one copy is kept....\r\n",
                         kRed});
    return lines;
}

std::string PackageLogPath(const std::string& packagePath, std::size_t number)
{
    return number <= 1 ? packagePath : packagePath + " (package " + std::to_string(number) + ")";
}

} // namespace tavrin
