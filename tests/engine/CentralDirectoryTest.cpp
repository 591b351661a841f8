#include "engine/CentralDirectory.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <map>

#include "BatchRunner.h"
#include "RecordingView.h"
#include "TestPackages.h"
#include "engine/PackageScanner.h"
#include "engine/ScannedPackage.h"
#include "engine/UnsizedMemberRecovery.h"
#include "engine/Workspace.h"

namespace tavrin {
namespace {

using namespace test;

std::uint32_t Crc(const Bytes& data)
{
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

Bytes CentralRecordBytes(const std::string& name, std::uint32_t crc, std::uint32_t compressed, std::uint32_t uncompressed,
                         std::uint32_t localOffset, std::uint16_t method = 8)
{
    return std::string("PK\1\2", 4) + Le16(20) + Le16(20) + Le16(8) + Le16(method) + Le16(0) + Le16(0x21) + Le32(crc) +
           Le32(compressed) + Le32(uncompressed) + Le16(static_cast<std::uint32_t>(name.size())) + Le16(0) + Le16(0) +
           Le16(0) + Le16(0) + Le32(0) + Le32(localOffset) + name;
}

Bytes EndRecord(std::uint32_t count, std::uint32_t size, std::uint32_t offset)
{
    return std::string("PK\5\6", 4) + Le16(0) + Le16(0) + Le16(count) + Le16(count) + Le32(size) + Le32(offset) + Le16(0);
}

// Three members whose local headers carry no CRC, as a writer that streams leaves them
// when their descriptors are lost: a stored one with its sizes, a deflated one with
// its sizes, and a deflated one without (sized later by inflating it).
struct Package {
    Bytes members;
    Bytes directory; // the central records, in member order
    std::vector<std::pair<std::string, std::uint32_t>> crcs;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes; // compressed, uncompressed
    std::vector<std::size_t> recordStarts; // where each record starts in `directory`

    // With `directoryAt`, a stored member "filler" comes last, long enough for the
    // directory to start at that offset.
    explicit Package(std::size_t directoryAt = 0)
    {
        const Bytes mimetype = "application/vnd.oasis.opendocument.base";
        const Bytes script = "CREATE TABLE T(ID INT)\nINSERT INTO T VALUES(1)\nINSERT INTO T VALUES(2)\n";
        const Bytes content = "<office:document-content>" + std::string(400, 'x') + "</office:document-content>";
        Add("mimetype", mimetype, mimetype, 0, true);
        Add("database/script", script, Deflate(script), 8, true);
        Add("content.xml", content, Deflate(content), 8, false);
        if (directoryAt != 0) {
            Bytes filler(directoryAt - members.size() - LocalHeader("filler", 0, 0, 0).size(), '\0');
            for (std::size_t i = 0; i < filler.size(); ++i)
                filler[i] = static_cast<char>(i * 131 >> 3);
            Add("filler", filler, filler, 0, true);
        }
    }

    void Add(const std::string& name, const Bytes& data, const Bytes& stored, std::uint16_t method, bool sized)
    {
        const auto c = static_cast<std::uint32_t>(stored.size());
        const auto u = static_cast<std::uint32_t>(data.size());
        const auto offset = static_cast<std::uint32_t>(members.size());
        members += LocalHeader(name, method, sized ? c : 0, sized ? u : 0, {}, sized ? 0 : 8) + stored;
        recordStarts.push_back(directory.size());
        directory += CentralRecordBytes(name, Crc(data), c, u, offset, method);
        crcs.emplace_back(name, Crc(data));
        sizes.emplace_back(c, u);
    }

    Bytes Whole() const
    {
        const auto count = static_cast<std::uint32_t>(crcs.size());
        return members + directory +
               EndRecord(count, static_cast<std::uint32_t>(directory.size()), static_cast<std::uint32_t>(members.size()));
    }
};

// The CRC each scanned member ends up with, by name; members without sizes are sized
// by inflating them, as the repair does.
std::map<std::string, std::uint32_t> SuppliedCrcs(const Bytes& bytes, std::size_t* supplied = nullptr)
{
    TempFolder folder;
    WriteFile(folder / "p.odb", bytes);
    ScannedPackage package;
    EXPECT_TRUE(package.Open(folder / "p.odb"));
    ScanList entries;
    UnsizedMemberRecovery sizer(package.fd(), package.length());
    PackageScanner().Scan(package.fd(), package.length(), entries, &sizer);
    const std::size_t count = SupplyCentralDirectoryCrcs(package.fd(), package.length(), entries);
    if (supplied != nullptr)
        *supplied = count;
    std::map<std::string, std::uint32_t> crcs;
    for (const PackageEntry& entry : entries)
        crcs[entry.name] = entry.recordedCrc;
    return crcs;
}

using Crcs = std::map<std::string, std::uint32_t>;

TEST(CentralDirectory, SuppliesTheCrcOfRecordsThatSurvived)
{
    const Package package;
    Crcs all;
    for (const auto& [name, crc] : package.crcs)
        all[name] = crc;
    const Crcs none = {{"mimetype", 0}, {"database/script", 0}, {"content.xml", 0}};
    Crcs lastLost = all;
    lastLost["content.xml"] = 0;
    // The tail is read in chunks of 1 MiB: the first record's signature straddles two.
    const Package large((std::size_t{1} << 20) - 2);
    Crcs allLarge;
    for (const auto& [name, crc] : large.crcs)
        allLarge[name] = crc;
    const struct {
        const char* label;
        Bytes bytes;
        Crcs expected;
    } cases[] = {
        {"whole directory", package.Whole(), all},
        {"no directory", package.members, none},
        {"end record lost", package.members + package.directory, all},
        {"cut inside the second record", package.members + package.directory.substr(0, package.recordStarts[1] + 30),
         Crcs{{"mimetype", all["mimetype"]}, {"database/script", 0}, {"content.xml", 0}}},
        {"cut inside the last name", package.members + package.directory.substr(0, package.directory.size() - 3), lastLost},
        {"end record with bogus count, size and offset",
         package.members + package.directory + EndRecord(999, 0x7FFFFFF0, 0x7FFFFFF0), all},
        {"junk in front, end record whole", Bytes(333, 'j') + package.Whole(), all},
        {"junk in front, end record lost", Bytes(333, 'j') + package.members + package.directory, none},
        {"a record across two reads", large.Whole(), allLarge},
    };
    for (const auto& test : cases) {
        std::size_t supplied = 0;
        EXPECT_EQ(SuppliedCrcs(test.bytes, &supplied), test.expected) << test.label;
        EXPECT_EQ(supplied, static_cast<std::size_t>(std::count_if(test.expected.begin(), test.expected.end(),
                                                                     [](const auto& item) { return item.second != 0; })))
            << test.label;
    }
}

// A record counts only for the member whose local header it points at, under the same
// name, with the sizes that member knows; and never over a CRC the member recorded itself.
TEST(CentralDirectory, RecordsThatDoNotDescribeTheMemberAreNotUsed)
{
    const Package package;
    const Bytes& m = package.members;
    const auto mimetypeSize = static_cast<std::uint32_t>(std::string("application/vnd.oasis.opendocument.base").size());
    const auto scriptAt = static_cast<std::uint32_t>(m.find(std::string("PK\3\4", 4), 1));
    const auto contentAt = static_cast<std::uint32_t>(m.find(std::string("PK\3\4", 4), scriptAt + 1));
    const std::uint32_t crc = 0xCAFEF00D;
    Bytes ownCrc = m;
    ownCrc.replace(14, 4, Le32(0x11111111)); // the mimetype's own header records one
    const struct {
        const char* label;
        Bytes bytes;
        std::string name;
        std::uint32_t expected;
    } cases[] = {
        {"another name at the member's offset", m + CentralRecordBytes("content.xmm", crc, 0, 0, contentAt), "content.xml", 0},
        {"the member's name at another member's offset", m + CentralRecordBytes("content.xml", crc, 0, 0, scriptAt),
         "content.xml", 0},
        {"an offset past the end of the file", m + CentralRecordBytes("content.xml", crc, 0, 0, 0x7FFFFFF0), "content.xml", 0},
        {"an offset inside the member's data", m + CentralRecordBytes("content.xml", crc, 0, 0, contentAt + 40), "content.xml", 0},
        {"sizes other than the member's own", m + CentralRecordBytes("mimetype", crc, mimetypeSize + 1, mimetypeSize + 1, 0, 0),
         "mimetype", 0},
        {"the same sizes", m + CentralRecordBytes("mimetype", crc, mimetypeSize, mimetypeSize, 0, 0), "mimetype", crc},
        {"a CRC of its own", ownCrc + CentralRecordBytes("mimetype", crc, mimetypeSize, mimetypeSize, 0, 0), "mimetype",
         0x11111111},
        {"a member sized by inflating it, other sizes", m + CentralRecordBytes("content.xml", crc, 7, 9, contentAt),
         "content.xml", 0},
        {"a member sized by inflating it, the same sizes",
         m + CentralRecordBytes("content.xml", crc, package.sizes[2].first, package.sizes[2].second, contentAt),
         "content.xml", crc},
    };
    for (const auto& test : cases)
        EXPECT_EQ(SuppliedCrcs(test.bytes)[test.name], test.expected) << test.label;
}

// End to end: a member whose header lost its CRC and whose descriptor is gone is checked
// against the central directory; bytes that do not match are kept and reported red.
TEST(CentralDirectory, RepairChecksMembersAgainstTheDirectoryCrc)
{
    for (const bool damaged : {false, true}) {
        Package package;
        Bytes bytes = package.Whole();
        if (damaged) {
            // The directory records other bytes for content.xml than its data holds.
            const std::size_t record = package.members.size() + package.recordStarts[2];
            bytes.replace(record + 16, 4, Le32(package.crcs[2].second ^ 0x00010000));
        }
        TempFolder tmp;
        WriteFile(tmp / "p.odb", bytes);
        SetWorkspaceRootOverride(tmp / "ws");
        RecordingView view;
        view.jobs = {{tmp / "p.odb", 0}};
        BatchRunner batch(view);
        batch.Repair();
        SetWorkspaceRootOverride("");
        ASSERT_EQ(batch.report.packages.size(), 1u);
        std::map<std::string, CrcCheck> checks;
        for (const MemberReport& member : batch.report.packages[0].members)
            checks[member.name] = member.crcCheck;
        EXPECT_EQ(checks["mimetype"], CrcCheck::Matches) << damaged;
        EXPECT_EQ(checks["database/script"], CrcCheck::Matches) << damaged;
        EXPECT_EQ(checks["content.xml"], damaged ? CrcCheck::Mismatch : CrcCheck::Matches) << damaged;
        std::vector<std::string> red;
        for (const auto& [colour, text] : view.log) {
            if (colour == kRed)
                red.push_back(text);
        }
        ASSERT_EQ(red.size(), damaged ? 1u : 0u);
        if (damaged) {
            EXPECT_NE(red[0].find(" member content.xml does not match the CRC-32 the package recorded"), std::string::npos)
                << red[0];
        }
    }
}

} // namespace
} // namespace tavrin
