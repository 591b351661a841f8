// Hostile packages end to end: each is repaired and saved through the engine, and for
// each the same things must hold: no crash, the log says what happened to the members
// that could not be recovered, nothing is written outside the package folder and the
// output folder, no partial file is left, the saved archive reads back, and the
// package itself is never modified.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "BatchRunner.h"
#include "RecordingView.h"
#include "TestPackages.h"
#include "engine/XmlText.h"
#include "engine/PackageEntry.h"
#include "engine/RepairBatch.h"
#include "engine/Workspace.h"

namespace tavrin {
namespace {

using namespace test;
namespace fs = std::filesystem;

// Names that try to leave the package folder end in this, so a stray copy can be
// looked for anywhere above the test folder.
const std::string kEscapeTag = "tavrin-adversarial-escape";

Bytes HealthyStart()
{
    return StoredMember("mimetype", "application/vnd.oasis.opendocument.base") +
           DeflatedMember("database/script", "CREATE TABLE CUSTOMERS(ID INT PRIMARY KEY, NAME VARCHAR(40))\n");
}

// A signature every 30 bytes: a million local headers with no name and no data, the
// deflated kind that sends the scanner looking for a data descriptor each time; one
// real member after them shows the scan got to the end.
Bytes MillionFakeHeaders()
{
    Bytes fake = LocalHeader("", 8, 0, 0);
    Bytes bytes;
    bytes.reserve(fake.size() * 1'000'000 + 100);
    for (int i = 0; i < 1'000'000; ++i)
        bytes += fake;
    return bytes + StoredMember("mimetype", "application/vnd.oasis.opendocument.base");
}

// A million headers that declare sizes, 37 bytes apart: each one's data runs into the
// next headers and breaks at once. No declared size ends where a member can end, so the
// scan meets every one of them; the first hundred are listed, one copy of their name is
// kept and the rest counted in one line.
Bytes MillionSizedFakeHeaders()
{
    const Bytes fake = LocalHeader("a/b.xml", 8, 100, 200);
    Bytes bytes = HealthyStart();
    bytes.reserve(bytes.size() + fake.size() * 1'000'000);
    for (int i = 0; i < 1'000'000; ++i)
        bytes += fake;
    return bytes;
}

Bytes Bomb()
{
    // 64 KiB of zeros deflate to a few hundred bytes; the header claims 4 GiB - 1. What
    // did inflate is kept as the readable start of the data file, and nothing more.
    const Bytes packed = Deflate(Bytes(64 * 1024, '\0'), 9);
    return HealthyStart() + LocalHeader("database/data", 8, static_cast<std::uint32_t>(packed.size()), 0xFFFFFFFF) +
           packed;
}

// A member whose sizes point past the end takes everything after it as its data, so
// each kind gets a package of its own.
Bytes DeflatedSizesPastTheEnd()
{
    const Bytes packed = Deflate(Bytes(20000, 'x') + "the end", 6);
    return HealthyStart() + LocalHeader("forms/big.xml", 8, 100000, 200000) + packed.substr(0, 20);
}

Bytes StoredSizesPastTheEnd()
{
    return HealthyStart() + LocalHeader("database/log", 0, 0xFFFFFFFF, 0xFFFFFFFF) + "tiny";
}

Bytes EscapingNames()
{
    return HealthyStart() + StoredMember("../../" + kEscapeTag, "up two") + StoredMember("/" + kEscapeTag + "-rooted", "rooted") +
           StoredMember("a/../../../" + kEscapeTag + "-middle", "middle") +
           StoredMember("..\\..\\" + kEscapeTag + "-backslash", "backslash");
}

// The last one is cut short, so its name reaches a log line: it must neither forge a
// line of its own nor reach the terminal as escape sequences.
Bytes ControlCharacterNames()
{
    return HealthyStart() + StoredMember("ctl\x01\x07\x1b[31mred\x1b[0m.txt", "escape sequences") +
           StoredMember("line\r\nbreak\t.txt", "line break") + StoredMember("del\x7f\xff.txt", "delete and 0xff") +
           LocalHeader("x\x1b[2J\x9b\r\nfake.odb  Repaired....\r\n", 0, 100, 100) + "cut";
}

Bytes LongestNames()
{
    std::string nested;
    while (nested.size() < 65535)
        nested += std::string(199, 'd') + "/";
    nested.resize(65535);
    return HealthyStart() + StoredMember(std::string(65535, 'n'), "one component") + StoredMember(nested, "nested");
}

Bytes NamesLeftEmpty()
{
    return HealthyStart() + StoredMember(":", "colon") + StoredMember(".", "dot") + StoredMember(":.:", "dotted colon") +
           StoredMember("./:/", "dot folder");
}

Bytes NamesDifferingInCase()
{
    return HealthyStart() + StoredMember("Pictures/Logo.png", "upper-case picture") +
           StoredMember("Pictures/logo.png", "lower-case picture");
}

Bytes FileAndFolderOfOneName()
{
    // The same one folder down, where small members are held in memory until the save:
    // they must clash the same way.
    return HealthyStart() + StoredMember("a", "a file named a") + StoredMember("a/b", "b inside a folder a") +
           StoredMember("c/d", "d inside a folder c") + StoredMember("c", "a file named c") +
           StoredMember("f/a", "a file named f/a") + StoredMember("f/a/b", "b inside a folder f/a") +
           StoredMember("f/c/d", "d inside a folder f/c") + StoredMember("f/c", "a file named f/c");
}

// A UTF-8 name is the package's own spelling: the log shows it as it is, not spelled
// twice over as if each byte were a character.
Bytes Utf8Names()
{
    return HealthyStart() + StoredMember("Pictures/caf\xC3\xA9.png", "picture") +
           LocalHeader("forms/\xC3\x84rger.xml", 0, 100, 100) + "cut";
}

// Names whose readable forms are all the same after the cut to 240 bytes: each needs a
// suffix of its own, however many there are (a search from ~2 upwards for each one
// grew with the square of their number and gave up after a thousand).
constexpr int kCollidingNames = 1500;

std::string CollidingName(int i)
{
    return std::string(239, 'a') + "\x01" + std::to_string(i);
}

Bytes CollidingUnreadableNames()
{
    Bytes bytes = HealthyStart();
    for (int i = 0; i < kCollidingNames; ++i)
        bytes += StoredMember(CollidingName(i), "x");
    return bytes;
}

Bytes WithCrc(Bytes member, std::uint32_t crc)
{
    return member.replace(14, 4, Le32(crc));
}

// More than a hundred members that break at once, then a data file whose bytes miss
// their CRC and a whole backup: the report lists only the first hundred failures, yet
// the data file must still be restored from the backup.
Bytes BrokenMembersBeforeADamagedDataFile()
{
    Bytes bytes = HealthyStart();
    for (int i = 0; i < 150; ++i)
        bytes += LocalHeader("junk/" + std::to_string(i) + ".xml", 8, 2, 20) + "\xff\xff";
    return bytes + WithCrc(StoredMember("database/data", Bytes(64, 'd')), 0x12345678) +
           StoredMember("database/backup", "a backup of the data file");
}

// A content.xml of full length whose bytes miss their CRC and no longer parse: kept,
// LibreOffice would refuse the data source.
Bytes DamagedContentXml()
{
    const Bytes text = "<?xml version=\"1.0\"?>\n<office:document-content>" + Bytes(1000, 'x') + "</office:document-c\x0bntent>";
    return HealthyStart() + WithCrc(StoredMember("content.xml", text), 0x0BADC0DE);
}

// A hundred thousand mimetype members behind a healthy package: no package of their
// own each, one copy kept.
Bytes MimetypeMembersByTheThousand()
{
    const Bytes mimetype = StoredMember("mimetype", "application/vnd.oasis.opendocument.base");
    Bytes bytes = HealthyStart();
    bytes.reserve(bytes.size() + mimetype.size() * 100'000);
    for (int i = 0; i < 100'000; ++i)
        bytes += mimetype;
    return bytes;
}

// Forty whole packages one after another: the first sixteen are rebuilt on their own,
// the last twenty-four with the sixteenth.
Bytes PackagesPastTheBound()
{
    Bytes bytes;
    for (int i = 0; i < 40; ++i)
        bytes += StoredMember("mimetype", "application/vnd.oasis.opendocument.base") +
                 DeflatedMember("database/script", "CREATE TABLE T" + std::to_string(i) + "(ID INT PRIMARY KEY)\n");
    return bytes;
}

struct AdversarialCase {
    const char* name;
    std::function<Bytes()> package;
    // Exact log lines, "{pkg}" standing for the package's path.
    std::vector<std::pair<Colour, std::string>> lines;
    // Every file in the package folder afterwards.
    std::vector<std::string> files;
    // Packages of the file rebuilt on their own, each saved.
    std::size_t packages = 1;
};

// Test names and failure messages show the case by its name, not its bytes.
void PrintTo(const AdversarialCase& row, std::ostream* out)
{
    *out << row.name;
}

const std::string kRepaired = "{pkg}  Repaired....\r\n";
const std::string kRenamedAs = " cannot be read by LibreOffice (it would refuse the whole package), it is saved as ";

std::vector<AdversarialCase> Cases()
{
    const std::vector<std::string> healthy = {"META-INF/manifest.xml", "content.xml", "database/script", "mimetype"};
    auto with = [&healthy](std::vector<std::string> more) {
        more.insert(more.end(), healthy.begin(), healthy.end());
        std::sort(more.begin(), more.end());
        return more;
    };
    const std::string longName(kMaxMemberNameLength, 'n');
    std::string nestedCut;
    while (nestedCut.size() < kMaxMemberNameLength)
        nestedCut += std::string(199, 'd') + "/";
    nestedCut.resize(kMaxMemberNameLength);
    const auto copiesAt = [](std::size_t k) {
        const std::size_t mimetype = StoredMember("mimetype", "application/vnd.oasis.opendocument.base").size();
        return std::to_string(HealthyStart().size() + 38 + k * mimetype);
    };
    return {
        {"Bomb", Bomb,
         {{kRed, "{pkg} member database/data could not be inflated whole (the data ends before the member's size), its "
                 "first 65536 of 4294967295 bytes are kept....\r\n"},
          {kGreen, kRepaired}},
         with({"database/data"})},
        {"DeflatedSizesPastTheEnd", DeflatedSizesPastTheEnd,
         {{kRed, "{pkg} member forms/big.xml could not be inflated (the package ends inside the member's data) and is "
                 "left out....\r\n"},
          {kGreen, kRepaired}},
         healthy},
        {"StoredSizesPastTheEnd", StoredSizesPastTheEnd,
         {{kRed, "{pkg} member database/log is cut short, 4 of 4294967295 bytes recovered....\r\n"}, {kGreen, kRepaired}},
         with({"database/log"})},
        {"MillionFakeHeaders", MillionFakeHeaders, {{kGreen, kRepaired}}, {"META-INF/manifest.xml", "content.xml", "mimetype"}},
        {"MillionSizedFakeHeaders", MillionSizedFakeHeaders,
         {{kRed, "{pkg} member a/b.xml is in the package 101 times, the copy at byte 222 is kept (it is the first, none "
                 "of them could be confirmed), the copies at 259, 296, 333, 370, 407 and 95 more left aside....\r\n"},
          {kRed, "{pkg} member a/b.xml could not be inflated (the data is damaged) and is left out....\r\n"},
          {kRed, "{pkg} 999899 more members could not be recovered whole, they are not listed one by one....\r\n"},
          {kGreen, kRepaired}},
         healthy},
        {"BrokenMembersBeforeADamagedDataFile", BrokenMembersBeforeADamagedDataFile,
         {{kRed, "{pkg} 51 more members could not be recovered whole, they are not listed one by one....\r\n"},
          {kBlack, "{pkg} database/data does not match its CRC-32, HSQLDB rebuilds it from database/backup "
                   "(modified=yes)....\r\n"},
          {kGreen, kRepaired}},
         with({"database/backup", "database/data", "database/properties"})},
        {"DamagedContentXml", DamagedContentXml,
         {{kRed, "{pkg} content.xml is damaged (its bytes are not the ones the package recorded) and is no well-formed "
                 "XML, LibreOffice would refuse the database; it is replaced by a new one....\r\n"},
          {kGreen, kRepaired}},
         healthy},
        {"EscapingNames", EscapingNames, {{kGreen, kRepaired}},
         with({kEscapeTag, kEscapeTag + "-rooted", "a/" + kEscapeTag + "-middle", kEscapeTag + "-backslash"})},
        // Saved under names LibreOffice can read, each said in a line of its own.
        {"ControlCharacterNames", ControlCharacterNames,
         {{kRed, "{pkg} member x\\x1b[2J\\x9b\\x0d\\x0afake.odb  Repaired....\\x0d\\x0a is cut short, 3 of 100 bytes "
                 "recovered....\r\n"},
          {kBlack, "{pkg} the name line\\x0d\\x0abreak\\x09.txt" + kRenamedAs + "line%0D%0Abreak%09.txt....\r\n"},
          {kBlack, "{pkg} the name del\\x7f\\xff.txt" + kRenamedAs + "del%7F%FF.txt....\r\n"},
          {kGreen, kRepaired}},
         with({"ctl%01%07%1B[31mred%1B[0m.txt", "line%0D%0Abreak%09.txt", "del%7F%FF.txt",
               "x%1B[2J%9B%0D%0Afake.odb  Repaired....%0D%0A"})},
        {"LongestNames", LongestNames,
         {{kRed, "{pkg} member " + longName + " could not be written (File name too long) and is left out....\r\n"},
          {kGreen, kRepaired}},
         with({nestedCut})},
        {"NamesLeftEmpty", NamesLeftEmpty,
         {{kRed, "{pkg} member : could not be written (the name leaves nothing to write) and is left out....\r\n"},
          {kRed, "{pkg} member . could not be written (the name leaves nothing to write) and is left out....\r\n"},
          {kRed, "{pkg} member :.: could not be written (the name leaves nothing to write) and is left out....\r\n"},
          {kRed, "{pkg} member ./:/ could not be written (the name leaves nothing to write) and is left out....\r\n"},
          {kGreen, kRepaired}},
         healthy},
        {"NamesDifferingInCase", NamesDifferingInCase, {{kGreen, kRepaired}},
         with({"Pictures/Logo.png", "Pictures/logo.png"})},
        {"Utf8Names", Utf8Names,
         {{kRed, "{pkg} member forms/\xC3\x84rger.xml is cut short, 3 of 100 bytes recovered....\r\n"}, {kGreen, kRepaired}},
         with({"Pictures/caf\xC3\xA9.png", "forms/\xC3\x84rger.xml"})},
        {"CollidingUnreadableNames", CollidingUnreadableNames,
         {{kBlack, "{pkg} the name " + std::string(239, 'a') + "\\x010" + kRenamedAs + std::string(239, 'a') + "....\r\n"},
          {kBlack, "{pkg} the name " + std::string(239, 'a') + "\\x011" + kRenamedAs + std::string(239, 'a') +
                       "~2....\r\n"},
          {kGreen, kRepaired}},
         [&with] {
             std::vector<std::string> names = {std::string(239, 'a')};
             for (int i = 2; i <= kCollidingNames; ++i)
                 names.push_back(std::string(239, 'a') + "~" + std::to_string(i));
             return with(names);
         }()},
        {"FileAndFolderOfOneName", FileAndFolderOfOneName,
         {{kRed, "{pkg} member a/b could not be written (Not a directory) and is left out....\r\n"},
          {kRed, "{pkg} member c could not be written (Is a directory) and is left out....\r\n"},
          {kRed, "{pkg} member f/a/b could not be written (Not a directory) and is left out....\r\n"},
          {kRed, "{pkg} member f/c could not be written (Is a directory) and is left out....\r\n"},
          {kGreen, kRepaired}},
         with({"a", "c/d", "f/a", "f/c/d"})},
        {"MimetypeMembersByTheThousand", MimetypeMembersByTheThousand,
         {{kRed, "{pkg} member mimetype is in the package 100001 times, the copy at byte 38 is kept (it is the first, "
                 "none of them could be confirmed), the copies at " + copiesAt(0) + ", " + copiesAt(1) + ", " +
                 copiesAt(2) + ", " + copiesAt(3) + ", " + copiesAt(4) + " and 99995 more left aside....\r\n"},
          {kGreen, kRepaired}},
         healthy},
        {"PackagesPastTheBound", PackagesPastTheBound,
         {{kRed, "{pkg} only the first 16 packages are rebuilt on their own, the last 24 are rebuilt with package 16: "
                 "of the members they share one copy is kept....\r\n"},
          {kGreen, kRepaired},
          {kGreen, "{pkg} (package 16)  Repaired....\r\n"}},
         healthy, 16},
    };
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string Hex(const std::string& bytes)
{
    std::string hex;
    char pair[3];
    for (const unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", c);
        hex += pair;
    }
    return hex;
}

// The member names of a saved archive as an independent reader (Python's zipfile)
// sees them, hex-encoded, after it checked every member's CRC; empty on any failure.
std::vector<std::string> ArchiveNamesAsHex(const std::string& archive, const std::string& listing)
{
    const std::string command =
        "/usr/bin/python3 -c 'import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "open(sys.argv[2], \"w\").write(\"\".join(i.orig_filename.encode(\"utf-8\" if i.flag_bits & 0x800 else \"cp437\").hex() + \"\\n\" for i in z.infolist()))' '" +
        archive + "' '" + listing + "'";
    if (std::system(command.c_str()) != 0)
        return {};
    std::vector<std::string> names;
    const std::string text = ReadFile(listing);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        names.push_back(text.substr(start, end - start));
    std::sort(names.begin(), names.end());
    return names;
}

class AdversarialPackages : public ::testing::TestWithParam<AdversarialCase> {
protected:
    void SetUp() override { SetWorkspaceRootOverride(tmp / "ws"); }
    void TearDown() override { SetWorkspaceRootOverride(""); }
    TempFolder tmp;
};

TEST_P(AdversarialPackages, RepairAndSaveHoldTheLine)
{
    const AdversarialCase& c = GetParam();
    const std::string package = tmp / "hostile.odb";
    const Bytes original = c.package();
    WriteFile(package, original);
    fs::create_directory(tmp / "out");

    RecordingView view;
    view.jobs = {{package, 0}};
    view.destination = tmp / "out";
    BatchRunner batch(view);
    batch.Repair();
    EXPECT_EQ(batch.Save(), 1);

    std::string logText;
    for (const auto& [colour, line] : view.log)
        logText += line;
    for (const auto& [colour, line] : c.lines) {
        const auto expected = std::make_pair(colour, Replace(line, "{pkg}", package));
        EXPECT_NE(std::find(view.log.begin(), view.log.end(), expected), view.log.end())
            << "missing log line: " << expected.second << "in the log:\n" << logText;
    }
    const std::string folder = tmp / "ws/hostile.odb.0";
    EXPECT_EQ(PackageFolderFiles(folder), c.files);
    // A name LibreOffice cannot read makes it refuse the whole rebuilt package.
    for (const std::string& file : PackageFolderFiles(folder))
        EXPECT_TRUE(IsNameText(file)) << "a name LibreOffice cannot read: " << Hex(file);
    EXPECT_EQ(ReadFile(package), original) << "the package was modified";

    // Nothing beside the package, the workspace and the output; nothing above the test folder.
    std::vector<std::string> top;
    for (const auto& item : fs::directory_iterator(tmp.path()))
        top.push_back(item.path().filename().string());
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::string>{"hostile.odb", "out", "ws"}));
    std::vector<std::string> inWorkspace;
    for (const auto& item : fs::directory_iterator(tmp / "ws"))
        inWorkspace.push_back(item.path().filename().string());
    std::vector<std::string> folders = {"hostile.odb.0"};
    std::vector<std::string> outputs = {"TAVRINREP_hostile.odb"};
    for (std::size_t number = 2; number <= c.packages; ++number) {
        folders.push_back("hostile.odb.0-" + std::to_string(number));
        outputs.push_back("TAVRINREP_hostile-" + std::to_string(number) + ".odb");
    }
    std::sort(inWorkspace.begin(), inWorkspace.end());
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(inWorkspace, folders);
    ASSERT_EQ(batch.report.packages.size(), 1u);
    ASSERT_EQ(batch.report.packages[0].furtherPackages.size(), c.packages - 1);
    for (const PackageReport& further : batch.report.packages[0].furtherPackages)
        EXPECT_EQ(further.result, PackageResult::Saved) << further.packageNumber;
    for (const fs::path& above : {fs::path(tmp.path()).parent_path(), fs::path("/"), fs::current_path()})
        for (const char* suffix : {"", "-rooted", "-middle", "-backslash"})
            EXPECT_FALSE(Exists((above / (kEscapeTag + suffix)).string())) << above;

    // The saved archive holds exactly the package folder's files and reads back whole.
    const std::string archive = tmp / "out/TAVRINREP_hostile.odb";
    ASSERT_TRUE(Exists(archive));
    std::vector<std::string> expectedNames;
    for (const std::string& file : c.files)
        expectedNames.push_back(Hex(file));
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(ArchiveNamesAsHex(archive, tmp / "ws/listing"), expectedNames);
    for (const std::string& output : FilesUnder(tmp / "out"))
        EXPECT_TRUE(std::find(outputs.begin(), outputs.end(), output) != outputs.end() ||
                    output.rfind("hostile.odb_MediaContent/", 0) == 0)
            << output;
    for (std::size_t number = 2; number <= c.packages; ++number)
        EXPECT_FALSE(ArchiveNamesAsHex(tmp / ("out/" + outputs[number - 1]), tmp / "ws/listing").empty()) << number;
}

INSTANTIATE_TEST_SUITE_P(Table, AdversarialPackages, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<AdversarialCase>& row) { return std::string(row.param.name); });

} // namespace
} // namespace tavrin

namespace tavrin {
namespace {

class OwnDestination : public ::testing::Test {
protected:
    void SetUp() override { SetWorkspaceRootOverride(tmp / "ws"); }
    void TearDown() override { SetWorkspaceRootOverride(""); }
    TempFolder tmp;
};

TEST_F(OwnDestination, PackageThatIsTheDestinationFolderIsRefusedAndLeftAlone)
{
    // A folder named like a package, given both as the job and as the destination.
    const std::string package = tmp / "Sales.odb";
    fs::create_directories(package + "/database");
    WriteFile(package + "/database/script", "CREATE TABLE T(ID INT)\n");
    RecordingView view;
    view.jobs = {{package, 0}};
    view.destination = package;
    BatchRunner batch(view);
    batch.Repair();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Is a directory"});
    EXPECT_EQ(view.jobs[0].state, 0);
    EXPECT_EQ(batch.Save(), 1);
    const std::pair<Colour, std::string> notRepaired{kRed, package + " cannot be saved,as it is not Repaired.\r\n"};
    EXPECT_NE(std::find(view.log.begin(), view.log.end(), notRepaired), view.log.end());
    EXPECT_EQ(FilesUnder(package), std::vector<std::string>{"database/script"});
}

TEST_F(OwnDestination, OutputBesideItsSourceNeverReplacesAJobsSource)
{
    // The destination is the packages' own folder, and one job is the output of an
    // earlier repair of the other: saving the first must not overwrite the second.
    const std::string folder = tmp / "docs";
    fs::create_directory(folder);
    const std::string original = folder + "/Sales.odb";
    const std::string earlierOutput = folder + "/TAVRINREP_Sales.odb";
    const Bytes originalBytes = StoredMember("mimetype", "application/vnd.oasis.opendocument.base") +
                                DeflatedMember("database/script", "CREATE TABLE NEW(ID INT)\n");
    const Bytes earlierBytes = StoredMember("mimetype", "application/vnd.oasis.opendocument.base") +
                               DeflatedMember("database/script", "CREATE TABLE OLD(ID INT)\n");
    WriteFile(original, originalBytes);
    WriteFile(earlierOutput, earlierBytes);

    RecordingView view;
    view.jobs = {{original, 0}, {earlierOutput, 0}};
    view.destination = folder;
    BatchRunner batch(view);
    batch.Repair();
    EXPECT_EQ(batch.Save(), 1);
    EXPECT_TRUE(ReadFile(original) == originalBytes) << "a job's source was modified";
    EXPECT_TRUE(ReadFile(earlierOutput) == earlierBytes) << "a job's source was replaced by another job's output";
    const std::pair<Colour, std::string> renamed{
        kBlack, original + " saving of file starts as TAVRINREP_Sales (2).odb, as TAVRINREP_Sales.odb is one of the "
                           "files being saved....\r\n"};
    EXPECT_NE(std::find(view.log.begin(), view.log.end(), renamed), view.log.end());
    ASSERT_EQ(batch.report.packages.size(), 2u);
    for (const PackageReport& report : batch.report.packages) {
        EXPECT_EQ(report.result, PackageResult::Saved) << report.path;
        EXPECT_NE(report.outputPath, original);
        EXPECT_NE(report.outputPath, earlierOutput);
        EXPECT_TRUE(Exists(report.outputPath)) << report.outputPath;
    }
}

// Job 1 of "T.odb1" and job 11 of "T.odb" once shared the work folder "T.odb11", and
// each output held the members of both.
TEST_F(OwnDestination, JobsWhoseNamesAndNumbersRunTogetherKeepTheirOwnMembers)
{
    fs::create_directories(tmp / "a");
    fs::create_directories(tmp / "b");
    RecordingView view;
    for (int i = 0; i < 12; ++i) {
        const std::string path = i == 1 ? tmp / "a/T.odb1" : i == 11 ? tmp / "b/T.odb" : tmp / ("filler" + std::to_string(i) + ".odb");
        WriteFile(path, HealthyStart() + StoredMember("only-in-job-" + std::to_string(i), "x"));
        view.jobs.push_back({path, 0});
    }
    fs::create_directory(tmp / "out");
    view.destination = tmp / "out";
    BatchRunner batch(view);
    batch.Repair();
    ASSERT_EQ(batch.Save(), 1);
    for (const auto& [job, output] : {std::pair{1, "TAVRINREP_T.odb1"}, std::pair{11, "TAVRINREP_T.odb"}}) {
        const std::vector<std::string> names = ArchiveNamesAsHex(tmp / (std::string("out/") + output), tmp / "listing");
        const std::string own = Hex("only-in-job-" + std::to_string(job));
        const std::string other = Hex("only-in-job-" + std::to_string(job == 1 ? 11 : 1));
        EXPECT_NE(std::find(names.begin(), names.end(), own), names.end()) << output;
        EXPECT_EQ(std::find(names.begin(), names.end(), other), names.end()) << output << " holds the other job's member";
    }
}

// A media folder in the destination that is a link: its target is never written into.
TEST_F(OwnDestination, MediaFolderThatIsALinkIsNotWrittenThrough)
{
    const std::string package = tmp / "Sales.odb";
    WriteFile(package, HealthyStart() + StoredMember("Thumbnails/thumbnail.png", "new picture"));
    fs::create_directories(tmp / "victim");
    WriteFile(tmp / "victim/thumbnail.png", "precious");
    fs::create_directory(tmp / "out");
    fs::create_directory_symlink(tmp / "victim", tmp / "out/Sales.odb_MediaContent");
    RecordingView view;
    view.jobs = {{package, 0}};
    view.destination = tmp / "out";
    BatchRunner batch(view);
    batch.Repair();
    ASSERT_EQ(batch.Save(), 1);
    EXPECT_EQ(ReadFile(tmp / "victim/thumbnail.png"), "precious");
    EXPECT_EQ(FilesUnder(tmp / "victim"), std::vector<std::string>{"thumbnail.png"});
    const std::pair<Colour, std::string> refused{
        kRed, package + " media folder Sales.odb_MediaContent cannot be used (it is a link or not a folder), its "
                        "pictures are not copied....\r\n"};
    EXPECT_NE(std::find(view.log.begin(), view.log.end(), refused), view.log.end());
    ASSERT_EQ(batch.report.packages.size(), 1u);
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::SavedWithLosses);
    EXPECT_EQ(batch.report.packages[0].picturesNotCopied, std::vector<std::string>{"thumbnail.png"});
}

// An output of an earlier save is replaced only when the user answers Yes.
TEST_F(OwnDestination, EarlierOutputIsReplacedOnlyOnYes)
{
    const std::string package = tmp / "Sales.odb";
    WriteFile(package, HealthyStart());
    fs::create_directory(tmp / "out");
    WriteFile(tmp / "out/TAVRINREP_Sales.odb", "earlier output");
    RecordingView view;
    view.jobs = {{package, 0}};
    view.destination = tmp / "out";
    BatchRunner batch(view);
    batch.Repair();
    view.answers = {kIdNo, kIdOk, kIdYes}; // the closing message of the first save takes one
    ASSERT_EQ(batch.Save(), 1);
    EXPECT_EQ(view.messages.front(), "TAVRINREP_Sales.odb already exists in the destination folder. Do you want to replace it?");
    EXPECT_EQ(ReadFile(tmp / "out/TAVRINREP_Sales.odb"), "earlier output");
    const std::pair<Colour, std::string> skipped{
        kRed, package + " saving of file skipped, TAVRINREP_Sales.odb already exists in the destination folder....\r\n"};
    EXPECT_NE(std::find(view.log.begin(), view.log.end(), skipped), view.log.end());
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::SaveFailed);

    view.messages.clear();
    ASSERT_EQ(batch.Save(), 1);
    EXPECT_NE(ReadFile(tmp / "out/TAVRINREP_Sales.odb"), "earlier output");
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::Saved);
}

} // namespace
} // namespace tavrin
