// Deflated members that lost both sizes and whose descriptor cannot be found: sized by
// inflating their stream, on packages built by hand around each way the end goes missing.
#include "engine/UnsizedMemberRecovery.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "RecordingView.h"
#include "ScannedFixture.h"
#include "TestPackages.h"
#include "engine/MemberExtractor.h"
#include "engine/PackageScanner.h"

namespace tavrin {
namespace {

using namespace test;

struct Expected {
    std::string name;
    std::uint32_t compressed;
    std::uint32_t uncompressed;
    SizeSource source;
    std::uint32_t crc;
    std::string error;
};

struct RecoveryCase {
    const char* label;
    Bytes package;
    std::vector<Expected> expected;
};

// The members the scan listed and the ones it could not size, in file order.
std::vector<UnsizedMember> InFileOrder(const ScanList& listed, const std::vector<LostMember>& lost)
{
    std::vector<UnsizedMember> merged;
    std::size_t l = 0;
    for (const LostMember& member : lost) {
        while (l < member.listedBefore)
            merged.push_back(UnsizedMember{listed[l++], {}});
        merged.push_back(UnsizedMember{member.entry, member.error});
    }
    while (l < listed.size())
        merged.push_back(UnsizedMember{listed[l++], {}});
    return merged;
}

std::vector<UnsizedMember> ScanAndRecover(const std::string& path, std::uint64_t length,
                                          std::uint64_t budget = 0, std::uint64_t* notKept = nullptr)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    ScanList listed;
    UnsizedMemberRecovery sizer(fd, length, nullptr, budget);
    PackageScanner().Scan(fd, length, listed, &sizer);
    ::close(fd);
    if (notKept != nullptr)
        *notKept = sizer.LostNotKept();
    return InFileOrder(listed, sizer.Lost());
}

std::uint32_t Crc(const Bytes& data)
{
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

Bytes DescriptorWithCrc(std::uint32_t crc, std::uint32_t compressed, std::uint32_t uncompressed, bool withSignature)
{
    return (withSignature ? std::string("PK\7\x08", 4) : std::string()) + Le32(crc) + Le32(compressed) + Le32(uncompressed);
}

TEST(UnsizedMemberRecovery, SizesAMemberByInflatingItsStreamToTheEnd)
{
    const Bytes text = "CREATE TABLE T(ID INT)\nINSERT INTO T VALUES(1)\nINSERT INTO T VALUES(2)\n";
    const Bytes packed = Deflate(text);
    const auto c = static_cast<std::uint32_t>(packed.size());
    const auto u = static_cast<std::uint32_t>(text.size());
    const Bytes unsized = LocalHeader("database/script", 8, 0, 0, {}, 8) + packed;
    const std::uint64_t dataOffset = 30 + 15;
    // A stored-only stream shows its bytes as they are, so a member inside it is seen by the scan.
    const Bytes inner = StoredMember("fake", "inside");
    const Bytes holder = Deflate(inner + "tail", 0);
    // Twenty bytes whose stream is twenty bytes long too.
    const Bytes equalText = "upl2qekhxfo z1adz1au";
    const Bytes equalPacked = Deflate(equalText);
    const RecoveryCase cases[] = {
        {"descriptor without its signature agrees and gives the CRC",
         unsized + DescriptorWithCrc(Crc(text), c, u, false) + StoredMember("b", "bee"),
         {{"database/script", c, u, SizeSource::InflationAndDescriptor, Crc(text), ""}, {"b", 3, 3, SizeSource::LocalHeader, 0, ""}}},
        {"next header right behind the stream, no descriptor",
         unsized + StoredMember("b", "bee"),
         {{"database/script", c, u, SizeSource::Inflation, 0, ""}, {"b", 3, 3, SizeSource::LocalHeader, 0, ""}}},
        {"package cut right after the stream: the descriptor is lost",
         unsized + DescriptorWithCrc(Crc(text), c, u, false).substr(0, 5),
         {{"database/script", c, u, SizeSource::Inflation, 0, ""}}},
        {"a descriptor whose sizes disagree is not taken",
         unsized + DescriptorWithCrc(0xABCDEF01, c + 1, u, false),
         {{"database/script", c, u, SizeSource::Inflation, 0, ""}}},
        {"stream cut short by the end of the package",
         unsized.substr(0, unsized.size() - 4),
         {{"database/script", 0, 0, SizeSource::LocalHeader, 0, "its sizes are lost and the package ends inside its data"}}},
        {"stream that breaks off in damage",
         LocalHeader("database/script", 8, 0, 0, {}, 8) + "\xff\xff\xff\xff\xff\xff" + StoredMember("b", "bee"),
         {{"database/script", 0, 0, SizeSource::LocalHeader, 0, "its sizes are lost and its data does not inflate to an end"},
          {"b", 3, 3, SizeSource::LocalHeader, 0, ""}}},
        {"a member whose stream is as long as what it inflates to",
         LocalHeader("database/script", 8, 0, 0, {}, 8) + equalPacked,
         {{"database/script", 20, 20, SizeSource::Inflation, 0, ""}}},
        {"a header inside the data of a member sized here was only data",
         LocalHeader("holder", 8, 0, 0, {}, 8) + holder + StoredMember("b", "bee"),
         {{"holder", static_cast<std::uint32_t>(holder.size()), static_cast<std::uint32_t>(inner.size() + 4),
           SizeSource::Inflation, 0, ""},
          {"b", 3, 3, SizeSource::LocalHeader, 0, ""}}},
    };
    TempFolder folder;
    for (const RecoveryCase& test : cases) {
        const std::string path = folder / "case.odb";
        WriteFile(path, test.package);
        const std::vector<UnsizedMember> merged = ScanAndRecover(path, test.package.size());
        ASSERT_EQ(merged.size(), test.expected.size()) << test.label;
        for (std::size_t i = 0; i < merged.size(); ++i) {
            const PackageEntry& got = merged[i].entry;
            const Expected& want = test.expected[i];
            EXPECT_EQ(got.name, want.name) << test.label;
            EXPECT_EQ(got.compressedSize, want.compressed) << test.label << " " << want.name;
            EXPECT_EQ(got.uncompressedSize, want.uncompressed) << test.label << " " << want.name;
            EXPECT_EQ(got.sizeSource, want.source) << test.label << " " << want.name;
            EXPECT_EQ(got.recordedCrc, want.crc) << test.label << " " << want.name;
            EXPECT_EQ(merged[i].error, want.error) << test.label << " " << want.name;
        }
        if (test.expected.front().name == "database/script") {
            EXPECT_EQ(merged.front().entry.dataOffset, dataOffset) << test.label;
        }
        // What a sized member extracts to is what was deflated, never the raw stream.
        if (merged.front().error.empty() && merged.front().entry.name == "database/script") {
            const MemberReport written = ExtractMember(merged.front().entry, path, folder / "out");
            EXPECT_EQ(written.outcome, MemberOutcome::Written) << test.label;
            EXPECT_EQ(ReadFile(folder / "out"), test.package.find(equalPacked) != Bytes::npos ? equalText : text)
                << test.label;
        }
    }
}

// Once the input budget is spent the next candidate stays unsized, with the reason, and
// the ones after it are not kept: a file of fake headers must not fill memory with them.
// The listed members are kept whatever happens to the candidates.
TEST(UnsizedMemberRecovery, StopsSizingWhenItsInputBudgetIsSpent)
{
    const Bytes packed = Deflate(Bytes(3000, 'a') + "end");
    const Bytes member = LocalHeader("m", 8, 0, 0, {}, 8) + packed;
    const Bytes package = member + StoredMember("s", "stored") + member + member;
    TempFolder folder;
    const std::string path = folder / "p.odb";
    WriteFile(path, package);
    // Exactly what the first stream reads: one piece from its data (offset 31) to the end of the file.
    std::uint64_t notKept = 0;
    const std::vector<UnsizedMember> merged = ScanAndRecover(path, package.size(), package.size() - 31, &notKept);
    ASSERT_EQ(merged.size(), 3u);
    EXPECT_EQ(merged[0].error, "");
    EXPECT_EQ(merged[0].entry.compressedSize, packed.size());
    EXPECT_EQ(merged[1].entry.name, "s");
    EXPECT_EQ(merged[2].error, "its sizes are lost and too many such members were met to size them all");
    EXPECT_EQ(notKept, 1u);
}

// A file of fake headers keeps memory bounded: past a hundred, members that could not
// be sized are only counted, and said in one line and in the report.
TEST(UnsizedMemberRecovery, KeepsAHundredLostMembersAndCountsTheRest)
{
    Bytes package;
    for (int i = 0; i < 150; ++i)
        package += LocalHeader("fake", 8, 0, 0) + "\xff\xff";
    package += StoredMember("s", "stored");
    ScannedFixture fixture(package);
    const std::string& path = fixture.path;
    const RecordingView& view = fixture.view;
    const ScannedPackage& scanned = fixture.scanned;
    ASSERT_EQ(fixture.scanResult, 1);
    ASSERT_EQ(fixture.entries.size(), 1u);
    ASSERT_EQ(scanned.lost.size(), UnsizedMemberRecovery::kMaxLostKept);
    EXPECT_EQ(scanned.lostNotKept, 50u);
    EXPECT_EQ(scanned.lost.back().listedBefore, 0u);

    PackageReport report;
    EXPECT_EQ(fixture.Extract(report), 1);
    EXPECT_EQ(scanned.membersRecovered, 1u);
    ASSERT_EQ(report.members.size(), 101u);
    EXPECT_EQ(report.members.back().name, "s");
    EXPECT_EQ(report.lostNotListed, 50u);
    ASSERT_EQ(view.log.size(), 101u);
    EXPECT_EQ(view.log.back(), std::make_pair(kRed, path + " 50 more members had lost their sizes and could not be "
                                                           "sized, they are left out....\r\n"));
    EXPECT_EQ(ReadFile(fixture.folder / "ws/s"), "stored");
}

// A deflated member whose header declares the wrong compressed size: its true end is
// found by inflating, confirmed by the recorded CRC and size, and the members behind it
// are still found. Where the stream does not confirm, the header's sizes stand.
TEST(UnsizedMemberRecovery, CorrectsACompressedSizeThatEndsWhereNoMemberCanEnd)
{
    Bytes text;
    for (int row = 0; row < 200; ++row)
        text += "INSERT INTO T VALUES(" + std::to_string(row * 7919 % 1000) + ",'row')\n";
    const Bytes packed = Deflate(text);
    const auto c = static_cast<std::uint32_t>(packed.size());
    const auto u = static_cast<std::uint32_t>(text.size());
    const auto member = [&](std::uint32_t declared, std::uint32_t crc, std::uint32_t size) {
        return LocalHeader("database/script", 8, declared, size).replace(14, 4, Le32(crc)) + packed;
    };
    const Bytes next = StoredMember("b", "bee");
    const Bytes nextTwo = next + StoredMember("c", "sea");
    const std::uint64_t nextOffset = 30 + 15 + c + 30 + 1;
    struct Case {
        const char* label;
        Bytes package;
        std::uint32_t compressed;
        SizeSource source;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"too small: the stream runs on past it", member(c - 9, Crc(text), u) + nextTwo, c,
         SizeSource::CompressedSizeCorrected, {"database/script", "b", "c"}},
        {"too large: it covers the next header", member(c + 40, Crc(text), u) + nextTwo, c,
         SizeSource::CompressedSizeCorrected, {"database/script", "b", "c"}},
        {"too large: past the end of the file", member(c + 0x01000000, Crc(text), u) + nextTwo, c,
         SizeSource::CompressedSizeCorrected, {"database/script", "b", "c"}},
        {"no CRC recorded: the size alone confirms", member(c + 40, 0, u) + nextTwo, c,
         SizeSource::CompressedSizeCorrected, {"database/script", "b", "c"}},
        // The sizes stand for the extraction to judge, but the extent is not jumped over.
        {"a CRC that does not match: the header stands", member(c + 40, Crc(text) ^ 1, u) + nextTwo, c + 40,
         SizeSource::LocalHeader, {"database/script", "b", "c"}},
        {"a size that does not match: the header stands", member(c + 40, Crc(text), u + 1) + nextTwo, c + 40,
         SizeSource::LocalHeader, {"database/script", "b", "c"}},
        {"right size with junk behind it: unchanged", member(c, Crc(text), u) + "junk" + nextTwo, c,
         SizeSource::LocalHeader, {"database/script", "b", "c"}},
    };
    TempFolder folder;
    for (const Case& test : cases) {
        const std::string path = folder / "case.odb";
        WriteFile(path, test.package);
        const std::vector<UnsizedMember> found = ScanAndRecover(path, test.package.size());
        std::vector<std::string> names;
        for (const UnsizedMember& item : found)
            names.push_back(item.entry.name);
        EXPECT_EQ(names, test.names) << test.label;
        ASSERT_FALSE(found.empty()) << test.label;
        const PackageEntry& script = found.front().entry;
        EXPECT_EQ(script.compressedSize, test.compressed) << test.label;
        EXPECT_EQ(script.sizeSource, test.source) << test.label;
        if (test.source == SizeSource::CompressedSizeCorrected) {
            EXPECT_EQ(found[1].entry.dataOffset, nextOffset) << test.label;
            const MemberReport written = ExtractMember(script, path, folder / "out");
            EXPECT_EQ(written.outcome, MemberOutcome::Written) << test.label;
            EXPECT_EQ(ReadFile(folder / "out"), text) << test.label;
        }
    }
}

} // namespace
} // namespace tavrin
