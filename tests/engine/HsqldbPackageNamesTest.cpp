// Names of lost tables read from the rest of a package, and their matching to the
// carved tables.
#include "engine/HsqldbPackageNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace tavrin {
namespace {

std::map<std::string, HsqldbTableNames> ByTable(const std::vector<HsqldbTableNames>& names)
{
    std::map<std::string, HsqldbTableNames> result;
    for (const HsqldbTableNames& table : names)
        result[table.table] = table;
    return result;
}

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

std::string Content(const std::string& inside)
{
    return "<?xml version=\"1.0\"?><office:document-content><office:body><office:database>" + inside +
           "</office:database></office:body></office:document-content>";
}

TEST(HsqldbPackageNames, QueriesFormsTableSettingsAndLogEachTellWhatTheyCan)
{
    const std::string content = Content(
        // A join: qualified columns go to their table through its alias; the result's
        // own name ("Total") is no column; no order is told.
        "<db:queries><db:query db:name=\"Berlin totals\" db:command=\"SELECT &quot;c&quot;.&quot;LastName&quot;, "
        "SUM(&quot;o&quot;.&quot;Amount&quot;) AS &quot;Total&quot; FROM &quot;Customers&quot; &quot;c&quot; JOIN "
        "&quot;Orders&quot; &quot;o&quot; ON &quot;o&quot;.&quot;CustomerID&quot; = &quot;c&quot;.&quot;ID&quot; "
        "WHERE &quot;c&quot;.&quot;City&quot; = 'Berlin' GROUP BY &quot;c&quot;.&quot;LastName&quot;\"/>"
        // Plain columns of one table: their order.
        "<db:query db:name=\"all\" db:command=\"SELECT &quot;Code&quot;, &quot;Name&quot;, &quot;Size&quot; FROM "
        "&quot;Regions&quot; WHERE &quot;Size&quot; &gt; 3\"/>"
        // An expression among them: no order.
        "<db:query db:name=\"calc\" db:command=\"SELECT &quot;A&quot;, &quot;B&quot; + 1 FROM &quot;Calc&quot;\"/>"
        "</db:queries>"
        "<db:table-representations><db:table-representation db:name=\"Notes\"><db:columns>"
        "<db:column db:name=\"Text\"/></db:columns></db:table-representation></db:table-representations>");
    const std::string form =
        "<office:document-content><office:body><office:forms><form:form form:name=\"F\" form:command=\"People\" "
        "form:command-type=\"table\"><form:text form:data-field=\"Given\"/><form:form form:name=\"Sub\" "
        "form:command=\"Pets\" form:command-type=\"table\"><form:text form:data-field=\"Species\"/></form:form>"
        "<form:text form:data-field=\"Family\"/></form:form></office:forms></office:body></office:document-content>";
    const std::string log = "/*C1*/SET WRITE_DELAY 0\n"
                            "CREATE CACHED TABLE \"Late\"(\"K\" VARCHAR(10) NOT NULL PRIMARY KEY, \"N\" INTEGER)\n"
                            "INSERT INTO \"Bin\" VALUES(9,'0102',NULL,TRUE,-1.5E0)\n"
                            "/*C2*/INSERT INTO \"Bin\" VALUES(10,NULL,'2001-01-01',FALSE,NULL)\n"
                            "DELETE FROM \"Bin\" WHERE \"ID\"=1\n"
                            "INSERT INTO \"Bad\" VALUES(1,'a')\nINSERT INTO \"Bad\" VALUES(1,'a',2)\n"
                            "INSERT INTO \"Cut\" VALUES(1,'a'"; // no line end: cut short
    auto names = ByTable(HsqldbNamesFrom(content, {form}, log));

    EXPECT_EQ(Sorted(names["Customers"].someColumns), (std::vector<std::string>{"City", "ID", "LastName"}));
    EXPECT_TRUE(names["Customers"].columns.empty());
    EXPECT_EQ(Sorted(names["Orders"].someColumns), (std::vector<std::string>{"Amount", "CustomerID"}));
    EXPECT_EQ(names["Orders"].source, "the query 'Berlin totals'");
    EXPECT_EQ(names["Regions"].columns, (std::vector<std::string>{"Code", "Name", "Size"}));
    EXPECT_FALSE(names["Regions"].columnsDefined);
    EXPECT_TRUE(names["Calc"].columns.empty());
    EXPECT_EQ(names["Notes"].someColumns, (std::vector<std::string>{"Text"}));
    EXPECT_EQ(Sorted(names["People"].someColumns), (std::vector<std::string>{"Family", "Given"}))
        << "a subform's fields belong to the subform's table";
    EXPECT_EQ(names["Pets"].someColumns, (std::vector<std::string>{"Species"}));

    EXPECT_EQ(names["Late"].columns, (std::vector<std::string>{"K", "N"}));
    EXPECT_TRUE(names["Late"].columnsDefined);
    EXPECT_EQ(names["Late"].kinds, (std::vector<HsqldbColumnKind>{HsqldbColumnKind::Counted, HsqldbColumnKind::Int32}));
    using H = HsqldbValueHint;
    EXPECT_EQ(names["Bin"].hints, (std::vector<H>{H::Number, H::Quoted, H::Quoted, H::Truth, H::Number}))
        << "rows fill in each other's NULLs";
    EXPECT_EQ(names["Bin"].someColumns, (std::vector<std::string>{"ID"}));
    EXPECT_TRUE(names["Bad"].hints.empty()) << "rows of two shapes tell nothing";
    EXPECT_EQ(names.count("Cut"), 0u);
}

TEST(HsqldbPackageNames, DamagedContentStillGivesWhatStandsBeforeTheDamage)
{
    const std::string content = Content("<db:queries><db:query db:name=\"q\" db:command=\"SELECT * FROM "
                                        "&quot;Kept&quot;\"/><db:query db:name=\"r\" db:comm");
    const auto names = ByTable(HsqldbNamesFrom(content.substr(0, content.rfind("db:comm") + 7), {}, ""));
    EXPECT_EQ(names.count("Kept"), 1u);
}

} // namespace
} // namespace tavrin
