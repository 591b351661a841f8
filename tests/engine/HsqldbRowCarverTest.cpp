#include "engine/HsqldbRowCarver.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TestPackages.h"
#include "engine/HsqldbCompletion.h"
#include "engine/HsqldbScriptCheck.h"
#include "engine/HsqldbScriptRebuild.h"
#include "engine/HsqldbScriptTables.h"
#include "engine/MemberExtractor.h"

namespace tavrin {
namespace {

using namespace test;

void Put(std::string& bytes, std::uint64_t value, int size)
{
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
        bytes += static_cast<char>((value >> shift) & 0xff);
}

// One value with its presence byte, as HSQLDB writes it.
std::string Int(std::int64_t value, int size)
{
    std::string bytes = "\x01";
    Put(bytes, static_cast<std::uint64_t>(value), size);
    return bytes;
}
std::string Text(const std::string& utf8)
{
    std::string bytes = "\x01";
    Put(bytes, utf8.size(), 4);
    return bytes + utf8;
}
std::string Decimal(const std::string& unscaled, int scale)
{
    std::string bytes = "\x01";
    Put(bytes, unscaled.size(), 4);
    bytes += unscaled;
    Put(bytes, static_cast<std::uint64_t>(scale), 4);
    return bytes;
}
std::string Timestamp(std::int64_t ms, std::int32_t nanos)
{
    std::string bytes = Int(ms, 8);
    Put(bytes, static_cast<std::uint32_t>(nanos), 4);
    return bytes;
}
std::string Double(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return Int(static_cast<std::int64_t>(bits), 8);
}
std::string Boolean(bool value) { return std::string("\x01") + (value ? '\x01' : '\x00'); }
const std::string kNull(1, '\0');

struct Node {
    std::uint32_t left = 0, right = 0, parent = 0;
};

struct RowSpec {
    std::vector<Node> nodes;     // one per index
    std::vector<std::string> values;
};

// A data file of the rows, one after another from byte 32; node links name rows by
// their index (+1, 0 for none) and are turned into offsets.
std::string DataFile(const std::vector<RowSpec>& rows)
{
    std::vector<std::string> bodies;
    std::vector<std::uint32_t> offsets;
    std::uint32_t at = 32;
    for (const RowSpec& row : rows) {
        std::size_t size = 4 + 16 * row.nodes.size();
        for (const std::string& value : row.values)
            size += value.size();
        size = (size + 7) / 8 * 8;
        offsets.push_back(at);
        at += static_cast<std::uint32_t>(size);
    }
    std::string file(32, '\0');
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::string record;
        const std::uint32_t length = (r + 1 < offsets.size() ? offsets[r + 1] : at) - offsets[r];
        Put(record, length, 4);
        auto link = [&](std::uint32_t row) { return row == 0 ? 0u : offsets[row - 1]; };
        for (const Node& node : rows[r].nodes) {
            Put(record, 0, 4);
            Put(record, link(node.left), 4);
            Put(record, link(node.right), 4);
            Put(record, link(node.parent), 4);
        }
        for (const std::string& value : rows[r].values)
            record += value;
        record.resize(length, '\0');
        file += record;
    }
    return file;
}

// Rows of a table whose primary-key tree is a chain: row 1 the root, each next row
// the right child of the one before (links count rows from `first`).
std::vector<Node> Chain(std::size_t row, std::size_t count, std::uint32_t first)
{
    Node node;
    node.parent = row == 0 ? 0 : first + static_cast<std::uint32_t>(row) - 1;
    node.right = row + 1 < count ? first + static_cast<std::uint32_t>(row) + 1 : 0;
    return {node};
}

struct Carved {
    std::string path;
    int fd = -1;
    HsqldbRowCarver* carver = nullptr;
    HsqldbCarving carving;
    Carved(const std::string& folder, const std::string& name, const std::string& bytes, bool damaged)
        : path(folder + "/" + name)
    {
        WriteFile(path, bytes);
        fd = ::open(path.c_str(), O_RDONLY);
        carver = new HsqldbRowCarver(fd, bytes.size());
        carving = carver->Carve(damaged);
    }
    ~Carved()
    {
        delete carver;
        ::close(fd);
    }
};

std::string Script(const std::vector<const Carved*> carved, HsqldbRebuiltScript& result,
                   const std::vector<HsqldbTableNames>& names = {})
{
    std::vector<HsqldbCarvedSource> sources;
    for (const Carved* c : carved)
        sources.push_back({c->carver, &c->carving});
    std::string text;
    const auto append = [&](const std::string& part) {
        text += part;
        return true;
    };
    EXPECT_TRUE(HsqldbScriptRebuild::Write(sources, names, nullptr, append, append, result));
    return text;
}

// Customers: ID INTEGER, NAME VARCHAR, BORN DATE, CREDIT DECIMAL(10,2), ACTIVE BOOLEAN,
// SEEN TIMESTAMP, SCORE DOUBLE, QTY SMALLINT; one index.
RowSpec Customer(std::vector<Node> nodes, int id, const std::string& name, const std::string& credit)
{
    return {std::move(nodes),
            {Int(id, 4), name.empty() ? kNull : Text(name), Int(951782400000 + id * 86400000LL, 8),
             Decimal(credit, 2), Boolean(id % 2 == 0), Timestamp(1709214359123 + id, 123456789 + id * 1000000),
             Double(2.5 + id), Int(40 + id, 2)}};
}

// Orders: ID INTEGER, CUSTOMER INTEGER, NOTE VARCHAR; two indexes (key, foreign key).
RowSpec Order(std::vector<Node> nodes, int id)
{
    nodes.push_back(Node{});
    return {std::move(nodes), {Int(1000 + id, 4), Int(id % 3, 4), id == 2 ? kNull : Text("order " + std::to_string(id))}};
}

class HsqldbRowCarverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Times are written in the local time of the JVM that wrote them.
        const char* zone = std::getenv("TZ");
        savedZone_ = zone ? zone : "";
        hadZone_ = zone != nullptr;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (hadZone_)
            ::setenv("TZ", savedZone_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    std::string savedZone_;
    bool hadZone_ = false;
};

std::vector<RowSpec> TwoTables()
{
    std::vector<RowSpec> rows;
    const std::string credits[] = {std::string("\x0f\x34\xf6", 3), std::string("\xff\x38", 2), std::string("\x00", 1),
                                   std::string("\x01\x00", 2)};
    const std::string names[] = {"S\xc3\xb8ren", "O'Brien", "", "back\\slash \xe2\x82\xac"};
    for (int i = 0; i < 4; ++i)
        rows.push_back(Customer(Chain(static_cast<std::size_t>(i), 4, 1), i, names[i], credits[i]));
    for (int i = 0; i < 5; ++i)
        rows.push_back(Order(Chain(static_cast<std::size_t>(i), 5, 5), i));
    // A deleted order: it still names row 7 its parent, which no longer points back.
    RowSpec deleted = Order({Node{0, 0, 7}}, 9);
    rows.push_back(deleted);
    return rows;
}

TEST_F(HsqldbRowCarverTest, FindsTablesTheirLayoutsAndLiveRowsOfAWholeFile)
{
    TempFolder folder;
    const Carved carved(folder.path(), "data", DataFile(TwoTables()), false);
    ASSERT_EQ(carved.carving.result, HsqldbCarving::Result::Carved);
    EXPECT_EQ(carved.carving.records, 10u);
    EXPECT_EQ(carved.carving.unreachable, 1u);
    ASSERT_EQ(carved.carving.tables.size(), 2u);
    using K = HsqldbColumnKind;
    EXPECT_EQ(carved.carving.tables[0].layout,
              (HsqldbRowLayout{1, {K::Int32, K::Counted, K::Int64, K::Decimal, K::Boolean, K::Timestamp, K::Int64,
                                   K::Int16}}));
    EXPECT_EQ(carved.carving.tables[1].layout, (HsqldbRowLayout{2, {K::Int32, K::Int32, K::Counted}}));
    EXPECT_EQ(carved.carving.tables[0].rows.size(), 4u);
    EXPECT_EQ(carved.carving.tables[1].rows.size(), 5u);

    HsqldbRebuiltScript result;
    const std::string script = Script({&carved}, result);
    EXPECT_EQ(result.rows, 9u);
    EXPECT_NE(script.find("CREATE MEMORY TABLE \"TABLE1\"(\"COL1\" INTEGER NOT NULL PRIMARY KEY,\"COL2\" VARCHAR(12),"
                          "\"COL3\" DATE,\"COL4\" DECIMAL(18,2),\"COL5\" BOOLEAN,\"COL6\" TIMESTAMP,\"COL7\" DOUBLE,"
                          "\"COL8\" SMALLINT)\n"),
              std::string::npos)
        << script;
    EXPECT_NE(script.find("CREATE USER SA PASSWORD \"\"\nGRANT DBA TO SA\n"), std::string::npos);
    for (const char* line : {
             "INSERT INTO \"TABLE1\" VALUES(0,'S\\u00f8ren','2000-02-29',9965.98,TRUE,'2024-02-29 13:45:59.123456789',"
             "2.5E0,40)\n",
             "INSERT INTO \"TABLE1\" VALUES(1,'O''Brien','2000-03-01',-2.00,FALSE,'2024-02-29 13:45:59.124456789',"
             "3.5E0,41)\n",
             "INSERT INTO \"TABLE1\" VALUES(2,NULL,'2000-03-02',0.00,TRUE,'2024-02-29 13:45:59.125456789',4.5E0,42)\n",
             "INSERT INTO \"TABLE1\" VALUES(3,'back\\u005cslash \\u20ac','2000-03-03',2.56,FALSE,"
             "'2024-02-29 13:45:59.126456789',5.5E0,43)\n",
             "INSERT INTO \"TABLE2\" VALUES(1002,2,NULL)\n",
         })
        EXPECT_NE(script.find(line), std::string::npos) << line << script;
    EXPECT_EQ(script.find("1009"), std::string::npos) << "a deleted row came back";
}

TEST_F(HsqldbRowCarverTest, KeepsRowsBelowALostRootOnlyWhenTheFileIsKnownDamaged)
{
    // The root comes last and is cut off: the rows before it lost their tree.
    std::vector<RowSpec> rows;
    for (int i = 0; i < 6; ++i) {
        Node node;
        node.parent = i < 5 ? static_cast<std::uint32_t>(i + 2) : 0;
        if (i > 0)
            node.left = static_cast<std::uint32_t>(i);
        rows.push_back(Customer({node}, i, "n" + std::to_string(i), std::string("\x10", 1)));
    }
    const std::string file = DataFile(rows);
    const std::string cut = file.substr(0, file.size() - 20);
    TempFolder folder;
    const Carved whole(folder.path(), "whole", cut, false);
    EXPECT_TRUE(whole.carving.tables.empty());
    EXPECT_EQ(whole.carving.unreachable, 5u);
    const Carved damaged(folder.path(), "damaged", cut, true);
    ASSERT_EQ(damaged.carving.tables.size(), 1u);
    EXPECT_EQ(damaged.carving.tables[0].rows.size(), 5u);
    EXPECT_FALSE(damaged.carving.tables[0].rooted);
}

TEST_F(HsqldbRowCarverTest, MergesDataAndBackupWithTheKeyDecidingAndNoRowTwice)
{
    std::vector<RowSpec> older;
    for (int i = 0; i < 5; ++i)
        older.push_back(Order(Chain(static_cast<std::size_t>(i), 5, 1), i));
    std::vector<RowSpec> newer;
    for (int i = 0; i < 3; ++i)
        newer.push_back(Order(Chain(static_cast<std::size_t>(i), 3, 1), i));
    newer[1].values[2] = Text("changed");
    TempFolder folder;
    const Carved data(folder.path(), "data", DataFile(newer), true);
    const Carved backup(folder.path(), "backup", DataFile(older), false);
    HsqldbRebuiltScript result;
    const std::string script = Script({&data, &backup}, result);
    EXPECT_EQ(result.rows, 5u);
    ASSERT_EQ(result.tables.size(), 1u);
    EXPECT_EQ(result.tables[0].duplicates, 3u);
    EXPECT_NE(script.find("VALUES(1001,1,'changed')"), std::string::npos) << script;
    EXPECT_EQ(script.find("'order 1'"), std::string::npos) << script;
    EXPECT_NE(script.find("VALUES(1004,1,'order 4')"), std::string::npos) << script;
}

TEST_F(HsqldbRowCarverTest, LostScriptIsRebuiltFromDataInThePackageFolder)
{
    TempFolder folder;
    ASSERT_EQ(::mkdir((folder / "database").c_str(), 0700), 0);
    WriteFile(folder / "database/data", DataFile(TwoTables()));
    WriteFile(folder / "database/properties", "version=1.8.0\nmodified=yes\n");
    MemberReport data;
    data.name = "database/data";
    data.outcome = MemberOutcome::Written;
    const auto done = CompleteHsqldb(folder.path(), {data});
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].action, "script-rebuilt");
    EXPECT_EQ(done[0].rowsCarved, 9u);
    EXPECT_TRUE(done[0].namesGuessed);
    EXPECT_TRUE(done[0].rowsMayBeLost) << "guessed names are told in red";
    const std::string script = ReadFile(folder / "database/script");
    EXPECT_NE(script.find("INSERT INTO \"TABLE2\" VALUES(1004,1,'order 4')"), std::string::npos);
    EXPECT_NE(::access((folder / "database/data").c_str(), F_OK), 0) << "the rows live in the script now";
    EXPECT_EQ(ReadFile(folder / "database/properties"), "version=1.8.0\nmodified=no\n");
}

HsqldbTableNames Named(const std::string& table, std::vector<std::string> some, std::vector<HsqldbValueHint> hints = {})
{
    HsqldbTableNames names;
    names.table = table;
    names.someColumns = std::move(some);
    names.hints = std::move(hints);
    names.source = "the query '" + table + "'";
    return names;
}

TEST_F(HsqldbRowCarverTest, NamesFromThePackageGoOnlyToTheOneTableTheyFit)
{
    // The carved tables: 8 columns (customers), 3 columns (orders).
    TempFolder folder;
    const Carved carved(folder.path(), "data", DataFile(TwoTables()), false);
    using H = HsqldbValueHint;
    HsqldbTableNames defined;
    defined.table = "Orders";
    defined.columns = {"ID", "CUST", "NOTE"};
    defined.columnsDefined = true;
    using K = HsqldbColumnKind;
    defined.kinds = {K::Int32, K::Int32, K::Counted};
    HsqldbTableNames misdefined = defined;
    misdefined.kinds = {K::Int32, K::Counted, K::Counted};
    struct Case {
        const char* what;
        std::vector<HsqldbTableNames> names;
        std::string first, second; // the names the two tables get
        std::string firstSource;
    } cases[] = {
        {"four columns fit only the wider table, a row of three only the other",
         {Named("People", {"a", "b", "c", "d"}), Named("Orders", {}, {H::Number, H::Number, H::Quoted})},
         "People", "Orders", "the query 'People'"},
        {"two names that fit both tables: neither is taken", {Named("X", {"a"}), Named("Y", {"b"})}, "TABLE1", "TABLE2", ""},
        {"two names known by a column beside one known by a row's shape: the row's table is named, the others not",
         {Named("People", {"a"}), Named("Pets", {"b"}), Named("Orders", {}, {H::Number, H::Any, H::Quoted})}, "TABLE1",
         "Orders", ""},
        {"a name known by a row's shape is not kept from its table by one known by a column: the latter then takes "
         "the other",
         {Named("People", {"a"}), Named("Orders", {"ID"}, {H::Number, H::Number, H::Quoted})}, "People", "Orders",
         "the query 'People'"},
        {"a row whose kinds fit no table", {Named("Orders", {}, {H::Truth, H::Number, H::Quoted})}, "TABLE1", "TABLE2", ""},
        {"a definition gives every column name", {defined}, "TABLE1", "Orders", ""},
        {"a definition whose kinds the rows do not have", {misdefined}, "TABLE1", "TABLE2", ""},
        {"a name the made-up ones must step around", {Named("TABLE1", {}, {H::Number, H::Number, H::Quoted})},
         "TABLE2", "TABLE1", ""},
    };
    for (const Case& c : cases) {
        HsqldbRebuiltScript result;
        const std::string script = Script({&carved}, result, c.names);
        ASSERT_EQ(result.tables.size(), 2u) << c.what;
        EXPECT_EQ(result.tables[0].name, c.first) << c.what;
        EXPECT_EQ(result.tables[1].name, c.second) << c.what;
        EXPECT_EQ(result.tables[0].nameSource, c.firstSource) << c.what;
        EXPECT_NE(script.find("INSERT INTO \"" + c.second + "\" VALUES(1004,1,'order 4')"), std::string::npos)
            << c.what << script;
    }
    HsqldbRebuiltScript result;
    const std::string script = Script({&carved}, result, {defined});
    EXPECT_NE(script.find("CREATE MEMORY TABLE \"Orders\"(\"ID\" INTEGER NOT NULL PRIMARY KEY,\"CUST\" INTEGER,\"NOTE\" "),
              std::string::npos)
        << script;
    EXPECT_FALSE(result.tables[1].columnNamesGuessed);
    EXPECT_TRUE(result.tables[1].nameSource.empty()) << "its own definition is no guess";
    EXPECT_TRUE(result.tables[0].nameGuessed);
}

} // namespace
} // namespace tavrin

namespace tavrin {
namespace {

TEST_F(HsqldbRowCarverTest, DamagedDataGivesItsRowsToTheSurvivingScriptAsMemoryTables)
{
    // Customers' root is zeroed: the rows below it hang below nothing, and only MEMORY
    // tables without index roots can take them; the script still defines both tables.
    // The deleted order stays out: its parent is a live row that no longer points at it.
    std::string file = DataFile(TwoTables());
    const std::size_t rootLength = static_cast<unsigned char>(file[35]);
    std::fill(file.begin() + 32, file.begin() + 32 + static_cast<std::ptrdiff_t>(rootLength), '\0');
    const std::string script =
        "SET DATABASE COLLATION \"Latin1_General\"\n"
        "CREATE SCHEMA PUBLIC AUTHORIZATION DBA\n"
        "CREATE CACHED TABLE \"Customers\"(\"ID\" INTEGER NOT NULL PRIMARY KEY,\"Name\" VARCHAR(20),\"Born\" DATE,"
        "\"Credit\" DECIMAL(10,2),\"Active\" BOOLEAN,\"Seen\" TIMESTAMP,\"Score\" REAL,\"Qty\" TINYINT)\n"
        "CREATE CACHED TABLE \"Orders\"(\"OrderID\" INTEGER NOT NULL,\"Customer\" INTEGER,\"Note\" VARCHAR(30),"
        "CONSTRAINT \"PK\" PRIMARY KEY(\"OrderID\"),CONSTRAINT \"FK\" FOREIGN KEY(\"Customer\") REFERENCES "
        "\"Customers\"(\"ID\"))\n"
        "CREATE MEMORY TABLE \"Kept\"(\"K\" INTEGER)\n"
        "SET TABLE \"Customers\" INDEX'32 4'\n"
        "SET TABLE \"Orders\" INDEX'600 900 5'\n"
        "CREATE USER SA PASSWORD \"\"\n"
        "GRANT DBA TO SA\n"
        "INSERT INTO \"Kept\" VALUES(7)\n";
    TempFolder folder;
    ASSERT_EQ(::mkdir((folder / "database").c_str(), 0700), 0);
    WriteFile(folder / "database/data", file);
    WriteFile(folder / "database/script", script);
    WriteFile(folder / "database/properties", "version=1.8.0\nmodified=no\n");
    MemberReport data;
    data.name = "database/data";
    data.outcome = MemberOutcome::Written;
    data.crcCheck = CrcCheck::Mismatch;
    MemberReport text;
    text.name = "database/script";
    text.outcome = MemberOutcome::Written;
    const auto done = CompleteHsqldb(folder.path(), {data, text});
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].action, "rows-carved");
    EXPECT_EQ(done[0].rowsCarved, 8u);
    EXPECT_FALSE(done[0].namesGuessed);
    EXPECT_EQ(ReadFile(folder / "database/script"),
              "SET DATABASE COLLATION \"Latin1_General\"\n"
              "CREATE SCHEMA PUBLIC AUTHORIZATION DBA\n"
              "CREATE MEMORY TABLE \"Customers\"(\"ID\" INTEGER NOT NULL PRIMARY KEY,\"Name\" VARCHAR(20),\"Born\" DATE,"
              "\"Credit\" DECIMAL(10,2),\"Active\" BOOLEAN,\"Seen\" TIMESTAMP,\"Score\" REAL,\"Qty\" TINYINT)\n"
              "CREATE MEMORY TABLE \"Orders\"(\"OrderID\" INTEGER NOT NULL,\"Customer\" INTEGER,\"Note\" VARCHAR(30),"
              "CONSTRAINT \"PK\" PRIMARY KEY(\"OrderID\"),CONSTRAINT \"FK\" FOREIGN KEY(\"Customer\") REFERENCES "
              "\"Customers\"(\"ID\"))\n"
              "CREATE MEMORY TABLE \"Kept\"(\"K\" INTEGER)\n"
              "CREATE USER SA PASSWORD \"\"\n"
              "GRANT DBA TO SA\n"
              "INSERT INTO \"Kept\" VALUES(7)\n"
              "INSERT INTO \"Customers\" VALUES(1,'O''Brien','2000-03-01',-2.00,FALSE,'2024-02-29 13:45:59.124456789',"
              "3.5E0,41)\n"
              "INSERT INTO \"Customers\" VALUES(2,NULL,'2000-03-02',0.00,TRUE,'2024-02-29 13:45:59.125456789',4.5E0,42)\n"
              "INSERT INTO \"Customers\" VALUES(3,'back\\u005cslash \\u20ac','2000-03-03',2.56,FALSE,"
              "'2024-02-29 13:45:59.126456789',5.5E0,43)\n"
              "INSERT INTO \"Orders\" VALUES(1000,0,'order 0')\n"
              "INSERT INTO \"Orders\" VALUES(1001,1,'order 1')\n"
              "INSERT INTO \"Orders\" VALUES(1002,2,NULL)\n"
              "INSERT INTO \"Orders\" VALUES(1003,0,'order 3')\n"
              "INSERT INTO \"Orders\" VALUES(1004,1,'order 4')\n");
    EXPECT_NE(::access((folder / "database/data").c_str(), F_OK), 0);
}

TEST(HsqldbScriptTables, ReadsDefinitionsAndIndexLines)
{
    const auto table = ParseHsqldbTable(
        "CREATE CACHED TABLE \"A \"\"b\"\"\"(\"ID\" INTEGER GENERATED BY DEFAULT AS IDENTITY(START WITH 0) NOT NULL,"
        "X DECIMAL(10,2) DEFAULT 0,\"T\" VARCHAR(5) DEFAULT 'a,b)',CONSTRAINT SYS_PK PRIMARY KEY(X,\"ID\"))");
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(table->name, "A \"b\"");
    EXPECT_TRUE(table->cached);
    ASSERT_EQ(table->columns.size(), 3u);
    EXPECT_EQ(table->columns[1].name, "X");
    EXPECT_EQ(table->columns[1].kind, HsqldbColumnKind::Decimal);
    EXPECT_EQ(table->key, (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(table->MemoryLine().rfind("CREATE MEMORY TABLE \"A \"\"b\"\"\"(", 0), 0u);
    for (const char* notOne : {"CREATE CACHED TABLE \"T\"(\"X\" GEOMETRY)", "CREATE CACHED TABLE \"T\"(\"X\" INTEGER",
                               "CREATE USER SA PASSWORD \"\"", "CREATE CACHED TABLE \"T\"()"})
        EXPECT_FALSE(ParseHsqldbTable(notOne).has_value()) << notOne;
    EXPECT_EQ(HsqldbIndexLineTable("SET TABLE \"Orders\" INDEX'600 900 5'"), std::optional<std::string>("Orders"));
    EXPECT_FALSE(HsqldbIndexLineTable("SET TABLE \"Orders\" READONLY TRUE").has_value());
}


TEST(HsqldbScriptCheck, KeepsTheStatementsHsqldbCanRun)
{
    std::vector<HsqldbScriptTable> tables;
    ASSERT_TRUE(HsqldbScriptCheck::Keep(
        "CREATE CACHED TABLE \"T\"(\"ID\" INTEGER NOT NULL PRIMARY KEY,\"N\" VARCHAR(10),\"D\" DATE,\"TS\" TIMESTAMP,"
        "\"X\" DOUBLE,\"B\" BOOLEAN,\"M\" DECIMAL(10,2),\"P\" LONGVARBINARY,\"TM\" TIME)",
        tables));
    const struct {
        const char* line;
        bool kept;
    } cases[] = {
        {"INSERT INTO \"T\" VALUES(1,'a, ''b''','2024-02-29','2024-02-29 13:45:59.123456789',1.5E0,TRUE,-2.50,'0aff',"
         "'13:45:59')",
         true},
        {"INSERT INTO \"T\" VALUES(1,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL)", true},
        {"INSERT INTO \"T\" VALUES(1,NULL,NULL,NULL,NULL,NULL,NULL,NULL)", false},          // a value short
        {"INSERT INTO \"T\" VALUES(x,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL)", false},     // not an INTEGER
        {"INSERT INTO \"T\" VALUES(1,NULL,'2024-2-29',NULL,NULL,NULL,NULL,NULL,NULL)", false},
        {"INSERT INTO \"T\" VALUES(1,NULL,NULL,NULL,NULL,YES,NULL,NULL,NULL)", false},
        {"INSERT INTO \"T\" VALUES(1,NULL,NULL,NULL,NULL,NULL,NULL,'0ag',NULL)", false},
        {"INSERT INTO \"T\" VALUES(1,'open,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL)", false},
        {"INSERT INTO \"U\" VALUES(1)", false},                                             // no such table
        {"SET TABLE \"T\" INDEX'56208 0'", true},
        {"SET TABLE \"T\" INDEX'56z08 0'", false},
        {"SET TABLE \"U\" INDEX'56208 0'", false},
        {"CREATE USER SA PASSWORD \"\"", true},
        {"GRANT DBA TO SA", true},
        {"SET WRITE_DELAY 2", true},
        {"CREATE CACHED TABLE \"V\"(\"ID\" INTEGR)", false},
        {"GRANT DBA TO \"SA", false},
        {"SET WRITE\x01_DELAY 2", false},
        {"SET \xff\xfe", false},
        {"XQ#\"\"zz", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HsqldbScriptCheck::Keep(c.line, tables), c.kept) << c.line;
}

TEST(HsqldbScriptCheck, DamagedScriptLosesOnlyItsBadLinesAndItsRowsComeFromData)
{
    TempFolder folder;
    ASSERT_EQ(::mkdir((folder / "database").c_str(), 0700), 0);
    WriteFile(folder / "database/data", DataFile(TwoTables()));
    // The Orders definition and both index lines garbled.
    WriteFile(folder / "database/script",
              "CREATE SCHEMA PUBLIC AUTHORIZATION DBA\n"
              "CREATE CACHED TABLE \"Customers\"(\"ID\" INTEGER NOT NULL PRIMARY KEY,\"Name\" VARCHAR(20),\"Born\" DATE,"
              "\"Credit\" DECIMAL(10,2),\"Active\" BOOLEAN,\"Seen\" TIMESTAMP,\"Score\" DOUBLE,\"Qty\" SMALLINT)\n"
              "CREATE CACHED TABLE \"Ord\x9c\x01rs\"(\"ID\" INT\n"
              "SET TABLE \"Customers\" IN\x88\x13" "EX'3\xff'\n"
              "\x07\x91\xb0garbage\n"
              "CREATE USER SA PASSWORD \"\"\n"
              "GRANT DBA TO SA\n");
    MemberReport data;
    data.name = "database/data";
    data.outcome = MemberOutcome::Written;
    MemberReport script;
    script.name = "database/script";
    script.outcome = MemberOutcome::Written;
    script.crcCheck = CrcCheck::Mismatch;
    std::vector<std::string> actions;
    for (const DatabaseCompletion& done : CompleteHsqldb(folder.path(), {data, script}))
        actions.push_back(done.action);
    EXPECT_EQ(actions, (std::vector<std::string>{"script-lines-dropped", "rows-carved"}));
    const std::string text = ReadFile(folder / "database/script");
    EXPECT_EQ(text.find("garbage"), std::string::npos);
    EXPECT_NE(text.find("CREATE MEMORY TABLE \"Customers\""), std::string::npos);
    EXPECT_NE(text.find("INSERT INTO \"Customers\" VALUES(3,"), std::string::npos);
    EXPECT_NE(text.find("CREATE MEMORY TABLE \"TABLE1\"(\"COL1\" INTEGER NOT NULL PRIMARY KEY,\"COL2\" INTEGER,"
                        "\"COL3\" VARCHAR(7))"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("INSERT INTO \"TABLE1\" VALUES(1004,1,'order 4')"), std::string::npos);
}

} // namespace
} // namespace tavrin
