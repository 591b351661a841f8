// Rows of data files that HSQLDB 1.8's own jar wrote (tests/engine/hsqldb, made by
// MakeBerlinRows.java in the zone of Berlin), carved into a new script.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "TestPackages.h"
#include "engine/HsqldbCompletion.h"
#include "engine/MemberExtractor.h"

namespace tavrin {
namespace {

using namespace test;

const std::string kFixtures = TAVRIN_HSQLDB_FIXTURE_DIR;

// Runs the rest of a scope in the zone `name`.
class Zone {
public:
    explicit Zone(const char* name)
    {
        const char* zone = std::getenv("TZ");
        had_ = zone != nullptr;
        saved_ = zone ? zone : "";
        ::setenv("TZ", name, 1);
        ::tzset();
    }
    ~Zone()
    {
        if (had_)
            ::setenv("TZ", saved_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    Zone(const Zone&) = delete;
    Zone& operator=(const Zone&) = delete;

private:
    bool had_ = false;
    std::string saved_;
};

MemberReport Whole(const std::string& name)
{
    MemberReport member;
    member.name = name;
    member.outcome = MemberOutcome::Written;
    return member;
}

// The script rebuilt from the jar's data file alone (the script lost).
std::string RebuiltScript(const char* zone, const char* fixture = "berlin-rows.data")
{
    const Zone inZone(zone);
    TempFolder folder;
    EXPECT_EQ(::mkdir((folder / "database").c_str(), 0700), 0);
    WriteFile(folder / "database/data", ReadFile(kFixtures + "/" + fixture));
    WriteFile(folder / "database/properties", "version=1.8.0\nmodified=no\n");
    const auto done = CompleteHsqldb(folder.path(), {Whole("database/data"), Whole("database/properties")});
    EXPECT_FALSE(done.empty());
    return ReadFile(folder / "database/script");
}

std::string Hex(const std::string& bytes)
{
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes)
        text += std::string{kHex[byte >> 4], kHex[byte & 15]};
    return text;
}

TEST(HsqldbJarRows, BinariesKeepTheirBytesAndTimesTheWritersZoneOnAnyMachine)
{
    // Written in Berlin: dates are stored as 23:00 UTC, times an hour behind the clock.
    // The script must say what the Berlin clock said, wherever the repair runs.
    const std::string berlin = RebuiltScript("Europe/Berlin");
    EXPECT_EQ(RebuiltScript("America/New_York"), berlin);
    EXPECT_EQ(RebuiltScript("Asia/Tokyo"), berlin);
    EXPECT_EQ(RebuiltScript("UTC"), berlin);
    // West of UTC the dates are midnights of the same day (05:00 UTC).
    const std::string newYork = RebuiltScript("Asia/Tokyo", "newyork-rows.data");
    EXPECT_EQ(RebuiltScript("America/New_York", "newyork-rows.data"), newYork);
    EXPECT_EQ(newYork, berlin);
    EXPECT_NE(berlin.find("\"COL2\" LONGVARBINARY,\"COL3\" LONGVARBINARY,\"COL4\" LONGVARBINARY,\"COL5\" DATE,"
                          "\"COL6\" TIME,\"COL7\" TIMESTAMP"),
              std::string::npos)
        << berlin;
    for (int i = 0; i < 4; ++i) {
        std::string big;
        for (int k = 0; k < 40 + i; ++k)
            big += static_cast<char>(k * 7 + i);
        const std::string row = "INSERT INTO \"TABLE1\" VALUES(" + std::to_string(i) + ",'dead0" + std::to_string(i) +
                                "ff','00018" + std::to_string(i) + "','" + Hex(big) + "','2000-02-2" +
                                std::to_string(6 + i) + "','13:45:5" + std::to_string(i) + "','2024-01-0" +
                                std::to_string(1 + i) + " 23:30:59.123456789')\n";
        EXPECT_NE(berlin.find(row), std::string::npos) << row << berlin;
    }
}

TEST(HsqldbJarRows, ChangesInTheLogAreKeptForHsqldbToReplayOverTheCarvedRows)
{
    // The jar's log after its checkpoint: a row added, one deleted, one updated (logged
    // as a delete and an insert), a table created with a row. Added here: a row of a
    // table no script defines, and a statement cut short.
    const Zone inZone("UTC");
    TempFolder folder;
    ASSERT_EQ(::mkdir((folder / "database").c_str(), 0700), 0);
    WriteFile(folder / "database/data", ReadFile(kFixtures + "/berlin-rows.data"));
    WriteFile(folder / "database/log", ReadFile(kFixtures + "/berlin-rows.log") + "INSERT INTO \"Gone\" VALUES(1)\n" +
                                           "/*C2*/INSERT INTO \"Bin\" VALUES(7,'01'");
    const auto done = CompleteHsqldb(folder.path(), {Whole("database/data"), Whole("database/log")});
    ASSERT_EQ(done.size(), 1u);
    EXPECT_NE(done[0].detail.find("Bin from database/log"), std::string::npos) << done[0].detail;
    EXPECT_NE(done[0].detail.find("6 statements of database/log"), std::string::npos) << done[0].detail;
    EXPECT_NE(done[0].detail.find("2 statements of database/log that name tables"), std::string::npos) << done[0].detail;
    EXPECT_TRUE(done[0].rowsMayBeLost);
    const std::string script = ReadFile(folder / "database/script");
    EXPECT_NE(script.find("CREATE MEMORY TABLE \"Bin\"(\"COL1\" INTEGER NOT NULL PRIMARY KEY,"), std::string::npos)
        << "the log's rows name the one table they fit\n"
        << script;
    EXPECT_EQ(ReadFile(folder / "database/log"),
              "/*C1*/SET WRITE_DELAY 0\n"
              "DELETE FROM \"Bin\" WHERE \"COL1\"=9\n"
              "INSERT INTO \"Bin\" VALUES(9,'01020304','aa','bbcc','2001-01-01','01:02:03','2001-01-01 "
              "01:02:03.500000000')\n"
              "DELETE FROM \"Bin\" WHERE \"ID\"=1\n"
              "SET AUTOCOMMIT FALSE\n"
              "DELETE FROM \"Bin\" WHERE \"ID\"=2\n"
              "DELETE FROM \"Bin\" WHERE \"COL1\"=2\n"
              "INSERT INTO \"Bin\" VALUES(2,'dead02ff','0102','020910171e252c333a41484f565d646b727980878e959ca3aab1b8bf"
              "c6cdd4dbe2e9f0f7fe050c131a21','2000-02-28','13:45:52','2024-01-03 23:30:59.123456789')\n"
              "SET AUTOCOMMIT TRUE\n"
              "CREATE CACHED TABLE \"Late\"(\"K\" VARCHAR(10) NOT NULL PRIMARY KEY, \"N\" INTEGER)\n"
              "DELETE FROM \"Late\" WHERE \"K\"='a''b'\n"
              "INSERT INTO \"Late\" VALUES('a''b',5)\n");
    EXPECT_EQ(ReadFile(folder / "database/properties"), "version=1.8.0\nmodified=yes\n")
        << "HSQLDB replays a log only when asked to";
}

TEST(HsqldbJarRows, ALogOfNothingThatFitsIsRemoved)
{
    TempFolder folder;
    ASSERT_EQ(::mkdir((folder / "database").c_str(), 0700), 0);
    WriteFile(folder / "database/data", ReadFile(kFixtures + "/berlin-rows.data"));
    WriteFile(folder / "database/properties", "version=1.8.0\nmodified=no\n");
    WriteFile(folder / "database/log", "/*C1*/INSERT INTO \"Gone\" VALUES(1)\nALTER TABLE \"X\" ADD \"Y\" INTEGER\n");
    const auto done = CompleteHsqldb(folder.path(), {Whole("database/data"), Whole("database/log")});
    ASSERT_EQ(done.size(), 1u);
    EXPECT_NE(done[0].detail.find("2 statements of database/log that name tables"), std::string::npos) << done[0].detail;
    EXPECT_FALSE(Exists(folder / "database/log"));
    EXPECT_EQ(ReadFile(folder / "database/properties"), "version=1.8.0\nmodified=no\n");
}

} // namespace
} // namespace tavrin
