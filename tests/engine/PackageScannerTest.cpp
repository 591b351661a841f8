// The block scanner must list exactly what the byte-by-byte window rule lists. The
// reference below follows that rule literally: a seek and a 4-byte read per offset.
#include "engine/PackageScanner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>

#include "TestPackages.h"
#include "engine/MemberExtractor.h"

namespace tavrin {
namespace {

using namespace test;

std::uint32_t Get32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<std::uint32_t>(p[3]) << 24);
}

ScanList SlowScan(const std::string& path)
{
    ScanList entries;
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat info {};
    ::fstat(fd, &info);
    const auto length = static_cast<std::uint64_t>(info.st_size);
    // Reads at `at`; the cursor after the read is `at` plus what came back.
    auto readAt = [fd](std::uint64_t at, unsigned char* out, std::size_t size) {
        const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(at));
        return got < 0 ? std::size_t{0} : static_cast<std::size_t>(got);
    };
    std::uint64_t c = 0;
    while (c < length) {
        const std::uint64_t w = c >= 3 ? c - 3 : c;
        unsigned char window[4];
        const std::size_t got = readAt(w, window, 4);
        c = w + got;
        if (got < 4 || std::string(reinterpret_cast<char*>(window), 4) != std::string("PK\3\4", 4))
            continue;
        unsigned char header[26];
        if (readAt(c, header, 26) < 26)
            break;
        const unsigned method = static_cast<unsigned>(header[4] | (header[5] << 8));
        std::uint32_t crc = Get32(header + 10);
        std::uint32_t compressed = Get32(header + 14);
        std::uint32_t uncompressed = Get32(header + 18);
        const unsigned n = static_cast<unsigned>(header[22] | (header[23] << 8));
        const unsigned m = static_cast<unsigned>(header[24] | (header[25] << 8));
        std::vector<unsigned char> name(n + 2, 0);
        if (readAt(c + 26, name.data(), n) < n)
            break;
        const std::uint64_t p = c + 26 + n;
        SizeSource source = SizeSource::LocalHeader;
        const bool sizesLost = compressed == 0 && uncompressed == 0 && method == 8;
        if (sizesLost) {
            std::uint64_t d = p;
            while (d < length) {
                const std::uint64_t dw = d >= 3 ? d - 3 : d;
                const std::size_t dgot = readAt(dw, window, 4);
                d = dw + dgot;
                if (dgot < 4)
                    continue;
                const std::string text(reinterpret_cast<char*>(window), 4);
                if (text == std::string("PK\3\4", 4))
                    break;
                if (text == std::string("PK\7\x08", 4)) {
                    unsigned char fields[12];
                    if (readAt(d, fields, 12) == 12) {
                        crc = Get32(fields);
                        source = SizeSource::DataDescriptor;
                        compressed = Get32(fields + 4);
                        uncompressed = Get32(fields + 8);
                    }
                    break;
                }
            }
        }
        std::string text(reinterpret_cast<char*>(name.data()));
        text = text.substr(0, 1023);
        if ((compressed != 0 || uncompressed != 0) && !text.empty())
            entries.push_back(PackageEntry{text, compressed, uncompressed, p + m, crc, source});
        c = p + m + compressed;
    }
    ::close(fd);
    return entries;
}

ScanList FastScan(const std::string& path, std::size_t blockSize, bool sizing = false)
{
    ScanList entries;
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat info {};
    ::fstat(fd, &info);
    const auto length = static_cast<std::uint64_t>(info.st_size);
    UnsizedMemberRecovery sizer(fd, length);
    PackageScanner(nullptr, blockSize).Scan(fd, length, entries, sizing ? &sizer : nullptr);
    ::close(fd);
    return entries;
}

// Block sizes down to the window itself, so signatures straddle block ends everywhere.
const std::size_t kBlockSizes[] = {4, 5, 7, 13, 64, 4096, PackageScanner::kDefaultBlockSize};

void ExpectSameAsRule(const std::string& path)
{
    const ScanList expected = SlowScan(path);
    for (const std::size_t block : kBlockSizes)
        EXPECT_EQ(FastScan(path, block), expected) << path << " with blocks of " << block;
}

bool SizedByInflation(const PackageEntry& entry)
{
    return entry.sizeSource == SizeSource::Inflation || entry.sizeSource == SizeSource::InflationAndDescriptor;
}

TEST(PackageScanner, ListsExactlyWhatTheByteRuleListsOnEveryFixture)
{
    int fixtures = 0;
    for (const auto& item : std::filesystem::directory_iterator(TAVRIN_TEST_DATA_DIR "/fixtures")) {
        if (item.path().extension() != ".odb")
            continue;
        ++fixtures;
        ExpectSameAsRule(item.path().string());
        // Sizing by inflation only adds members the rule leaves out: on real packages,
        // damaged or not, it never changes one the rule lists, nor a declared size.
        ScanList sized = FastScan(item.path().string(), PackageScanner::kDefaultBlockSize, true);
        std::erase_if(sized, SizedByInflation);
        EXPECT_EQ(sized, SlowScan(item.path().string())) << item.path();
    }
    EXPECT_GT(fixtures, 0);
}

// Random mixtures of real members, damaged headers, lone descriptors, "PK" pairs and
// noise: the places where a block scanner goes wrong.
TEST(PackageScanner, ListsExactlyWhatTheByteRuleListsOnGeneratedDamage)
{
    TempFolder folder;
    std::mt19937 random(20261210);
    auto noise = [&random](std::size_t size) {
        Bytes bytes(size, '\0');
        for (char& c : bytes)
            c = "PK\3\4\7\x08xyz\0"[random() % 10];
        return bytes;
    };
    for (int round = 0; round < 300; ++round) {
        Bytes package;
        const int pieces = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < pieces; ++i) {
            switch (random() % 8) {
            case 0: package += StoredMember("s" + std::to_string(i), noise(random() % 40)); break;
            case 1: package += DeflatedMember("d/" + std::to_string(i), noise(random() % 200)); break;
            case 2: // descriptor-style member, descriptor with or without its signature
                package += LocalHeader("dd", 8, 0, 0, {}, 8) + Deflate(noise(30)) + Descriptor(12, 30, random() % 2 == 0);
                break;
            case 3: // sizes that point anywhere, even past the end
                package += LocalHeader("bad", static_cast<std::uint16_t>(random() % 9),
                                       static_cast<std::uint32_t>(random() % 100 == 0 ? 0xFFFFFFFFu : random() % 90),
                                       static_cast<std::uint32_t>(random() % 90));
                break;
            case 4: package += std::string("PKPK\3\4", 6); break;
            case 5: package += noise(random() % 50); break;
            case 6: package += LocalHeader("", 8, 0, 0) + Descriptor(0, 0); break;
            default: package += std::string("PK\3\4", 4) + noise(random() % 30); break; // header cut short
            }
        }
        const std::string path = folder / "generated.odb";
        WriteFile(path, package);
        ExpectSameAsRule(path);
        if (HasFailure())
            break;
    }
}

ScanList ScanForRepair(const std::string& path, std::size_t brokenKept, std::uint64_t* brokenNotKept)
{
    ScanList entries;
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat info {};
    ::fstat(fd, &info);
    const auto length = static_cast<std::uint64_t>(info.st_size);
    UnsizedMemberRecovery sizer(fd, length);
    PackageScanner scanner(nullptr, 64);
    scanner.KeepBrokenMembers(brokenKept);
    scanner.Scan(fd, length, entries, &sizer);
    *brokenNotKept = scanner.BrokenNotKept();
    ::close(fd);
    return entries;
}

// A member the scan leaves out as broken must be one the extraction could give nothing
// of; every other member stays listed, in order. Random real, damaged and fake deflated
// members, database ones among them (their readable start is salvaged).
TEST(PackageScanner, MembersLeftOutAsBrokenWouldGiveNothingBack)
{
    TempFolder folder;
    std::mt19937 random(1210);
    const char* names[] = {"content.xml", "database/script", "database/data", "a/b.xml"};
    auto text = [&random](std::size_t size) {
        Bytes bytes(size, '\0');
        for (char& c : bytes)
            c = "abc PK\n\3\4"[random() % 10];
        return bytes;
    };
    std::uint64_t leftOut = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes package;
        for (int i = 0, n = 1 + static_cast<int>(random() % 10); i < n; ++i) {
            const std::string name = names[random() % 4];
            const Bytes data = text(1 + random() % 300);
            Bytes packed = Deflate(data, static_cast<int>(random() % 10));
            const auto packedSize = static_cast<std::uint32_t>(packed.size());
            switch (random() % 5) {
            case 0: package += DeflatedMember(name, data); break;
            case 1: // damage anywhere, the first bytes included
                packed[random() % packed.size()] = static_cast<char>(random());
                package += LocalHeader(name, 8, packedSize, static_cast<std::uint32_t>(data.size())) + packed;
                break;
            case 2: // sizes that lie
                package += LocalHeader(name, 8, static_cast<std::uint32_t>(random() % 400),
                                       static_cast<std::uint32_t>(random() % 3 == 0 ? 0 : random() % 600)) + packed;
                break;
            case 3: // garbage as a stream
                package += LocalHeader(name, static_cast<std::uint16_t>(random() % 2 * 8), 40, 80) + text(40);
                break;
            default: package += StoredMember(name, data); break;
            }
        }
        const std::string path = folder / "p.odb";
        WriteFile(path, package);
        std::uint64_t notKeptAll = 0;
        std::uint64_t notKeptNone = 0;
        const ScanList all = ScanForRepair(path, SIZE_MAX, &notKeptAll);
        const ScanList kept = ScanForRepair(path, 0, &notKeptNone);
        EXPECT_EQ(notKeptAll, 0u);
        std::size_t next = 0;
        for (const PackageEntry& entry : all) {
            if (next < kept.size() && kept[next] == entry) {
                ++next;
                continue;
            }
            ++leftOut;
            const MemberReport report = ExtractMember(entry, path, folder / "out");
            EXPECT_TRUE(report.outcome == MemberOutcome::NotInflated || report.outcome == MemberOutcome::NotWritten)
                << "round " << round << ": " << entry.name << " at " << entry.dataOffset << " is "
                << ToString(report.outcome);
            EXPECT_FALSE(Exists(folder / "out")) << "round " << round;
            std::remove((folder / "out").c_str());
        }
        EXPECT_EQ(next, kept.size()) << "round " << round << ": a member was listed that the full scan did not list";
        EXPECT_EQ(all.size() - kept.size(), notKeptNone) << "round " << round;
        if (HasFailure())
            break;
    }
    EXPECT_GT(leftOut, 100u); // the generator makes broken streams aplenty
}

struct HexCase {
    const char* label;
    Bytes bytes;
    ScanList expected;
};

TEST(PackageScanner, HandWrittenCases)
{
    const Bytes data = "hello";
    const Bytes packed = Deflate("abcabcabcabc");
    const HexCase cases[] = {
        {"overlapping PKPK\\3\\4", "PK" + StoredMember("a", data), {{"a", 5, 5, 2 + 31}}},
        {"header at offset 0 and one right behind it",
         StoredMember("a", data) + StoredMember("b", data),
         {{"a", 5, 5, 31}, {"b", 5, 5, 36 + 31}}},
        {"descriptor with signature gives the sizes",
         LocalHeader("x.xml", 8, 0, 0, {}, 8) + packed + Descriptor(static_cast<std::uint32_t>(packed.size()), 12),
         {{"x.xml", static_cast<std::uint32_t>(packed.size()), 12, 35, 0x12345678, SizeSource::DataDescriptor}}},
        {"next header before any descriptor: not listed",
         LocalHeader("x.xml", 8, 0, 0, {}, 8) + packed + Descriptor(7, 12, false) + StoredMember("b", data),
         {{"b", 5, 5, 35 + packed.size() + 12 + 31}}},
        {"stored member with zero sizes is never searched",
         LocalHeader("s", 0, 0, 0) + Descriptor(5, 5), {}},
        {"name ends at its first zero byte", LocalHeader(std::string("ab\0cd", 5), 0, 1, 1) + "z",
         {{"ab", 1, 1, 35}}},
        {"extra field skipped", LocalHeader("e", 0, 1, 1, "EXTRA!") + "z", {{"e", 1, 1, 37}}},
        {"header cut short lists nothing", StoredMember("a", data) + std::string("PK\3\4\x14\0", 6),
         {{"a", 5, 5, 31}}},
        {"sizes past the end of the file", LocalHeader("big", 0, 0xFFFFFFFF, 0xFFFFFFFF) + "tail",
         {{"big", 0xFFFFFFFF, 0xFFFFFFFF, 33}}},
        {"not a zip", "<html>PK no header here</html>", {}},
    };
    TempFolder folder;
    for (const HexCase& test : cases) {
        const std::string path = folder / "case.odb";
        WriteFile(path, test.bytes);
        EXPECT_EQ(SlowScan(path), test.expected) << test.label;
        for (const std::size_t block : kBlockSizes)
            EXPECT_EQ(FastScan(path, block), test.expected) << test.label << " with blocks of " << block;
    }
}

TEST(PackageScanner, NamesAreCutAtTheLongestKeptLength)
{
    TempFolder folder;
    const std::string path = folder / "long.odb";
    WriteFile(path, StoredMember(std::string(1500, 'n'), "z"));
    const ScanList entries = FastScan(path, PackageScanner::kDefaultBlockSize);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, std::string(kMaxMemberNameLength, 'n'));
}

TEST(PackageScanner, StopsWhenTheRunningFlagIsCleared)
{
    TempFolder folder;
    const std::string path = folder / "two.odb";
    WriteFile(path, StoredMember("a", "x") + StoredMember("b", "y"));
    std::atomic<int> running{0};
    ScanList entries;
    const int fd = ::open(path.c_str(), O_RDONLY);
    PackageScanner(&running).Scan(fd, 64, entries);
    ::close(fd);
    EXPECT_TRUE(entries.empty());
}

} // namespace
} // namespace tavrin

namespace tavrin {
namespace {

using namespace test;

struct Found {
    std::string name;
    std::uint32_t compressed;
    std::uint32_t uncompressed;
    SizeSource source;
};

std::vector<Found> RepairScan(const std::string& path, std::uint64_t length)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    ScanList entries;
    UnsizedMemberRecovery sizer(fd, length);
    PackageScanner().Scan(fd, length, entries, &sizer);
    ::close(fd);
    std::vector<Found> found;
    for (const PackageEntry& entry : entries)
        found.push_back({entry.name, entry.compressedSize, entry.uncompressedSize, entry.sizeSource});
    return found;
}

bool operator==(const Found& a, const Found& b)
{
    return a.name == b.name && a.compressed == b.compressed && a.uncompressed == b.uncompressed && a.source == b.source;
}

void PrintTo(const Found& found, std::ostream* out)
{
    *out << found.name << " " << found.compressed << "/" << found.uncompressed << " " << ToString(found.source);
}

// For a repair a claimed size is believed only as far as the bytes confirm it: a size
// that runs past the end of the file or into later members leaves those members found,
// and a descriptor is taken only where it records its own distance from the data.
TEST(PackageScanner, ForARepairSizesThatOverrunDoNotHideTheMembersBehind)
{
    const Bytes rows = [] {
        Bytes text;
        for (int row = 0; row < 300; ++row)
            text += "INSERT INTO T VALUES(" + std::to_string(row) + ",'PK\7\x08 row " + std::to_string(row * 31) + "')\n";
        return text;
    }();
    // Stored blocks show the text as it is, so the fake descriptor stands in the raw data.
    const Bytes raw = Deflate(rows, 0);
    const auto c = static_cast<std::uint32_t>(raw.size());
    const auto u = static_cast<std::uint32_t>(rows.size());
    const Bytes behind = StoredMember("b", "bee") + StoredMember("c", "sea");
    const std::vector<Found> bc = {{"b", 3, 3, SizeSource::LocalHeader}, {"c", 3, 3, SizeSource::LocalHeader}};
    const auto with = [&](std::vector<Found> first) {
        first.insert(first.end(), bc.begin(), bc.end());
        return first;
    };
    const Bytes zip64Extra = Le16(1) + Le16(16) + Bytes(16, '\0');
    struct Case {
        const char* label;
        Bytes package;
        std::vector<Found> expected;
    };
    const Case cases[] = {
        {"erased flash: both sizes 0xFFFFFFFF on a stored member",
         LocalHeader("a", 0, 0xFFFFFFFF, 0xFFFFFFFF) + "abc" + behind,
         with({{"a", 0xFFFFFFFF, 0xFFFFFFFF, SizeSource::LocalHeader}})},
        {"a hit high byte carries the size over the members behind",
         LocalHeader("a", 0, 0x01000003, 0x01000003) + "abc" + behind,
         with({{"a", 0x01000003, 0x01000003, SizeSource::LocalHeader}})},
        {"a size that ends inside the next member's header",
         LocalHeader("a", 0, 13, 13) + "abc" + behind, with({{"a", 13, 13, SizeSource::LocalHeader}})},
        {"a ZIP64 header of a streamed member, sizes behind the data",
         LocalHeader("database/script", 8, 0xFFFFFFFF, 0xFFFFFFFF, zip64Extra, 8) + raw + "PK\7\x08" + Le32(0) +
             Le32(c) + Le32(0) + Le32(u) + Le32(0) + behind,
         with({{"database/script", c, u, SizeSource::DataDescriptor}})},
        {"a fake descriptor inside the data of a streamed member",
         LocalHeader("database/script", 8, 0, 0, {}, 8) + raw + Descriptor(c, u) + behind,
         with({{"database/script", c, u, SizeSource::DataDescriptor}})},
        {"a fake descriptor and none behind the stream: sized by inflating",
         LocalHeader("database/script", 8, 0, 0, {}, 8) + raw + behind,
         with({{"database/script", c, u, SizeSource::Inflation}})},
        {"a size that ends right: jumped over, a header inside the data is only data",
         StoredMember("outer", StoredMember("inner", "x")) + behind,
         with({{"outer", 36, 36, SizeSource::LocalHeader}})},
    };
    TempFolder folder;
    for (const Case& test : cases) {
        const std::string path = folder / "case.odb";
        WriteFile(path, test.package);
        EXPECT_EQ(RepairScan(path, test.package.size()), test.expected) << test.label;
    }
    // What the streamed member with a fake descriptor inside extracts to is its text.
    const Bytes package = LocalHeader("database/script", 8, 0, 0, {}, 8) + raw + Descriptor(c, u) + behind;
    const std::string path = folder / "fake-descriptor.odb";
    WriteFile(path, package);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ScanList entries;
    UnsizedMemberRecovery sizer(fd, package.size());
    PackageScanner().Scan(fd, package.size(), entries, &sizer);
    ::close(fd);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(ExtractMember(entries.front(), path, folder / "script").outcome, MemberOutcome::Written);
    EXPECT_EQ(ReadFile(folder / "script"), rows);
}

// A size hit by damage may still land on a later member's end. An extent that holds a
// local header is then believed only when its bytes give the CRC-32 it recorded; else
// the members inside it are searched for, not hidden.
TEST(PackageScanner, ForARepairAnExtentOverAHeaderMustGiveItsCrc)
{
    const Bytes text = "<office:document-content/>";
    const Bytes hidden = StoredMember("database/script", "CREATE SCHEMA PUBLIC\n");
    const Bytes behind = StoredMember("c", "sea");
    const auto overSize = static_cast<std::uint32_t>(text.size() + hidden.size());
    const auto crossing = [&](std::uint32_t crc) {
        return LocalHeader("content.xml", 0, overSize, overSize, {}, 0, crc) + text + hidden + behind;
    };
    // A ZIP stored whole inside a member: its headers are the member's data.
    const Bytes inner = StoredMember("inner", "x");
    const auto innerSize = static_cast<std::uint32_t>(inner.size());
    const Bytes raw = Deflate(text + hidden, 0); // stored blocks: the header stands in the raw bytes
    const auto rawSize = static_cast<std::uint32_t>(raw.size());
    const Found over{"content.xml", overSize, overSize, SizeSource::LocalHeader};
    const Found script{"database/script", 21, 21, SizeSource::LocalHeader};
    const Found c{"c", 3, 3, SizeSource::LocalHeader};
    struct Case {
        const char* label;
        Bytes package;
        std::vector<Found> expected;
    };
    const Case cases[] = {
        {"the bytes miss the CRC: the member inside is found", crossing(Crc32(text)), {over, script, c}},
        {"the bytes give the CRC: the header inside is only data",
         LocalHeader("embedded.zip", 0, innerSize, innerSize, {}, 0, Crc32(inner)) + inner + behind,
         {{"embedded.zip", innerSize, innerSize, SizeSource::LocalHeader}, c}},
        {"a deflated member whose stream gives the CRC", 
         LocalHeader("content.xml", 8, rawSize, overSize, {}, 0, Crc32(text + hidden)) + raw + behind,
         {{"content.xml", rawSize, overSize, SizeSource::LocalHeader}, c}},
        {"no CRC recorded: nothing to check the extent by, it stands", crossing(0), {over, c}},
    };
    TempFolder folder;
    for (const Case& test : cases) {
        const std::string path = folder / "case.odb";
        WriteFile(path, test.package);
        EXPECT_EQ(RepairScan(path, test.package.size()), test.expected) << test.label;
    }
}

// A local header cut off by the end of the file is a member lost, not silence; bytes
// that only start with the signature are not.
TEST(PackageScanner, ForARepairAHeaderCutByTheEndOfTheFileIsKeptAsLost)
{
    const Bytes before = StoredMember("mimetype", "application/vnd.oasis.opendocument.base");
    const Bytes header = LocalHeader("database/script", 8, 100, 200, {}, 0, 0x12345678);
    struct Case {
        const char* label;
        Bytes tail;
        bool lost;
        std::string name;
    };
    const Case cases[] = {
        {"cut after the flags", header.substr(0, 8), true, ""},
        {"cut inside the CRC", header.substr(0, 18), true, ""},
        {"cut inside the name", header.substr(0, 38), true, "database"},
        {"cut after the version: too little to judge", header.substr(0, 6), false, ""},
        {"the signature and bytes no writer writes", std::string("PK\3\4", 4) + Bytes(12, '\xFF'), false, ""},
        {"a method no package uses", header.substr(0, 8) + Le16(77) + Le16(0), false, ""},
    };
    TempFolder folder;
    for (const Case& test : cases) {
        const Bytes package = before + test.tail;
        const std::string path = folder / "case.odb";
        WriteFile(path, package);
        const int fd = ::open(path.c_str(), O_RDONLY);
        ScanList entries;
        UnsizedMemberRecovery sizer(fd, package.size());
        PackageScanner().Scan(fd, package.size(), entries, &sizer);
        ::close(fd);
        ASSERT_EQ(entries.size(), 1u) << test.label;
        ASSERT_EQ(sizer.Lost().size(), test.lost ? 1u : 0u) << test.label;
        if (!test.lost)
            continue;
        const LostMember& lost = sizer.Lost().front();
        EXPECT_EQ(lost.entry.name, test.name) << test.label;
        EXPECT_EQ(lost.entry.dataOffset, before.size()) << test.label;
        EXPECT_EQ(lost.listedBefore, 1u) << test.label;
        EXPECT_EQ(lost.defect, MemberDefect::HeaderCutOff) << test.label;
    }
}

} // namespace
} // namespace tavrin
