// Choosing one copy per member path before extraction, on packages built by hand around
// each reason a copy wins.
#include "engine/MemberCopies.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "TestPackages.h"
#include "engine/PackageScanner.h"

namespace tavrin {
namespace {

using namespace test;

std::uint32_t Crc(const Bytes& data)
{
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

Bytes WithCrc(Bytes member, std::uint32_t crc)
{
    return member.replace(14, 4, Le32(crc));
}

Bytes Stored(const std::string& name, const Bytes& data, std::uint32_t crc)
{
    return WithCrc(StoredMember(name, data), crc);
}

Bytes Deflated(const std::string& name, const Bytes& data, std::uint32_t crc)
{
    return WithCrc(DeflatedMember(name, data), crc);
}

// A central directory record for the member whose local header is at `header`, and an
// end record behind it.
Bytes CentralDirectoryFor(const std::string& name, const Bytes& data, std::uint32_t header, std::uint32_t at)
{
    const auto size = static_cast<std::uint32_t>(data.size());
    const Bytes record = "PK\1\2" + Le16(20) + Le16(20) + Le16(0) + Le16(0) + Le32(0) + Le32(Crc(data)) + Le32(size) +
                         Le32(size) + Le16(static_cast<std::uint32_t>(name.size())) + Le16(0) + Le16(0) + Le16(0) +
                         Le16(0) + Le32(0) + Le32(header) + name;
    return record + "PK\5\6" + Le16(0) + Le16(0) + Le16(1) + Le16(1) + Le32(static_cast<std::uint32_t>(record.size())) +
           Le32(at) + Le16(0);
}

struct Kept {
    std::vector<std::string> names; // left in the scan list, in file order
    std::vector<std::uint64_t> offsets;
    CopyChoice choice;
};

Kept Choose(const Bytes& package)
{
    TempFolder folder;
    const std::string path = folder / "copies.odb";
    WriteFile(path, package);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ScanList entries;
    UnsizedMemberRecovery sizer(fd, package.size());
    PackageScanner().Scan(fd, package.size(), entries, &sizer);
    Kept kept;
    kept.choice = ChooseMemberCopies(fd, package.size(), entries);
    ::close(fd);
    for (const PackageEntry& entry : entries) {
        kept.names.push_back(entry.name);
        kept.offsets.push_back(entry.dataOffset);
    }
    return kept;
}

TEST(MemberCopies, OneCopyPerPathIsKeptForTheBestReason)
{
    const Bytes good = "<office:settings>right</office:settings>";
    const Bytes bad = "<office:settings>wrong</office:settings>";
    const Bytes other = StoredMember("other", "o");
    // Offsets of the data of the first and second copy when each copy is `first` long.
    const auto second = [&](const Bytes& first) { return first.size() + other.size() + 30 + 12; };
    const Bytes whole = Stored("settings.xml", good, Crc(good));
    const Bytes damaged = Stored("settings.xml", bad, Crc(good));
    const Bytes noCrc = Stored("settings.xml", good, 0);
    const Bytes cut = WithCrc(LocalHeader("settings.xml", 8, 200, 400), 0) + Deflate(good).substr(0, 10);
    struct Case {
        const char* label;
        Bytes package;
        std::uint64_t keptOffset;
        CopyReason reason;
        bool matches;
    };
    const Case cases[] = {
        {"a copy that matches its CRC over an earlier damaged one", damaged + other + whole, second(damaged),
         CopyReason::MatchesCrc, true},
        {"both match: the first", whole + other + whole, 42, CopyReason::MatchesCrc, true},
        {"a whole copy over a later cut one, neither with a CRC", noCrc + other + cut, 42, CopyReason::Whole, false},
        {"a cut copy first, a whole one behind it", cut + other + noCrc, second(cut), CopyReason::Whole, false},
        {"none can be told apart: the first", noCrc + other + noCrc, 42, CopyReason::First, false},
        {"a deflated copy that matches over a stored one that does not", damaged + other + Deflated("settings.xml", good, Crc(good)),
         second(damaged), CopyReason::MatchesCrc, true},
    };
    for (const Case& test : cases) {
        const Kept kept = Choose(test.package);
        EXPECT_EQ(kept.names, (std::vector<std::string>{test.keptOffset == 42 ? "settings.xml" : "other",
                                                        test.keptOffset == 42 ? "other" : "settings.xml"}))
            << test.label;
        ASSERT_EQ(kept.choice.names.size(), 1u) << test.label;
        const MemberCopies& copies = kept.choice.names[0];
        EXPECT_EQ(copies.keptOffset, test.keptOffset) << test.label;
        EXPECT_EQ(copies.reason, test.reason) << test.label;
        EXPECT_EQ(copies.keptMatchesCrc, test.matches) << test.label;
        EXPECT_EQ(copies.asideCount, 1u) << test.label;
        EXPECT_EQ(kept.choice.copiesSetAside, 1u) << test.label;
    }
}

// The copy a surviving central directory points at wins even over one that matches
// its CRC first; names equal once "./" and "//" are cleaned are one path.
TEST(MemberCopies, CentralDirectoryFirstAndNamesComparedAsPaths)
{
    const Bytes a = "first copy of the script";
    const Bytes b = "second copy of the script";
    const Bytes first = Stored("./database//script", a, Crc(a));
    const Bytes later = Stored("database/script", b, Crc(b));
    const auto header = static_cast<std::uint32_t>(first.size());
    const Bytes package = first + later + CentralDirectoryFor("database/script", b, header,
                                                              static_cast<std::uint32_t>(first.size() + later.size()));
    const Kept kept = Choose(package);
    EXPECT_EQ(kept.names, std::vector<std::string>{"database/script"});
    ASSERT_EQ(kept.choice.names.size(), 1u);
    EXPECT_EQ(kept.choice.names[0].reason, CopyReason::CentralDirectory);
    EXPECT_EQ(kept.choice.names[0].asideOffsets, std::vector<std::uint64_t>{30 + 18});
    EXPECT_EQ(MemberCopiesLogText(kept.choice.names[0]),
              " member database/script is in the package 2 times, the copy at byte " + std::to_string(header + 30 + 15) +
                  " is kept (the central directory points at it and it matches its CRC-32), the copy at 48 left "
                  "aside....\r\n");
}

// Many copies of one name cost one choice and leave one entry; a package without
// copies is left as it is.
TEST(MemberCopies, ManyCopiesLeaveOneAndNoCopiesLeaveAll)
{
    Bytes many;
    for (int i = 0; i < 5000; ++i)
        many += Stored("x", "bad", 1);
    const Kept kept = Choose(many + Stored("x", "good", Crc("good")));
    EXPECT_EQ(kept.offsets, std::vector<std::uint64_t>{5000 * 34 + 31});
    EXPECT_EQ(kept.choice.copiesSetAside, 5000u);
    ASSERT_EQ(kept.choice.names.size(), 1u);
    EXPECT_EQ(kept.choice.names[0].asideOffsets.size(), MemberCopies::kMaxOffsetsListed);

    const Kept plain = Choose(StoredMember("a", "1") + StoredMember("b", "2"));
    EXPECT_EQ(plain.names, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(plain.choice.names.empty());
}

// One package's part of a file's scan list: its copies are chosen among its own members
// only, each path's copies on their own however they interleave, listed in the order
// their second copies come; the members around the part are left as they were.
TEST(MemberCopies, APackagesPartOfTheListWithInterleavedCopies)
{
    const Bytes a = "right a";
    const Bytes b = "right b";
    const Bytes package = Stored("a", a, Crc(a)) + // the package before
                          Stored("a", "wrong", Crc(a)) + Stored("b", b, Crc(b)) + Stored("a", a, Crc(a)) +
                          Stored("c", "c", Crc("c")) + Stored("b", b, Crc(b)) + Stored("b", b, Crc(b)) +
                          Stored("a", a, Crc(a)); // the package after
    TempFolder folder;
    const std::string path = folder / "parts.odb";
    WriteFile(path, package);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ScanList entries;
    PackageScanner().Scan(fd, package.size(), entries);
    ASSERT_EQ(entries.size(), 8u);
    const ScanList scanned = entries;
    std::span<PackageEntry> part = std::span<PackageEntry>(entries).subspan(1, 6);
    const CopyChoice choice = ChooseMemberCopies(fd, package.size(), part);
    ::close(fd);

    ASSERT_EQ(part.data(), entries.data() + 1);
    ASSERT_EQ(part.size(), 3u);
    EXPECT_EQ(part[0], scanned[2]); // b, the first of its three
    EXPECT_EQ(part[1], scanned[3]); // a, the copy that matches its CRC
    EXPECT_EQ(part[2], scanned[4]); // c
    for (std::size_t behind = 4; behind < 7; ++behind)
        EXPECT_EQ(entries[behind], PackageEntry{}) << behind;
    EXPECT_EQ(entries[0], scanned[0]);
    EXPECT_EQ(entries[7], scanned[7]);

    ASSERT_EQ(choice.names.size(), 2u);
    EXPECT_EQ(choice.names[0].name, "a");
    EXPECT_EQ(choice.names[0].keptOffset, scanned[3].dataOffset);
    EXPECT_EQ(choice.names[0].reason, CopyReason::MatchesCrc);
    EXPECT_EQ(choice.names[0].asideOffsets, std::vector<std::uint64_t>{scanned[1].dataOffset});
    EXPECT_EQ(choice.names[1].name, "b");
    EXPECT_EQ(choice.names[1].keptOffset, scanned[2].dataOffset);
    EXPECT_EQ(choice.names[1].asideOffsets, (std::vector<std::uint64_t>{scanned[5].dataOffset, scanned[6].dataOffset}));
    EXPECT_EQ(choice.copiesSetAside, 3u);
}

} // namespace
} // namespace tavrin
