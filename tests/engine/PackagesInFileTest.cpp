// Where one package of a file ends and the next begins, and the bound on how many are
// rebuilt on their own.
#include "engine/PackagesInFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "TestPackages.h"
#include "engine/PackageScanner.h"

namespace tavrin {
namespace {

using namespace test;

const Bytes kEndRecord = std::string("PK\5\6", 4) + Bytes(18, '\0');

Bytes Mimetype()
{
    return StoredMember("mimetype", "application/vnd.oasis.opendocument.base");
}

struct Split {
    std::vector<std::size_t> sizes; // entries per package
    std::uint64_t folded = 0;
    friend bool operator==(const Split&, const Split&) = default;
};

void PrintTo(const Split& split, std::ostream* out)
{
    for (const std::size_t size : split.sizes)
        *out << size << " ";
    *out << "folded " << split.folded;
}

PackagesInFile SplitOf(const TempFolder& folder, const Bytes& package, std::vector<LostMember> lost = {})
{
    const std::string path = folder / "file.odb";
    WriteFile(path, package);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ScanList entries;
    UnsizedMemberRecovery sizer(fd, package.size());
    PackageScanner().Scan(fd, package.size(), entries, &sizer);
    PackagesInFile split = SplitPackages(fd, std::move(entries), std::move(lost));
    ::close(fd);
    return split;
}

Split SizesOf(const PackagesInFile& split)
{
    Split sizes;
    for (const PackageMembers& package : split.packages)
        sizes.sizes.push_back(package.entries.size());
    sizes.folded = split.foldedIntoLast;
    return sizes;
}

TEST(PackagesInFile, StartsAPackageAtASecondMimetypeOrBehindAnEndRecord)
{
    const Bytes a = StoredMember("content.xml", "<a/>");
    const Bytes b = StoredMember("database/script", "CREATE SCHEMA PUBLIC\n");
    Bytes thousand = Mimetype() + a;
    for (int i = 0; i < 1000; ++i)
        thousand += Mimetype();
    Bytes twenty;
    for (int i = 0; i < 20; ++i)
        twenty += Mimetype() + StoredMember("member" + std::to_string(i), "x") + kEndRecord;
    struct Case {
        const char* label;
        Bytes package;
        Split expected;
    };
    const Case cases[] = {
        {"one package", Mimetype() + a + b + kEndRecord, {{3}, 0}},
        {"mimetype among the others, as a ZIP tool sorts them", a + Mimetype() + b, {{3}, 0}},
        {"a second mimetype", Mimetype() + a + Mimetype() + b, {{2, 2}, 0}},
        {"an end record, the members behind it without mimetype", Mimetype() + a + kEndRecord + b + a, {{2, 2}, 0}},
        {"an end record before a second mimetype makes one start, not two",
         Mimetype() + a + kEndRecord + Mimetype() + b, {{2, 2}, 0}},
        {"an end record cut short is no end record", Mimetype() + a + kEndRecord.substr(0, 10) + b, {{3}, 0}},
        {"runs of mimetype alone stay with the package before",
         Mimetype() + a + Mimetype() + Mimetype() + Mimetype() + b, {{4, 2}, 0}},
        {"a thousand mimetype members make one package", thousand, {{1002}, 0}},
        {"packages past the bound are rebuilt with the last",
         twenty, {{2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 10}, 4}},
    };
    TempFolder folder;
    for (const Case& test : cases)
        EXPECT_EQ(SizesOf(SplitOf(folder, test.package)), test.expected) << test.label;

    // Where each package starts is said, for the log.
    const PackagesInFile two = SplitOf(folder, Mimetype() + a + Mimetype() + b);
    ASSERT_EQ(two.packages.size(), 2u);
    EXPECT_EQ(two.packages[1].entries.front().name, "mimetype");
    EXPECT_EQ(two.packages[1].firstOffset, Mimetype().size() + a.size() + 30 + 8);
    EXPECT_EQ(two.packages[1].entries.back().name, "database/script");
}

TEST(PackagesInFile, LostMembersGoWithThePackageTheyStandIn)
{
    const Bytes a = StoredMember("content.xml", "<a/>");
    const Bytes package = Mimetype() + a + Mimetype() + a;
    const auto lost = [](const char* name, std::size_t listedBefore) {
        return LostMember{PackageEntry{name, 0, 0, 0, 0, SizeSource::LocalHeader}, "gone", listedBefore};
    };
    TempFolder folder;
    const PackagesInFile split =
        SplitOf(folder, package, {lost("first", 0), lost("between", 2), lost("inside", 3), lost("last", 4)});
    ASSERT_EQ(split.packages.size(), 2u);
    const auto names = [](const PackageMembers& members) {
        std::vector<std::pair<std::string, std::size_t>> placed;
        for (const LostMember& member : members.lost)
            placed.emplace_back(member.entry.name, member.listedBefore);
        return placed;
    };
    // One lost between the two packages ends the first; the others keep their place,
    // counted within their own package.
    using Placed = std::vector<std::pair<std::string, std::size_t>>;
    EXPECT_EQ(names(split.packages[0]), (Placed{{"first", 0}, {"between", 2}}));
    EXPECT_EQ(names(split.packages[1]), (Placed{{"inside", 1}, {"last", 2}}));

    // A run of mimetype and lost members is a package: something of it was there.
    const PackagesInFile withLost = SplitOf(folder, Mimetype() + a + Mimetype(), {lost("lost", 3)});
    EXPECT_EQ(SizesOf(withLost), (Split{{2, 1}, 0}));
}

} // namespace
} // namespace tavrin
