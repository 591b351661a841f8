#include "engine/CentralDirectory.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "engine/PackageBytes.h"

namespace tavrin {
namespace {

constexpr std::size_t kCentralFixedSize = 46;
constexpr std::size_t kLocalFixedSize = 30;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kChunkSize = std::size_t{1} << 20;
// ZIP64 keeps the true value in an extra field; such a record says nothing usable here.
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;

// The name as the scanner keeps it: up to its first zero byte, at most the longest name kept.
std::string ScannerName(const std::string& raw)
{
    std::string name = raw.substr(0, raw.find('\0'));
    if (name.size() > kMaxMemberNameLength)
        name.resize(kMaxMemberNameLength);
    return name;
}

// The data offset of the member whose local header starts at `header`, when that
// header names `name`; 0 otherwise.
std::uint64_t VerifiedDataOffset(int fd, std::uint64_t length, std::uint64_t header, const std::string& name)
{
    unsigned char fixed[kLocalFixedSize];
    if (header >= length || length - header < kLocalFixedSize + name.size() ||
        ReadAt(fd, header, fixed, sizeof fixed) != sizeof fixed || std::memcmp(fixed, "PK\3\4", 4) != 0 ||
        Le16(fixed + 26) != name.size())
        return 0;
    std::string local(name.size(), '\0');
    if (ReadAt(fd, header + kLocalFixedSize, reinterpret_cast<unsigned char*>(local.data()), local.size()) !=
            local.size() ||
        local != name)
        return 0;
    return header + kLocalFixedSize + name.size() + Le16(fixed + 28);
}

} // namespace

CentralDirectory CentralDirectory::Read(int fd, std::uint64_t length)
{
    CentralDirectory directory;
    const std::uint64_t start = length > kSearchWindow ? length - kSearchWindow : 0;
    // Bytes put in front of the package (a self-extractor stub, garbage) move every
    // member; an end record that survived tells by how much, as the distance between
    // where its directory ends and where it says the directory ends.
    std::uint64_t lastEndRecord = 0;
    std::uint64_t endRecordShift = 0;
    std::vector<unsigned char> chunk(kChunkSize);
    for (std::uint64_t at = start; at < length && directory.records_.size() < kMaxRecords;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), length - at));
        const std::size_t got = ReadAt(fd, at, chunk.data(), want);
        if (got < 4)
            break;
        // Fields are taken from the chunk where they lie inside it: a hostile tail full of
        // signatures then costs no system call per signature.
        const auto fields = [&](std::size_t from, unsigned char* out, std::size_t size) {
            if (from + size <= got) {
                std::memcpy(out, chunk.data() + from, size);
                return true;
            }
            return ReadAt(fd, at + from, out, size) == size;
        };
        for (std::size_t i = 0; i + 4 <= got && directory.records_.size() < kMaxRecords; ++i) {
            const auto* p = static_cast<const unsigned char*>(std::memchr(chunk.data() + i, 'P', got - 3 - i));
            if (p == nullptr)
                break;
            i = static_cast<std::size_t>(p - chunk.data());
            if (p[1] != 'K')
                continue;
            const std::uint64_t position = at + i;
            if (p[2] == 5 && p[3] == 6) {
                unsigned char end[kEndRecordSize];
                if (fields(i, end, sizeof end)) {
                    const std::uint64_t size = Le32(end + 12);
                    const std::uint64_t offset = Le32(end + 16);
                    if (offset + size <= position && position >= lastEndRecord) {
                        lastEndRecord = position;
                        endRecordShift = position - offset - size;
                    }
                }
                continue;
            }
            if (p[2] != 1 || p[3] != 2)
                continue;
            unsigned char fixed[kCentralFixedSize];
            if (!fields(i, fixed, sizeof fixed))
                continue; // cut off by the end of the file
            CentralRecord record;
            record.crc = Le32(fixed + 16);
            record.compressedSize = Le32(fixed + 20);
            record.uncompressedSize = Le32(fixed + 24);
            record.localHeaderOffset = Le32(fixed + 42);
            const std::uint16_t nameLength = Le16(fixed + 28);
            if (nameLength == 0 || nameLength > kMaxMemberNameLength || record.crc == 0 ||
                record.compressedSize == kZip64Marker || record.uncompressedSize == kZip64Marker ||
                record.localHeaderOffset == kZip64Marker)
                continue;
            record.name.resize(nameLength);
            auto* name = reinterpret_cast<unsigned char*>(record.name.data());
            if (ReadAt(fd, position + kCentralFixedSize, name, nameLength) != nameLength)
                continue;
            directory.records_.push_back(std::move(record));
        }
        if (got < chunk.size())
            break;
        at += got - 3; // a signature across two chunks is seen whole in the next
    }
    for (CentralRecord& record : directory.records_) {
        record.dataOffset = VerifiedDataOffset(fd, length, record.localHeaderOffset, record.name);
        if (record.dataOffset == 0 && endRecordShift != 0)
            record.dataOffset = VerifiedDataOffset(fd, length, record.localHeaderOffset + endRecordShift, record.name);
    }
    return directory;
}

std::size_t CentralDirectory::SupplyRecordedCrcs(ScanList& entries) const
{
    std::map<std::pair<std::uint64_t, std::string>, const CentralRecord*> byMember;
    for (const CentralRecord& record : records_) {
        if (record.dataOffset != 0)
            byMember.emplace(std::make_pair(record.dataOffset, ScannerName(record.name)), &record);
    }
    std::size_t supplied = 0;
    for (PackageEntry& entry : entries) {
        if (entry.recordedCrc != 0)
            continue;
        const auto found = byMember.find({entry.dataOffset, entry.name});
        if (found == byMember.end())
            continue;
        const CentralRecord& record = *found->second;
        const bool sized = entry.compressedSize != 0 || entry.uncompressedSize != 0;
        if (sized && (record.compressedSize != entry.compressedSize || record.uncompressedSize != entry.uncompressedSize))
            continue;
        entry.recordedCrc = record.crc;
        ++supplied;
    }
    return supplied;
}

std::size_t SupplyCentralDirectoryCrcs(int fd, std::uint64_t length, ScanList& entries)
{
    const auto lacksCrc = [](const PackageEntry& entry) { return entry.recordedCrc == 0; };
    if (fd < 0 || std::none_of(entries.begin(), entries.end(), lacksCrc))
        return 0;
    return CentralDirectory::Read(fd, length).SupplyRecordedCrcs(entries);
}

} // namespace tavrin
