#include "engine/FirebirdBackupSalvage.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "TestPackages.h"
#include "engine/FirebirdBackupRecords.h"
#include "engine/FirebirdCompletion.h"

namespace tavrin {
namespace {

using namespace test;

// A backup gbak (Firebird 3.0.11, as LibreOffice 7.4 embeds it) made of a table of 24
// rows: rows 3, 6, ... 24 carry a text blob, row 7 a binary one; a view, a trigger, a
// procedure and a computed column put long BLR and source attributes among the
// definitions (data/make_firebird_backup.sh).
Bytes SmallBackup()
{
    return ReadFile(std::string(TAVRIN_ENGINE_DATA_DIR) + "/firebird-small.fbk");
}

// Where each row record starts, found by its fixed fields alone; a row runs with its
// blobs up to the next row's start.
std::vector<std::size_t> RowStarts(const Bytes& backup)
{
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at + 14 <= backup.size(); ++at)
        if (backup.compare(at, 3, "\x06\x01\x04", 3) == 0 && backup[at + 7] == '\x11' && backup[at + 8] == '\x04' &&
            backup[at + 13] == '\x02')
            starts.push_back(at);
    return starts;
}

fbk::Framing Frame(const Bytes& bytes, fbk::Place place, bool reachesEnd = true)
{
    const fbk::Span span{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), reachesEnd};
    return fbk::FrameRecord(span, place, fbk::BackupOptions{});
}

TEST(FirebirdBackupRecords, RowsFrameByTheirCompressedRunsOnly)
{
    // 3 literal bytes, a run of 5 zeros: 8 bytes, as the length attribute 0x11 says.
    const Bytes row = Bytes("\x06\x01\x04\x99\0\0\0\x11\x04\x08\0\0\0\x02", 14) + Bytes("\x03" "abc" "\xfb\x00", 6);
    const Bytes end = "\x09";
    struct Case {
        const char* what;
        Bytes bytes;
        bool reachesEnd;
        fbk::Framing::Result result;
    };
    const Case cases[] = {
        {"whole, then the end of the rows", row + end, true, fbk::Framing::Result::Whole},
        {"whole, the file ends after it", row, true, fbk::Framing::Result::Whole},
        {"a run past the row's length", Bytes(row).replace(row.size() - 2, 1, "\xfa"), true, fbk::Framing::Result::Broken},
        {"a control byte of zero", Bytes(row).replace(14, 1, Bytes(1, '\0')), true, fbk::Framing::Result::Broken},
        {"cut inside the runs, file ended", row.substr(0, 17), true, fbk::Framing::Result::Cut},
        {"cut inside the runs, more to read", row.substr(0, 17), false, fbk::Framing::Result::NeedMore},
        {"followed by bytes that are no record", row + Bytes(4, '\0'), true, fbk::Framing::Result::Broken},
    };
    for (const Case& c : cases) {
        const fbk::Framing framing = Frame(c.bytes, fbk::Place::TableData, c.reachesEnd);
        EXPECT_EQ(framing.result, c.result) << c.what;
        if (c.result == fbk::Framing::Result::Whole) {
            EXPECT_EQ(framing.length, row.size()) << c.what;
            EXPECT_EQ(framing.rowLength, 8u) << c.what;
        }
    }
    // A row stands only among a table's rows.
    EXPECT_EQ(Frame(row + end, fbk::Place::Definitions).result, fbk::Framing::Result::Broken);
}

TEST(FirebirdBackupRecords, LongAttributesAndBlobSegmentsFrame)
{
    // A view: attribute 2 is its BLR, written as a number 5 and then five bytes; read as
    // a number the record would end inside the BLR.
    const Bytes view = Bytes("\x03\x01\x01V\x02\x04\x05\0\0\0\x05\x00\x00\x4c\x00\x08\x03SQL\x00", 21);
    const fbk::Framing framing = Frame(view + "\x09" + "\x0a", fbk::Place::Definitions);
    ASSERT_EQ(framing.result, fbk::Framing::Result::Whole);
    EXPECT_EQ(framing.length, view.size());

    // A blob of two segments (4 and 2 bytes), after its row.
    const Bytes blob = Bytes("\x07\x03\x04\x02\0\0\0\x06\x04\x04\0\0\0\x05\x04\x02\0\0\0\x07", 20) +
                       Bytes("\x04\x00" "abcd" "\x02\x00" "ef", 10);
    const fbk::Framing blobFraming = Frame(blob + "\x09", fbk::Place::AfterRow);
    ASSERT_EQ(blobFraming.result, fbk::Framing::Result::Whole);
    EXPECT_EQ(blobFraming.length, blob.size());
    EXPECT_EQ(blobFraming.blobSegments, 2u);
    // A segment longer than the longest the blob declares is damage.
    EXPECT_EQ(Frame(Bytes(blob).replace(20, 1, "\x09") + "\x09", fbk::Place::AfterRow).result,
              fbk::Framing::Result::Broken);
    // A blob only follows a row.
    EXPECT_EQ(Frame(blob + "\x09", fbk::Place::TableData).result, fbk::Framing::Result::Broken);
}

// Restores `backup` with gbak and counts the rows of "Items", when gbak and isql-fb are
// installed (-1 otherwise): what LibreOffice's embedded engine does with the file.
int RestoredRows(const TempFolder& folder, const std::string& backup)
{
    if (std::system("command -v gbak >/dev/null 2>&1 && command -v isql-fb >/dev/null 2>&1") != 0)
        return -1;
    const std::string database = folder / "restored.fdb";
    std::remove(database.c_str());
    const std::string restore = "gbak -c -user SYSDBA '" + backup + "' '" + database + "' >/dev/null 2>&1";
    if (std::system(restore.c_str()) != 0)
        return -2;
    const std::string count = "echo 'SELECT COUNT(*) FROM \"Items\";' | isql-fb -q -user SYSDBA '" + database +
                              "' 2>/dev/null | tr -dc '0-9' > '" + (folder / "count") + "'";
    if (std::system(count.c_str()) != 0)
        return -3;
    const Bytes text = ReadFile(folder / "count");
    return text.empty() ? -4 : std::atoi(text.c_str());
}

TEST(FirebirdBackupSalvage, KeepsEveryWholeRowAroundTheDamageAndEndsTheStream)
{
    const Bytes original = SmallBackup();
    const std::vector<std::size_t> rows = RowStarts(original);
    ASSERT_EQ(rows.size(), 24u);
    const auto row = [&](int number) { return rows[static_cast<std::size_t>(number - 1)]; };
    // The bytes of a row and its blobs, for rows 1..23 (the last one runs to the end
    // of the rows, which the search above does not see).
    const auto rowBytes = [&](int number) { return original.substr(row(number), row(number + 1) - row(number)); };

    struct Case {
        const char* what;
        Bytes damaged;
        std::uint64_t rowsKept;
        std::vector<int> lost; // rows that must not be in the result
        bool endLost;
    };
    const auto zeroed = [&](std::size_t from, std::size_t to) {
        Bytes bytes = original;
        bytes.replace(from, to - from, Bytes(to - from, '\0'));
        return bytes;
    };
    const auto with = [&](std::size_t at, char byte) {
        Bytes bytes = original;
        bytes[at] = byte;
        return bytes;
    };
    // Random bytes inside a row, as a damaged deflate stream inflates to: they must not
    // pass for the end of the rows or for definitions.
    Bytes garbage = original.substr(0, row(10) + 20);
    std::mt19937 random(7);
    for (int count = 0; count < 64 * 1024; ++count)
        garbage += static_cast<char>(random() & 0xff);
    garbage += original.substr(row(10) + 20);
    const Case cases[] = {
        {"64 KB of random bytes inside row 10", garbage, 23, {10}, false},
        {"a row's first control byte zeroed", with(row(10) + 14, '\0'), 23, {10}, false},
        {"a row's length attribute hit", with(row(11) + 10, '\x40'), 23, {11}, false},
        {"row 5's name longer than its column, the row still framing", with(row(5) + 21, '\xff'), 23, {5}, false},
        {"a hole from inside row 5 to inside row 8, over row 7's blob", zeroed(row(5) + 20, row(8) + 20), 20,
         {5, 6, 7, 8}, false},
        {"row 6's blob declares a segment longer than its longest", with(row(7) - 16, '\x7f'), 23, {6}, false},
        {"the tail zeroed from inside row 15", zeroed(row(15) + 16, original.size()), 14, {15, 16, 17}, true},
        {"cut inside row 20", original.substr(0, row(20) + 18), 19, {20}, true},
        {"cut right after row 12 and its blob", original.substr(0, row(13)), 12, {13}, true},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const std::string path = folder / "firebird.fbk";
        WriteFile(path, c.damaged);
        const FirebirdSalvage salvage = SalvageFirebirdBackup(path, path);
        ASSERT_EQ(salvage.outcome, FirebirdSalvage::Outcome::Salvaged) << c.what;
        EXPECT_EQ(salvage.rowsKept, c.rowsKept) << c.what;
        EXPECT_EQ(salvage.endLost, c.endLost) << c.what;
        EXPECT_EQ(salvage.tableDataCut, c.endLost) << c.what;
        const Bytes result = ReadFile(path);
        // The definitions come through as they were, the kept rows byte for byte.
        EXPECT_EQ(result.substr(0, row(1)), original.substr(0, row(1))) << c.what;
        for (int number = 1; number <= 23; ++number) {
            const bool lost = std::find(c.lost.begin(), c.lost.end(), number) != c.lost.end();
            if (lost) {
                EXPECT_EQ(result.find(rowBytes(number)), Bytes::npos) << c.what << ": row " << number;
            } else if (!c.endLost || number < c.lost.front()) {
                EXPECT_NE(result.find(rowBytes(number)), Bytes::npos) << c.what << ": row " << number;
            }
        }
        // Ended as gbak ends a backup: the end record, zeros to a multiple of 512.
        EXPECT_EQ(result.size() % 512, 0u) << c.what;
        const auto last = result.find_last_not_of('\0');
        ASSERT_NE(last, Bytes::npos);
        EXPECT_EQ(result[last], '\x0a') << c.what;
        if (c.endLost) {
            EXPECT_EQ(result[last - 1], '\x09') << c.what << ": the rows are closed before the end";
        }
        const int restored = RestoredRows(folder, path);
        if (restored != -1) {
            EXPECT_EQ(restored, static_cast<int>(c.rowsKept)) << c.what << ": gbak restores what was kept";
        }
    }
}

TEST(FirebirdBackupSalvage, LeavesWholeBackupsAndFilesThatAreNoBackupAsTheyAre)
{
    const Bytes original = SmallBackup();
    struct Case {
        const char* what;
        Bytes bytes;
        FirebirdSalvage::Outcome outcome;
    };
    const Case cases[] = {
        {"whole", original, FirebirdSalvage::Outcome::Whole},
        {"a value inside a row changed, every record still frames",
         Bytes(original).replace(RowStarts(original)[3] + 23, 1, "Z"), FirebirdSalvage::Outcome::Whole},
        {"header zeroed", Bytes(original).replace(0, 40, Bytes(40, '\0')), FirebirdSalvage::Outcome::NotABackup},
        {"empty", Bytes(), FirebirdSalvage::Outcome::NotABackup},
        {"a text file", Bytes("CREATE TABLE x\n"), FirebirdSalvage::Outcome::NotABackup},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const std::string path = folder / "firebird.fbk";
        WriteFile(path, c.bytes);
        const FirebirdSalvage salvage = SalvageFirebirdBackup(path, path);
        EXPECT_EQ(salvage.outcome, c.outcome) << c.what;
        EXPECT_EQ(ReadFile(path), c.bytes) << c.what;
        EXPECT_EQ(FilesUnder(folder.path()), std::vector<std::string>{"firebird.fbk"}) << c.what << ": no work file left";
    }
}

TEST(FirebirdCompletion, SalvagesOnlyABackupThatDidNotComeBackWhole)
{
    const Bytes original = SmallBackup();
    const Bytes cut = original.substr(0, RowStarts(original)[8] + 5);
    struct Case {
        const char* what;
        MemberOutcome outcome;
        CrcCheck crc;
        bool changed;
    };
    const Case cases[] = {
        {"written, CRC matched", MemberOutcome::Written, CrcCheck::Matches, false},
        {"written, no CRC recorded", MemberOutcome::Written, CrcCheck::NotChecked, false},
        {"written, CRC mismatch", MemberOutcome::Written, CrcCheck::Mismatch, true},
        {"cut short", MemberOutcome::CutShort, CrcCheck::NotChecked, true},
        {"salvaged start", MemberOutcome::Salvaged, CrcCheck::NotChecked, true},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        ::mkdir((folder / "database").c_str(), 0700);
        WriteFile(folder / "database/firebird.fbk", cut);
        MemberReport member;
        member.name = "database/firebird.fbk";
        member.outcome = c.outcome;
        member.crcCheck = c.crc;
        const std::vector<DatabaseCompletion> done = CompleteFirebird(folder.path(), {member});
        EXPECT_EQ(ReadFile(folder / "database/firebird.fbk") != cut, c.changed) << c.what;
        ASSERT_EQ(done.size(), c.changed ? 1u : 0u) << c.what;
        if (!c.changed)
            continue;
        EXPECT_EQ(done[0].action, "firebird-backup-salvaged");
        EXPECT_EQ(done[0].member, "database/firebird.fbk");
        EXPECT_TRUE(done[0].rowsMayBeLost);
        EXPECT_EQ(done[0].rowsKept, 8u);
        EXPECT_NE(done[0].detail.find("8 rows kept"), std::string::npos) << done[0].detail;
        EXPECT_NE(done[0].detail.find("the rows after the damage are lost"), std::string::npos) << done[0].detail;
    }
    // No backup in the folder: nothing to do, whatever the report says.
    TempFolder empty;
    MemberReport member;
    member.name = "database/firebird.fbk";
    member.outcome = MemberOutcome::CutShort;
    EXPECT_TRUE(CompleteFirebird(empty.path(), {member}).empty());
}

} // namespace
} // namespace tavrin
