#include "engine/PackageOutcome.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "engine/PackageBytes.h"
#include "platform/FileDescriptor.h"

namespace tavrin {
namespace {

// Whole reads only: a short one means the bytes are not there.
bool ReadWhole(int fd, std::uint64_t offset, unsigned char* buffer, std::size_t size)
{
    return ReadAt(fd, offset, buffer, size) == size;
}

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;

// The end record must close the file (its comment reaching exactly to the end), and the
// central directory must end where the end record begins: nothing cut, nothing added.
// A ZIP64 package is never taken as whole here; .odb packages do not need ZIP64.
bool CentralDirectoryListsExactly(const std::vector<MemberReport>& members, int fd, std::uint64_t length)
{
    if (length < kEndRecordSize)
        return false;
    const std::uint64_t tail = std::min<std::uint64_t>(length, kEndRecordSize + 0xFFFF);
    std::vector<unsigned char> end(tail);
    if (!ReadWhole(fd, length - tail, end.data(), end.size()))
        return false;
    std::int64_t at = -1;
    for (std::int64_t i = static_cast<std::int64_t>(tail - kEndRecordSize); i >= 0; --i) {
        const unsigned char* p = end.data() + i;
        if (std::memcmp(p, "PK\5\6", 4) == 0 &&
            static_cast<std::uint64_t>(i) + kEndRecordSize + Le16(p + 20) == tail) {
            at = i;
            break;
        }
    }
    if (at < 0)
        return false;
    const unsigned char* eocd = end.data() + at;
    const std::uint64_t eocdOffset = length - tail + static_cast<std::uint64_t>(at);
    const std::uint16_t count = Le16(eocd + 10);
    const std::uint32_t size = Le32(eocd + 12);
    const std::uint32_t offset = Le32(eocd + 16);
    if (Le16(eocd + 4) != 0 || Le16(eocd + 6) != 0 || Le16(eocd + 8) != count || count < members.size() ||
        std::uint64_t{offset} + size != eocdOffset)
        return false;

    std::vector<unsigned char> directory(size);
    if (size > 0 && !ReadWhole(fd, offset, directory.data(), directory.size()))
        return false;
    std::vector<bool> matched(members.size(), false);
    std::unordered_map<std::uint64_t, std::size_t> byDataOffset;
    for (std::size_t m = 0; m < members.size(); ++m)
        byDataOffset.emplace(members[m].dataOffset, m);
    std::size_t pos = 0;
    for (std::uint16_t r = 0; r < count; ++r) {
        if (pos + kCentralHeaderSize > directory.size())
            return false;
        const unsigned char* h = directory.data() + pos;
        if (std::memcmp(h, "PK\1\2", 4) != 0)
            return false;
        const std::uint32_t crc = Le32(h + 16);
        const std::uint32_t compressed = Le32(h + 20);
        const std::uint32_t uncompressed = Le32(h + 24);
        const std::size_t nameLength = Le16(h + 28);
        const std::size_t rest = nameLength + Le16(h + 30) + Le16(h + 32);
        const std::uint32_t localOffset = Le32(h + 42);
        if (pos + kCentralHeaderSize + rest > directory.size())
            return false;
        const std::string name(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameLength);
        pos += kCentralHeaderSize + rest;

        // Directory entries and empty stored members hold no data, and the scan lists
        // none of them: they are whole by having nothing to lose.
        if (compressed == 0 && uncompressed == 0)
            continue;
        unsigned char local[kLocalHeaderSize];
        if (!ReadWhole(fd, localOffset, local, sizeof local) || std::memcmp(local, "PK\3\4", 4) != 0 ||
            Le16(local + 26) != nameLength)
            return false;
        const std::uint64_t dataOffset = std::uint64_t{localOffset} + kLocalHeaderSize + nameLength + Le16(local + 28);
        const auto listed = byDataOffset.find(dataOffset);
        if (listed == byDataOffset.end() || matched[listed->second])
            return false;
        const MemberReport& member = members[listed->second];
        if (member.name != name || member.recordedCrc != crc || member.compressedSize != compressed ||
            member.uncompressedSize != uncompressed)
            return false;
        matched[listed->second] = true;
    }
    if (std::find(matched.begin(), matched.end(), false) != matched.end())
        return false;
    return pos == directory.size();
}

} // namespace

bool HasLosses(const PackageReport& report)
{
    if (report.result == PackageResult::SavedWithLosses || report.lostNotListed > 0 || report.failedNotListed > 0 ||
        !report.leftOut.empty() || !report.picturesNotCopied.empty())
        return true;
    for (const MemberReport& member : report.members) {
        if (member.outcome != MemberOutcome::Written || member.crcCheck == CrcCheck::Mismatch)
            return true;
    }
    return std::any_of(report.databaseCompletions.begin(), report.databaseCompletions.end(),
                       [](const DatabaseCompletion& completion) { return completion.rowsMayBeLost; });
}

bool FurtherPackageFellShort(const PackageReport& further)
{
    switch (further.result) {
    case PackageResult::Repaired:
    case PackageResult::Saved: return HasLosses(further);
    default: return true;
    }
}

bool FoundNoDamage(const PackageReport& report)
{
    if (report.result != PackageResult::Repaired || report.members.empty() || HasLosses(report) ||
        report.contentXmlRegenerated || !report.databaseCompletions.empty() || !report.renamedNames.empty() ||
        report.renamedNotListed > 0)
        return false;
    for (const MemberReport& member : report.members) {
        const bool sizesRecorded =
            member.sizeSource == SizeSource::LocalHeader || member.sizeSource == SizeSource::DataDescriptor;
        // An empty member has nothing to check; every other one must match its CRC.
        const bool checked = member.crcCheck == CrcCheck::Matches ||
                             (member.uncompressedSize == 0 && member.crcCheck == CrcCheck::NotChecked);
        if (!sizesRecorded || !checked)
            return false;
    }
    const platform::FileDescriptor file(::open(report.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.IsOpen())
        return false;
    struct stat info {};
    return ::fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode) &&
           CentralDirectoryListsExactly(report.members, file.Get(), static_cast<std::uint64_t>(info.st_size));
}

PackageOutcome OutcomeOf(const PackageReport& report, bool noDamage)
{
    switch (report.result) {
    case PackageResult::NotStarted: return PackageOutcome::Pending;
    case PackageResult::Repaired:
    case PackageResult::Saved:
    case PackageResult::SavedWithLosses:
        if (HasLosses(report) || std::any_of(report.furtherPackages.begin(), report.furtherPackages.end(),
                                             [](const PackageReport& further) { return FurtherPackageFellShort(further); }))
            return PackageOutcome::RepairedWithLosses;
        return noDamage ? PackageOutcome::NoDamageFound : PackageOutcome::Repaired;
    case PackageResult::SaveFailed:
        // A package that gave nothing to save was never repaired in the first place.
        return report.members.empty() ? PackageOutcome::NotRepaired : PackageOutcome::NotSaved;
    case PackageResult::SaveStopped: return PackageOutcome::NotSaved;
    default: return PackageOutcome::NotRepaired;
    }
}

const char* ToString(PackageOutcome outcome)
{
    switch (outcome) {
    case PackageOutcome::Pending: return "";
    case PackageOutcome::NoDamageFound: return "no damage found";
    case PackageOutcome::Repaired: return "repaired";
    case PackageOutcome::RepairedWithLosses: return "repaired with losses";
    case PackageOutcome::NotRepaired: return "not repaired";
    case PackageOutcome::NotSaved: return "not saved";
    }
    return "";
}

} // namespace tavrin
