#include "engine/HsqldbCompletion.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sys/stat.h>

#include "TestPackages.h"
#include "engine/HsqldbDataFile.h"
#include "engine/MemberExtractor.h"

namespace tavrin {
namespace {

using namespace test;

// A data file of rows of the given lengths: the 32-byte header, then each row's length
// big-endian followed by filler that is never zero, so damage shows.
Bytes DataFile(const std::vector<std::uint32_t>& lengths)
{
    Bytes bytes(HsqldbDataFile::kHeaderSize, '\x01');
    for (std::size_t row = 0; row < lengths.size(); ++row) {
        const std::uint32_t length = lengths[row];
        bytes += static_cast<char>(length >> 24);
        bytes += static_cast<char>(length >> 16);
        bytes += static_cast<char>(length >> 8);
        bytes += static_cast<char>(length);
        bytes += Bytes(length - 4, static_cast<char>('a' + row % 26));
    }
    return bytes;
}

std::vector<unsigned char> AsVector(const Bytes& bytes)
{
    return {bytes.begin(), bytes.end()};
}

Bytes AsBytes(const std::vector<unsigned char>& bytes)
{
    return {bytes.begin(), bytes.end()};
}

TEST(HsqldbDataFile, KeepsSoundRowsAndClearsOrCutsOnlyWhereTheChainBreaks)
{
    const Bytes sound = DataFile({24, 40, 16, 64, 24, 32});
    // Row starts: 32, 56, 96, 112, 176, 200; end 232.
    {
        auto bytes = AsVector(sound);
        const HsqldbDataMending mending = HsqldbDataFile::Mend(bytes);
        EXPECT_EQ(mending.result, HsqldbDataMending::Result::Sound);
        EXPECT_EQ(AsBytes(bytes), sound);
    }
    {
        // Garbage from inside the second row over the third row's length: the second
        // and third rows are cleared, the chain resumes at the fourth.
        Bytes damaged = sound;
        for (std::size_t at = 80; at < 100; ++at)
            damaged[at] = '\x7f';
        auto bytes = AsVector(damaged);
        const HsqldbDataMending mending = HsqldbDataFile::Mend(bytes);
        EXPECT_EQ(mending.result, HsqldbDataMending::Result::Mended);
        EXPECT_EQ(mending.zeroedBytes, 112u - 56u);
        EXPECT_EQ(mending.cutBytes, 0u);
        Bytes expected = damaged;
        std::fill(expected.begin() + 56, expected.begin() + 112, '\0');
        EXPECT_EQ(AsBytes(bytes), expected);
    }
    {
        // A file cut inside its last row loses that row only.
        auto bytes = AsVector(sound.substr(0, 210));
        const HsqldbDataMending mending = HsqldbDataFile::Mend(bytes);
        EXPECT_EQ(mending.result, HsqldbDataMending::Result::Mended);
        EXPECT_EQ(AsBytes(bytes), sound.substr(0, 200));
        EXPECT_EQ(mending.cutBytes, 10u);
    }
    {
        // Cut, and garbage near the cut: no row after the damage chains to the end, so
        // the file ends before the row the damage began in.
        Bytes damaged = sound.substr(0, 190);
        for (std::size_t at = 120; at < 190; ++at)
            damaged[at] = '\x7f';
        auto bytes = AsVector(damaged);
        HsqldbDataFile::Mend(bytes);
        EXPECT_EQ(AsBytes(bytes), sound.substr(0, 112));
    }
}

TEST(HsqldbDataFile, LeavesFilesThatAreNotRowsAlone)
{
    Bytes noise(4096, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    auto bytes = AsVector(noise);
    EXPECT_EQ(HsqldbDataFile::Mend(bytes).result, HsqldbDataMending::Result::Unknown);
    EXPECT_EQ(AsBytes(bytes), noise);

    auto header = AsVector(Bytes(20, '\x01'));
    EXPECT_EQ(HsqldbDataFile::Mend(header).result, HsqldbDataMending::Result::TooShort);
    EXPECT_EQ(header.size(), 20u);
}

const Bytes kProperties = "#HSQL Database Engine 1.8.0.10\nversion=1.8.0\nmodified=no\nreadonly=false\n";
const Bytes kScript =
    "SET DATABASE COLLATION \"Latin1_General\"\nCREATE SCHEMA PUBLIC AUTHORIZATION DBA\n"
    "CREATE CACHED TABLE \"T\"(\"ID\" INTEGER NOT NULL PRIMARY KEY)\nSET TABLE \"T\" INDEX'32 2'\n"
    "CREATE USER SA PASSWORD \"\"\nGRANT DBA TO SA\nSET WRITE_DELAY 2\n";
const Bytes kScriptCut = "SET DATABASE COLLATION \"Latin1_General\"\nCREATE SCHEMA PUBLIC AUTHORIZATION DBA\n"
                         "CREATE CACHED TABLE \"T\"(\"ID\" INTEGER NOT NULL PRIMARY KEY)\n";
const Bytes kUserLines = "CREATE USER SA PASSWORD \"\"\nGRANT DBA TO SA\n";

// How a member came out of extraction: absent from the map means not in the package.
enum class Came { Whole, Salvaged, CutShort, CrcMismatch, NotInflated };

struct CompletionCase {
    const char* label;
    std::map<std::string, std::pair<Bytes, Came>> files;
    std::vector<std::string> actions;               // expected, in order
    std::map<std::string, std::optional<Bytes>> after; // expected contents (nullopt: no file)
};

MemberReport Report(const std::string& name, Came came)
{
    MemberReport report;
    report.name = name;
    switch (came) {
    case Came::Whole: report.outcome = MemberOutcome::Written; report.crcCheck = CrcCheck::Matches; break;
    case Came::Salvaged: report.outcome = MemberOutcome::Salvaged; break;
    case Came::CutShort: report.outcome = MemberOutcome::CutShort; break;
    case Came::CrcMismatch: report.outcome = MemberOutcome::Written; report.crcCheck = CrcCheck::Mismatch; break;
    case Came::NotInflated: report.outcome = MemberOutcome::NotInflated; break;
    }
    return report;
}

TEST(HsqldbCompletion, ChangesOnlyWhatKeepsTheDatabaseFromOpeningWhole)
{
    const Bytes data = DataFile({24, 40, 16, 64});
    const Bytes yes = "#HSQL Database Engine 1.8.0.10\nversion=1.8.0\nmodified=yes\nreadonly=false\n";
    Bytes garbled = data;
    for (std::size_t at = 80; at < 100; ++at)
        garbled[at] = '\x7f';
    Bytes cleared = garbled;
    std::fill(cleared.begin() + 56, cleared.begin() + 112, '\0');

    const CompletionCase cases[] = {
        {"everything whole",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {yes, Came::Whole}},
          {"database/data", {data, Came::Whole}}, {"database/backup", {"zipped", Came::Whole}}},
         {},
         {{"database/properties", yes}, {"database/data", data}}},
        {"data salvaged, backup whole: restored from the backup",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {kProperties, Came::Whole}},
          {"database/data", {data.substr(0, 70), Came::Salvaged}}, {"database/backup", {"zipped", Came::Whole}}},
         {"restore-from-backup"},
         {{"database/properties", yes}, {"database/data", data.substr(0, 70)}}},
        {"data lost, backup whole",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {kProperties, Came::Whole}},
          {"database/data", {"", Came::NotInflated}}, {"database/backup", {"zipped", Came::Whole}}},
         {"restore-from-backup"},
         {{"database/properties", yes}}},
        {"data damaged, properties already modified=yes",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {yes, Came::Whole}},
          {"database/data", {garbled, Came::CrcMismatch}}, {"database/backup", {"zipped", Came::Whole}}},
         {"restore-from-backup"},
         {{"database/properties", yes}, {"database/data", garbled}}},
        {"data damaged, backup damaged too: the data is mended instead",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {kProperties, Came::Whole}},
          {"database/data", {garbled, Came::CrcMismatch}}, {"database/backup", {"zip", Came::CrcMismatch}}},
         {"data-mended"},
         {{"database/properties", kProperties}, {"database/data", cleared}}},
        {"data truncated, no backup: cut back to its last whole row",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {kProperties, Came::Whole}},
          {"database/data", {data.substr(0, 100), Came::Salvaged}}},
         {"data-mended"},
         {{"database/data", data.substr(0, 96)}}},
        {"data shorter than its header, no backup",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {kProperties, Came::Whole}},
          {"database/data", {data.substr(0, 10), Came::Salvaged}}},
         {"data-left-out"},
         {{"database/data", std::nullopt}}},
        {"modified=yes without a backup, data whole",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {yes, Came::Whole}},
          {"database/data", {data, Came::Whole}}},
         {"modified-cleared"},
         {{"database/properties", kProperties}, {"database/data", data}}},
        {"modified=yes with a damaged backup, data whole",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {yes, Came::Whole}},
          {"database/data", {data, Came::Whole}}, {"database/backup", {"zip", Came::Salvaged}}},
         {"modified-cleared"},
         {{"database/properties", kProperties}}},
        {"modified=yes, neither data nor backup: nothing to keep",
         {{"database/script", {kScript, Came::Whole}}, {"database/properties", {yes, Came::Whole}}},
         {},
         {{"database/properties", yes}}},
        {"properties lost, nothing to restore: HSQLDB does without",
         {{"database/script", {kScript, Came::Whole}}, {"database/data", {data, Came::Whole}}},
         {},
         {{"database/properties", std::nullopt}, {"database/data", data}}},
        {"properties and data lost, backup whole",
         {{"database/script", {kScript, Came::Whole}}, {"database/backup", {"zipped", Came::Whole}}},
         {"properties-written", "restore-from-backup"},
         {{"database/properties", "version=1.8.0\nmodified=yes\n"}}},
        {"properties and script lost, data without a record: left as it is",
         {{"database/data", {data, Came::Whole}}},
         {},
         {{"database/properties", std::nullopt}, {"database/data", data}}},
        {"script salvaged without its user lines",
         {{"database/script", {kScriptCut, Came::Salvaged}}, {"database/properties", {kProperties, Came::Whole}}},
         {"script-completed"},
         {{"database/script", kScriptCut + kUserLines}}},
        {"stored script cut inside a line",
         {{"database/script", {kScriptCut + "SET TABLE \"T\" IND", Came::CutShort}},
          {"database/properties", {kProperties, Came::Whole}}},
         {"script-completed"},
         {{"database/script", kScriptCut + kUserLines}}},
        {"script salvaged with its user lines",
         {{"database/script", {kScript.substr(0, kScript.size() - 18), Came::Salvaged}},
          {"database/properties", {kProperties, Came::Whole}}},
         {},
         {{"database/script", kScript.substr(0, kScript.size() - 18)}}},
        {"script whole but odd: never touched",
         {{"database/script", {kScriptCut, Came::Whole}}, {"database/properties", {kProperties, Came::Whole}}},
         {},
         {{"database/script", kScriptCut}}},
        {"script with CR LF lines",
         {{"database/script", {"SET DATABASE COLLATION \"X\"\r\nCREATE SCHEMA PUBLIC AUTHORIZATION DBA\r\n",
                               Came::Salvaged}},
          {"database/properties", {kProperties, Came::Whole}}},
         {"script-completed"},
         {{"database/script", "SET DATABASE COLLATION \"X\"\r\nCREATE SCHEMA PUBLIC AUTHORIZATION DBA\r\n"
                              "CREATE USER SA PASSWORD \"\"\r\nGRANT DBA TO SA\r\n"}}},
        {"embedded Firebird: not ours to change",
         {{"database/firebird.fbk", {"fbk", Came::Whole}}, {"database/properties", {yes, Came::Whole}},
          {"database/data", {data.substr(0, 70), Came::Salvaged}}, {"database/backup", {"zipped", Came::Whole}}},
         {},
         {{"database/properties", yes}}},
    };
    for (const CompletionCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        ::mkdir((folder / "database").c_str(), 0755);
        std::vector<MemberReport> members;
        for (const auto& [name, file] : c.files) {
            if (file.second != Came::NotInflated)
                WriteFile(folder / name, file.first);
            members.push_back(Report(name, file.second));
        }
        std::vector<std::string> actions;
        for (const DatabaseCompletion& done : CompleteHsqldb(folder.path(), members)) {
            actions.push_back(done.action);
            EXPECT_EQ(done.rowsMayBeLost, done.action.rfind("data-", 0) == 0 || done.action == "script-not-rebuilt")
                << done.detail;
            EXPECT_EQ(CompletionLogText(done), done.detail + "....\r\n");
        }
        EXPECT_EQ(actions, c.actions);
        for (const auto& [name, contents] : c.after) {
            if (contents)
                EXPECT_EQ(ReadFile(folder / name), *contents) << name;
            else
                EXPECT_FALSE(Exists(folder / name)) << name;
        }
        // Nothing of ours is left beside the files.
        for (const std::string& file : FilesUnder(folder.path()))
            EXPECT_EQ(file.find(".tavrin"), std::string::npos) << file;
    }
}

// Clearing modified=yes keeps the rows of data, but a log beside it is not replayed
// over a backup any more: that is said, in red.
TEST(HsqldbCompletion, ClearingModifiedWarnsOfALogBesideIt)
{
    TempFolder folder;
    ::mkdir((folder / "database").c_str(), 0755);
    WriteFile(folder / "database/script", kScript);
    WriteFile(folder / "database/properties", "modified=yes\n");
    WriteFile(folder / "database/data", DataFile({24}));
    WriteFile(folder / "database/log", "INSERT INTO \"T\" VALUES(7)\n");
    const auto done = CompleteHsqldb(folder.path(), {Report("database/script", Came::Whole)});
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].action, "modified-cleared");
    EXPECT_TRUE(done[0].rowsMayBeLost);
    EXPECT_NE(done[0].detail.find("database/log"), std::string::npos) << done[0].detail;
    EXPECT_EQ(ReadFile(folder / "database/properties"), "modified=no\n");
}

TEST(HsqldbCompletion, TheLastCommittedReportOfANameDecidesItsState)
{
    const Bytes data = DataFile({24, 40});
    TempFolder folder;
    ::mkdir((folder / "database").c_str(), 0755);
    WriteFile(folder / "database/script", kScript);
    WriteFile(folder / "database/properties", kProperties);
    WriteFile(folder / "database/data", data);
    WriteFile(folder / "database/backup", "zipped");
    // A second copy of data that did not inflate left the first, whole one in place.
    std::vector<MemberReport> members = {Report("database/data", Came::Whole), Report("database/data", Came::NotInflated),
                                         Report("database/backup", Came::Whole)};
    EXPECT_TRUE(CompleteHsqldb(folder.path(), members).empty());
    // A damaged second copy replaced it.
    members.push_back(Report("database/data", Came::CrcMismatch));
    const auto done = CompleteHsqldb(folder.path(), members);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].action, "restore-from-backup");
}

// A flipped bit in a deflated data file can turn one of its blocks into the final one:
// the stream ends cleanly, short of the member's size. From extraction to completion the
// rows before that point come back when nothing else can stand in, and a whole backup
// still wins when there is one.
TEST(HsqldbCompletion, DataWhoseStreamEndsEarlyKeepsItsRowsUnlessABackupStandsIn)
{
    const Bytes data = DataFile({24, 40, 16, 64, 24, 32});
    // A final stored block with the header, two rows and the start of the third; what
    // follows it in the package is never read.
    const Bytes start = data.substr(0, 100);
    const Bytes packed = "\x01" + Le16(100) + Le16(0xFFFF ^ 100) + start + Deflate(data.substr(100));
    const PackageEntry entry{"database/data", static_cast<std::uint32_t>(packed.size()),
                             static_cast<std::uint32_t>(data.size()), 0};
    for (const bool withBackup : {false, true}) {
        SCOPED_TRACE(withBackup ? "with a whole backup" : "without a backup");
        TempFolder folder;
        ::mkdir((folder / "database").c_str(), 0755);
        WriteFile(folder / "p.odb", packed);
        WriteFile(folder / "database/script", kScript);
        WriteFile(folder / "database/properties", kProperties);
        std::vector<MemberReport> members = {Report("database/script", Came::Whole),
                                             Report("database/properties", Came::Whole)};
        if (withBackup) {
            WriteFile(folder / "database/backup", "zipped");
            members.push_back(Report("database/backup", Came::Whole));
        }
        members.push_back(ExtractMember(entry, folder / "p.odb", folder / "database/data"));
        ASSERT_EQ(members.back().outcome, MemberOutcome::Salvaged) << members.back().error;
        ASSERT_EQ(ReadFile(folder / "database/data"), start);

        std::vector<std::string> actions;
        for (const DatabaseCompletion& done : CompleteHsqldb(folder.path(), members))
            actions.push_back(done.action);
        if (withBackup) {
            EXPECT_EQ(actions, std::vector<std::string>{"restore-from-backup"});
            EXPECT_NE(ReadFile(folder / "database/properties").find("modified=yes"), std::string::npos);
        } else {
            EXPECT_EQ(actions, std::vector<std::string>{"data-mended"});
            EXPECT_EQ(ReadFile(folder / "database/data"), data.substr(0, 96)); // the header and two whole rows
            EXPECT_EQ(ReadFile(folder / "database/properties"), kProperties);
        }
    }
}

} // namespace
} // namespace tavrin
