#include "engine/MemberExtractor.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <zlib.h>
#include <sys/stat.h>

#include <atomic>
#include <fcntl.h>
#include <random>
#include <unistd.h>

#include "ExtractionSteps.h"
#include "RecordingView.h"
#include "ScannedFixture.h"
#include "TestPackages.h"
#include "engine/ContentXml.h"
#include "engine/PackageScanner.h"
#include "engine/ScannedPackage.h"
#include "platform/FileIo.h"

namespace tavrin {
namespace {

using namespace test;

TEST(MemberExtractor, SafeMemberPathNeverLeavesTheFolder)
{
    const std::pair<const char*, const char*> cases[] = {
        {"content.xml", "content.xml"},
        {"Pictures/a.png", "Pictures/a.png"},
        {"c:x", "cx"},
        {"C:/drive/abs.txt", "C/drive/abs.txt"},
        {"../escape.txt", "escape.txt"},
        {"forms/../../escape2.txt", "forms/escape2.txt"},
        {"/rooted.txt", "rooted.txt"},
        {"a\\..\\..\\b", "a/b"},
        {"./a//b/.", "a/b"},
        {"..", ""},
        {"/", ""},
        {"...", "..."},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(SafeMemberPath(name), expected) << name;
}

struct MemberCase {
    const char* label;
    Bytes package;          // bytes of the package; the member's data starts at `offset`
    PackageEntry entry;
    MemberOutcome outcome;
    Bytes expected;         // target contents when something is written
};

TEST(MemberExtractor, WritesStoredAndInflatedMembersOrNothing)
{
    const Bytes text = "The quick brown fox jumps over the lazy dog. The quick brown fox.";
    const Bytes packed = Deflate(text);
    const auto c = static_cast<std::uint32_t>(packed.size());
    const auto u = static_cast<std::uint32_t>(text.size());
    Bytes large(3 * 1024 * 1024 + 17, '\0'); // several extraction chunks
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 7919) >> 5);
    const Bytes largePacked = Deflate(large);
    const Bytes prefix = "0123456789";
    const MemberCase cases[] = {
        {"stored copy", prefix + text, {"m", u, u, 10}, MemberOutcome::Written, text},
        {"deflated", prefix + packed, {"m", c, u, 10}, MemberOutcome::Written, text},
        {"deflated larger than a chunk",
         prefix + largePacked,
         {"m", static_cast<std::uint32_t>(largePacked.size()), static_cast<std::uint32_t>(large.size()), 10},
         MemberOutcome::Written,
         large},
        {"equal sizes are copied raw even when deflated", prefix + packed, {"m", c, c, 10}, MemberOutcome::Written, packed},
        {"compressed size 0 goes the inflating way and fails", prefix + packed, {"m", 0, u, 10},
         MemberOutcome::NotInflated, {}},
        {"stream ends before the uncompressed size", prefix + packed, {"m", c, u + 100, 10},
         MemberOutcome::NotInflated, {}},
        {"damaged header claims 4 GiB", prefix + packed, {"m", c, 0xFFFFFFFF, 10}, MemberOutcome::NotInflated, {}},
        {"stored member cut by the end of the package", prefix + text.substr(0, 20), {"m", u, u, 10},
         MemberOutcome::CutShort, text.substr(0, 20)},
        {"stored 4 GiB past the end keeps what is there", prefix + text, {"m", 0xFFFFFFFF, 0xFFFFFFFF, 10},
         MemberOutcome::CutShort, text},
        {"garbage instead of DEFLATE", prefix + Bytes(40, '\xff'), {"m", 40, 400, 10}, MemberOutcome::NotInflated, {}},
        {"empty inflated member", prefix + Deflate(""), {"m", 2, 0, 10}, MemberOutcome::Written, ""},
    };
    for (const MemberCase& test : cases) {
        TempFolder folder;
        WriteFile(folder / "p.odb", test.package);
        const MemberReport report = ExtractMember(test.entry, folder / "p.odb", folder / "out");
        EXPECT_EQ(report.outcome, test.outcome) << test.label << ": " << report.error;
        if (test.outcome == MemberOutcome::Written || test.outcome == MemberOutcome::CutShort) {
            EXPECT_EQ(ReadFile(folder / "out"), test.expected) << test.label;
            EXPECT_EQ(report.bytesWritten, test.expected.size()) << test.label;
        } else {
            EXPECT_FALSE(Exists(folder / "out")) << test.label;
        }
        // Nothing but the package and the finished target: no partial or temporary file.
        EXPECT_EQ(FilesUnder(folder.path()).size(), Exists(folder / "out") ? 2u : 1u) << test.label;
    }
}

// What was written is checked against the CRC the package recorded; a mismatch keeps
// the bytes (they may be all there is) but is never reported as a clean member.
TEST(MemberExtractor, ChecksWhatWasWrittenAgainstTheRecordedCrc)
{
    const Bytes text = "The quick brown fox jumps over the lazy dog. The quick brown fox.";
    const Bytes packed = Deflate(text);
    const auto c = static_cast<std::uint32_t>(packed.size());
    const auto u = static_cast<std::uint32_t>(text.size());
    const std::uint32_t crc = 0x9EFAA58E; // of `text`
    Bytes flipped = text;
    flipped[10] ^= 0x20;
    const struct {
        const char* label;
        Bytes package;
        PackageEntry entry;
        MemberOutcome outcome;
        CrcCheck check;
    } cases[] = {
        {"stored, CRC agrees", text, {"m", u, u, 0, crc}, MemberOutcome::Written, CrcCheck::Matches},
        {"deflated, CRC agrees", packed, {"m", c, u, 0, crc}, MemberOutcome::Written, CrcCheck::Matches},
        {"stored with a flipped byte", flipped, {"m", u, u, 0, crc}, MemberOutcome::Written, CrcCheck::Mismatch},
        {"deflated stream that inflates to other bytes", Deflate(flipped), {"m", static_cast<std::uint32_t>(Deflate(flipped).size()), u, 0, crc},
         MemberOutcome::Written, CrcCheck::Mismatch},
        {"no CRC recorded", flipped, {"m", u, u, 0, 0}, MemberOutcome::Written, CrcCheck::NotChecked},
        {"declared size too large, CRC agrees: the size lied", packed, {"m", c, u + 100, 0, crc}, MemberOutcome::Written,
         CrcCheck::Matches},
        {"declared size too large, CRC disagrees", Deflate(flipped),
         {"m", static_cast<std::uint32_t>(Deflate(flipped).size()), u + 100, 0, crc}, MemberOutcome::NotInflated,
         CrcCheck::NotChecked},
        {"cut short is reported as such, not checked", text.substr(0, 9), {"m", u, u, 0, crc}, MemberOutcome::CutShort,
         CrcCheck::NotChecked},
    };
    for (const auto& test : cases) {
        TempFolder folder;
        WriteFile(folder / "p.odb", test.package);
        const MemberReport report = ExtractMember(test.entry, folder / "p.odb", folder / "out");
        EXPECT_EQ(report.outcome, test.outcome) << test.label;
        EXPECT_EQ(report.crcCheck, test.check) << test.label;
        EXPECT_EQ(report.recordedCrc, test.entry.recordedCrc) << test.label;
        if (test.check == CrcCheck::Matches) {
            EXPECT_EQ(ReadFile(folder / "out"), text) << test.label;
            EXPECT_EQ(report.bytesWritten, text.size()) << test.label;
            // A member written whole is reported at its real size, even when the header lied.
            EXPECT_EQ(report.uncompressedSize, text.size()) << test.label;
        }
        if (test.check == CrcCheck::Mismatch) {
            EXPECT_EQ(ReadFile(folder / "out"), flipped) << test.label;
            EXPECT_EQ(report.writtenCrc, 0x05AAD208u) << test.label; // of `flipped`
        }
    }
}

// A deflated member can be exactly as long as its contents; its recorded CRC tells the
// raw deflate bytes from the real contents, so it is not copied as if stored.
TEST(MemberExtractor, DeflatedMemberAsLongAsItsContentsIsInflated)
{
    const Bytes text = "CREATE TABLE T(ID INT)";
    const Bytes packed = Deflate(text, 8);
    ASSERT_EQ(packed.size(), text.size()) << "the case needs a stream as long as its contents";
    const auto size = static_cast<std::uint32_t>(text.size());
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
    TempFolder folder;
    WriteFile(folder / "p.odb", packed);
    const MemberReport report = ExtractMember({"database/script", size, size, 0, crc}, folder / "p.odb", folder / "out");
    EXPECT_EQ(report.outcome, MemberOutcome::Written);
    EXPECT_EQ(report.crcCheck, CrcCheck::Matches);
    EXPECT_EQ(ReadFile(folder / "out"), text);
    EXPECT_EQ(FilesUnder(folder.path()), (std::vector<std::string>{"out", "p.odb"}));
}

// A database member whose stream is cut off, broken, or ended early (a flipped bit can
// make any block the final one) keeps its readable start: whole lines of the script and
// the log, the bytes that inflated of the data files. Every other member stays out.
TEST(MemberExtractor, SalvagesTheReadableStartOfDatabaseMembersOnly)
{
    const Bytes script = "CREATE TABLE T(ID INT)\nINSERT INTO T VALUES(1)\nINSERT INTO T VALUES(2)\n";
    const auto u = static_cast<std::uint32_t>(script.size());
    // A non-final stored block holding the first 30 bytes (one whole line and the start of
    // the next), then a byte whose block type does not exist.
    const Bytes firstPart = script.substr(0, 30);
    const Bytes broken = std::string(1, '\0') + Le16(30) + Le16(0xFFFF ^ 30) + firstPart + "\xff";
    const Bytes cut = broken.substr(0, broken.size() - 1); // the same stream cut after the block
    // The same block marked final: the stream ends cleanly, short of the declared size,
    // and what the package holds after it is never read.
    const Bytes endedEarly = std::string(1, '\1') + broken.substr(1) + "more of the stream";
    const struct {
        const char* name;
        Bytes packed;
        MemberOutcome outcome;
        Bytes kept;
        MemberDefect defect; // what stopped the stream
    } cases[] = {
        {"database/script", broken, MemberOutcome::Salvaged, "CREATE TABLE T(ID INT)\n", MemberDefect::DataDamaged},
        {"database/script", cut, MemberOutcome::Salvaged, "CREATE TABLE T(ID INT)\n", MemberDefect::PackageEndsInside},
        {"database/log", cut, MemberOutcome::Salvaged, "CREATE TABLE T(ID INT)\n", MemberDefect::PackageEndsInside},
        {"database/data", broken, MemberOutcome::Salvaged, firstPart, MemberDefect::DataDamaged},
        {"database/firebird.fbk", cut, MemberOutcome::Salvaged, firstPart, MemberDefect::PackageEndsInside},
        {"database/data", endedEarly, MemberOutcome::Salvaged, firstPart, MemberDefect::DataEndsEarly},
        {"database/script", endedEarly, MemberOutcome::Salvaged, "CREATE TABLE T(ID INT)\n", MemberDefect::DataEndsEarly},
        {"database/script", cut.substr(0, 5 + 10), MemberOutcome::NotInflated, {}, MemberDefect::PackageEndsInside}, // no whole line yet
        {"content.xml", cut, MemberOutcome::NotInflated, {}, MemberDefect::PackageEndsInside},
        {"database/properties", broken, MemberOutcome::NotInflated, {}, MemberDefect::DataDamaged},
        {"forms/Obj11/content.xml", broken, MemberOutcome::NotInflated, {}, MemberDefect::DataDamaged},
        {"content.xml", endedEarly, MemberOutcome::NotInflated, {}, MemberDefect::DataEndsEarly},
        {"Pictures/logo.png", endedEarly, MemberOutcome::NotInflated, {}, MemberDefect::DataEndsEarly},
        {"META-INF/manifest.xml", endedEarly, MemberOutcome::NotInflated, {}, MemberDefect::DataEndsEarly},
    };
    for (const auto& test : cases) {
        TempFolder folder;
        WriteFile(folder / "p.odb", test.packed);
        const PackageEntry entry{test.name, static_cast<std::uint32_t>(test.packed.size()) + 20, u, 0};
        const MemberReport report = ExtractMember(entry, folder / "p.odb", folder / "out");
        EXPECT_EQ(report.outcome, test.outcome) << test.name << " " << test.packed.size();
        EXPECT_EQ(report.defect, test.defect) << test.name << " " << test.packed.size();
        EXPECT_EQ(report.error, DefectText(test.defect)) << test.name;
        if (test.outcome == MemberOutcome::Salvaged) {
            EXPECT_EQ(ReadFile(folder / "out"), test.kept) << test.name;
            EXPECT_EQ(report.bytesWritten, test.kept.size()) << test.name;
        } else {
            EXPECT_FALSE(Exists(folder / "out")) << test.name;
            EXPECT_EQ(report.bytesWritten, 0u) << test.name;
        }
    }
}

// The target is made only once the member's first bytes are there: a stream that breaks
// at once is reported as such even where no target could be made.
TEST(MemberExtractor, UnwritableTargetIsReportedAndLeavesNothing)
{
    TempFolder folder;
    const Bytes packed = Deflate("inflated text");
    WriteFile(folder / "p.odb", "0123456789abc" + packed + "\xff\xff\xff\xff");
    const auto packedSize = static_cast<std::uint32_t>(packed.size());
    const struct {
        PackageEntry entry;
        MemberOutcome outcome;
        const char* error;
    } cases[] = {
        {{"stored", 3, 3, 10}, MemberOutcome::NotWritten, "No such file or directory"},
        {{"deflated", packedSize, 13, 13}, MemberOutcome::NotWritten, "No such file or directory"},
        {{"broken", 4, 100, 13 + packed.size()}, MemberOutcome::NotInflated, "the data is damaged"},
    };
    for (const auto& test : cases) {
        const MemberReport report = ExtractMember(test.entry, folder / "p.odb", folder / "missing/out");
        EXPECT_EQ(report.outcome, test.outcome) << test.entry.name;
        EXPECT_EQ(report.error, test.error) << test.entry.name;
    }
    EXPECT_EQ(FilesUnder(folder.path()), std::vector<std::string>{"p.odb"});
}

// A disk that fills up after a few bytes.
class FullDisk : public platform::FileIo {
public:
    ssize_t Write(int fd, const void* data, std::size_t size) override
    {
        if (left_ == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t part = std::min(size, left_);
        left_ -= part;
        return FileIo::Write(fd, data, part);
    }

private:
    std::size_t left_ = 10;
};

TEST(MemberExtractor, FullDiskLeavesNoPartialMember)
{
    TempFolder folder;
    const Bytes text(5000, 'x');
    const Bytes packed = Deflate(text);
    WriteFile(folder / "p.odb", text + packed);
    const PackageEntry cases[] = {{"stored", 5000, 5000, 0},
                                  {"deflated", static_cast<std::uint32_t>(packed.size()), 5000, 5000}};
    for (const PackageEntry& entry : cases) {
        FullDisk disk;
        platform::FileIo* previous = platform::FileIo::Install(&disk);
        const MemberReport report = ExtractMember(entry, folder / "p.odb", folder / "out");
        platform::FileIo::Install(previous);
        EXPECT_EQ(report.outcome, MemberOutcome::NotWritten) << entry.name;
        EXPECT_EQ(report.error, "No space left on device") << entry.name;
        EXPECT_EQ(FilesUnder(folder.path()), std::vector<std::string>{"p.odb"}) << entry.name;
    }
}

TEST(MemberExtractor, CreatesFoldersOnceAndKeepsNamesInside)
{
    TempFolder folder;
    RecordingView view;
    std::string first = "Pictures/x.png";
    EXPECT_EQ(CreateMemberFolders(folder.path(), first, view), 1);
    EXPECT_EQ(first, folder / "Pictures/x.png");
    std::string second = "Pictures/y.png";
    CreateMemberFolders(folder.path() + "/", second, view);
    EXPECT_EQ(second, folder / "Pictures/y.png");
    std::string flat = "c:x";
    EXPECT_EQ(CreateMemberFolders(folder.path(), flat, view), 0);
    EXPECT_EQ(flat, folder / "cx");
    std::string escape = "../../etc/passwd";
    CreateMemberFolders(folder.path(), escape, view);
    EXPECT_EQ(escape, folder / "etc/passwd");
    EXPECT_TRUE(view.messages.empty());
}

TEST(MemberExtractor, PackageLogsOneRedLinePerLostMemberAndCompletesContentXml)
{
    TempFolder folder;
    const Bytes script = "CREATE TABLE T(ID INT)\nCREATE TABLE U(ID INT)\nCREATE TABLE V(ID INT)\n";
    const Bytes good = DeflatedMember("database/script", script);
    const Bytes bad = LocalHeader("settings.xml", 8, 20, 300) + Bytes(20, '\xff');
    const std::string package = folder / "p.odb";
    WriteFile(package, good + bad);
    const ScanList entries = {{"database/script", static_cast<std::uint32_t>(good.size() - 45),
                                static_cast<std::uint32_t>(script.size()), 45},
                              {"settings.xml", 20, 300, good.size() + 42}};
    ::mkdir((folder / "ws").c_str(), 0700);
    RecordingView view;
    PackageReport report;
    EXPECT_TRUE(RunExtractionSteps(folder / "ws", package, entries, ScannedPackage(), view, report).anyMember);

    EXPECT_EQ(ReadFile(folder / "ws/database/script"), script);
    EXPECT_FALSE(Exists(folder / "ws/settings.xml"));
    EXPECT_EQ(ReadFile(folder / "ws/content.xml"), ContentXmlTemplate());
    ASSERT_EQ(view.log.size(), 1u);
    EXPECT_EQ(view.log[0].first, kRed);
    EXPECT_EQ(view.log[0].second.rfind(package + " member settings.xml could not be inflated", 0), 0u);
    EXPECT_EQ(view.log[0].second.substr(view.log[0].second.size() - 6), "....\r\n");
    ASSERT_EQ(report.members.size(), 2u);
    EXPECT_EQ(report.members[1].outcome, MemberOutcome::NotInflated);
    EXPECT_TRUE(report.contentXmlRegenerated);
    const std::vector<std::string> progress = {"range file 2", "position file 0", "position file 0",
                                               "position file 1", "position file 2"};
    std::vector<std::string> recorded;
    for (const std::string& event : view.events)
        if (event.rfind("range", 0) == 0 || event.rfind("position", 0) == 0)
            recorded.push_back(event);
    EXPECT_EQ(recorded, progress);
}

// Past a hundred failing members, a package's failures are only counted: in one red line
// and in the report. The hundred listed are the first in file order, whether their
// stream breaks at once (the scan keeps only a hundred of those) or later; members
// written are all listed, and no failing member leaves a file behind.
TEST(MemberExtractor, PackageListsItsFirstHundredFailuresAndCountsTheRest)
{
    const Bytes text = "a stream that ends before the size its header declares";
    const Bytes packed = Deflate(text);
    auto breaksAtOnce = [](int i) {
        return LocalHeader("f" + std::to_string(1000 + i), 8, 4, 100) + "\xff\xff\xff\xff";
    };
    auto breaksLater = [&](int i) {
        return LocalHeader("f" + std::to_string(1000 + i), 8, static_cast<std::uint32_t>(packed.size()),
                           static_cast<std::uint32_t>(text.size() + 10)) +
               packed;
    };
    Bytes package = StoredMember("good1", "first");
    int failing = 0;
    for (; failing < 60; ++failing)
        package += failing % 2 == 0 ? breaksAtOnce(failing) : breaksLater(failing);
    for (; failing < 160; ++failing)
        package += breaksAtOnce(failing);
    package += StoredMember("good2", "last");

    ScannedFixture fixture(package);
    const std::string& path = fixture.path;
    const RecordingView& view = fixture.view;
    ASSERT_TRUE(fixture.scan.opened);
    EXPECT_EQ(fixture.scanned.brokenNotKept, 30u); // 130 break at once
    EXPECT_EQ(fixture.entries.size(), 2u + 160u - 30u);

    PackageReport report;
    const MemberExtraction extraction = fixture.Extract(report);
    EXPECT_TRUE(extraction.anyMember);
    EXPECT_EQ(extraction.membersRecovered, 2u);
    EXPECT_EQ(report.failedNotListed, 60u);
    std::vector<std::string> listed;
    for (const MemberReport& member : report.members)
        listed.push_back(member.name);
    std::vector<std::string> expected = {"good1"};
    for (int i = 0; i < 100; ++i)
        expected.push_back("f" + std::to_string(1000 + i));
    expected.push_back("good2");
    EXPECT_EQ(listed, expected);
    ASSERT_EQ(view.log.size(), 101u);
    for (std::size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(view.log[i].first, kRed);
        EXPECT_EQ(view.log[i].second.rfind(path + " member " + expected[i + 1] + " could not be inflated", 0), 0u) << i;
    }
    EXPECT_EQ(view.log.back(),
              std::make_pair(kRed, path + " 60 more members could not be recovered whole, they are not listed one by one....\r\n"));
    EXPECT_EQ(FilesUnder(fixture.folder / "ws"), (std::vector<std::string>{"content.xml", "good1", "good2"}));
}

// Members whose bytes miss their recorded CRC are kept, yet count against the same bound:
// a file of fake stored headers is written member by member without a line for each.
TEST(MemberExtractor, CrcMismatchesCountAgainstTheListingBound)
{
    Bytes package;
    for (int i = 0; i < 103; ++i) {
        Bytes member = StoredMember("m" + std::to_string(1000 + i), "bytes of member " + std::to_string(i));
        member.replace(14, 4, Le32(0x12345678)); // a CRC none of them has
        package += member;
    }
    ScannedFixture fixture(package);
    const std::string& path = fixture.path;
    const RecordingView& view = fixture.view;
    ASSERT_TRUE(fixture.scan.opened);
    ASSERT_EQ(fixture.entries.size(), 103u);

    PackageReport report;
    const MemberExtraction extraction = fixture.Extract(report);
    EXPECT_TRUE(extraction.anyMember);
    EXPECT_EQ(extraction.membersRecovered, 103u);
    EXPECT_EQ(report.members.size(), 100u);
    EXPECT_EQ(report.failedNotListed, 3u);
    ASSERT_EQ(view.log.size(), 101u);
    EXPECT_NE(view.log[99].second.find(" member m1099 does not match the CRC-32"), std::string::npos);
    EXPECT_EQ(view.log.back(),
              std::make_pair(kRed, path + " 3 more members could not be recovered whole, they are not listed one by one....\r\n"));
    EXPECT_EQ(ReadFile(fixture.folder / "ws/m1102"), "bytes of member 102");
}

// Name bytes read as Latin-1 in log lines; on disk a name that is not UTF-8 is saved
// with its other bytes written as %XX, so LibreOffice can read the rebuilt package.
TEST(MemberExtractor, NameBytesThatAreNoUtf8AreLoggedAsEscapesAndSavedReadable)
{
    TempFolder folder;
    const Bytes stored = StoredMember("caf\xE9.txt", "menu");
    const Bytes broken = LocalHeader("\xE9t\xE9.xml", 8, 10, 100) + Bytes(10, '\xff');
    WriteFile(folder / "p.odb", stored + broken);
    const ScanList entries = {{"caf\xE9.txt", 4, 4, 38}, {"\xE9t\xE9.xml", 10, 100, stored.size() + 37}};
    ::mkdir((folder / "ws").c_str(), 0700);
    RecordingView view;
    PackageReport report;
    RunExtractionSteps(folder / "ws", folder / "p.odb", entries, ScannedPackage(), view, report);
    EXPECT_EQ(FilesUnder(folder / "ws"), (std::vector<std::string>{"caf%E9.txt", "content.xml"}));
    EXPECT_EQ(ReadFile(folder / "ws/caf%E9.txt"), "menu");
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_NE(view.log[0].second.find(" member \\xe9t\\xe9.xml could not be inflated"), std::string::npos);
    EXPECT_EQ(view.log[1], std::make_pair(kBlack, folder / "p.odb" + " the name caf\\xe9.txt cannot be read by "
                                                  "LibreOffice (it would refuse the whole package), it is saved as "
                                                  "caf%E9.txt....\r\n"));
    ASSERT_EQ(report.renamedNames.size(), 1u);
    EXPECT_EQ(report.renamedNames[0].from, "caf\xE9.txt");
    EXPECT_EQ(report.renamedNames[0].to, "caf%E9.txt");
}

TEST(MemberExtractor, EmptyScanListWritesNothing)
{
    TempFolder folder;
    RecordingView view;
    PackageReport report;
    EXPECT_FALSE(RunExtractionSteps(folder.path(), folder / "p.odb", {}, ScannedPackage(), view, report).anyMember);
    EXPECT_TRUE(FilesUnder(folder.path()).empty());
    EXPECT_TRUE(view.events.empty());
}

} // namespace
} // namespace tavrin

namespace tavrin {
namespace {

using namespace test;

// Scanned and extracted random damage: whatever the headers claim, every file lands
// inside the package folder and no part file is left.
TEST(MemberExtractor, RandomDamageStaysInsideThePackageFolder)
{
    std::mt19937 random(7);
    const char* names[] = {"../up.txt", "/abs/x.png", "c:\\win.txt", "a/../../b", "ok/file.xml", "..", "x:", "d/"};
    for (int round = 0; round < 40; ++round) {
        TempFolder tmp;
        Bytes package;
        for (int i = 0, n = 1 + static_cast<int>(random() % 8); i < n; ++i) {
            const std::string name = names[random() % 8];
            Bytes data(random() % 300, '\0');
            for (char& c : data)
                c = static_cast<char>(random() % 4 == 0 ? 'P' : random());
            switch (random() % 4) {
            case 0: package += StoredMember(name, data); break;
            case 1: package += DeflatedMember(name, data); break;
            case 2:
                package += LocalHeader(name, 8, static_cast<std::uint32_t>(random()), static_cast<std::uint32_t>(random())) + data;
                break;
            default: package += LocalHeader(name, 8, 0, 0, {}, 8) + Deflate(data) + Descriptor(5, 0xFFFFFFFF); break;
            }
        }
        const std::string path = tmp / "p.odb";
        WriteFile(path, package);
        ScanList entries;
        const int fd = ::open(path.c_str(), O_RDONLY);
        PackageScanner().Scan(fd, package.size(), entries);
        ::close(fd);
        ::mkdir((tmp / "ws").c_str(), 0700);
        ::mkdir((tmp / "ws/pkg").c_str(), 0700);
        RecordingView view;
        PackageReport report;
        RunExtractionSteps(tmp / "ws/pkg", path, entries, ScannedPackage(), view, report);
        for (const std::string& file : FilesUnder(tmp.path())) {
            EXPECT_TRUE(file == "p.odb" || file.rfind("ws/pkg/", 0) == 0) << "round " << round << ": " << file;
            EXPECT_EQ(file.find(".tavrin-part"), std::string::npos) << file;
        }
    }
}

} // namespace
} // namespace tavrin
