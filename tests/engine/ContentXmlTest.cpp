#include "engine/ContentXml.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "TestPackages.h"

namespace tavrin {
namespace {

using namespace test;

TEST(ContentXml, TemplateIsTheDatabaseDescriptorOf999Bytes)
{
    const std::string_view text = ContentXmlTemplate();
    ASSERT_EQ(text.size(), 999u);
    EXPECT_EQ(text.substr(0, 38), R"(<?xml version="1.0" encoding="UTF-8"?>)");
    EXPECT_EQ(text.substr(text.size() - 26), "</office:document-content>");
    EXPECT_NE(text.find(R"(db:connection-resource="sdbc:embedded:hsqldb")"), std::string_view::npos);
    EXPECT_NE(text.find("<db:table-filter-pattern>%</db:table-filter-pattern>"), std::string_view::npos);
    EXPECT_EQ(text.find('\r'), std::string_view::npos);
    EXPECT_NE(text.back(), '\n');
}

TEST(ContentXml, ShortOrMissingDescriptorsGetTheTemplateFullOnesStay)
{
    struct Case {
        const char* label;
        bool present;
        std::size_t size;
        bool trailingSlash;
        ContentXmlAction action;
    };
    const Case cases[] = {
        {"missing", false, 0, false, ContentXmlAction::WroteTemplate},
        {"missing, folder given with a slash", false, 0, true, ContentXmlAction::WroteTemplate},
        {"empty", true, 0, false, ContentXmlAction::WroteTemplate},
        {"998 bytes", true, 998, false, ContentXmlAction::WroteTemplate},
        {"999 bytes", true, 999, true, ContentXmlAction::KeptExisting},
        {"large", true, 5000, false, ContentXmlAction::KeptExisting},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const std::string own(c.size, 'q');
        if (c.present)
            WriteFile(folder / "content.xml", own);
        EXPECT_EQ(RegenerateContentXml(folder.path() + (c.trailingSlash ? "/" : "")), c.action) << c.label;
        const Bytes after = ReadFile(folder / "content.xml");
        if (c.action == ContentXmlAction::KeptExisting)
            EXPECT_EQ(after, own) << c.label;
        else
            EXPECT_EQ(after, ContentXmlTemplate()) << c.label;
        EXPECT_EQ(FilesUnder(folder.path()).size(), 1u) << c.label << ": a temporary file was left";
    }
}

// A descriptor whose bytes are known damaged is kept while it still parses; one that
// no longer does would make LibreOffice refuse the data source, and is replaced.
TEST(ContentXml, DamagedDescriptorIsKeptOnlyWhileItParses)
{
    const std::string body(1200, 'x');
    const std::string wellFormed = "<?xml version=\"1.0\"?>\n<office:document-content><a>" + body + "</a></office:document-content>";
    const std::string broken = "<?xml version=\"1.0\"?>\n<office:document-content><a>" + body + "</b></office:document-content>";
    struct Case {
        const char* label;
        const std::string& text;
        bool damaged;
        ContentXmlAction action;
    };
    const Case cases[] = {
        {"damaged but well-formed", wellFormed, true, ContentXmlAction::KeptExisting},
        {"damaged and broken", broken, true, ContentXmlAction::ReplacedDamaged},
        {"broken but with its recorded bytes", broken, false, ContentXmlAction::KeptExisting},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        WriteFile(folder / "content.xml", c.text);
        std::filesystem::create_directories(folder / "forms/Obj11");
        WriteFile(folder / "forms/Obj11/content.xml", "<f/>");
        std::vector<PackageDocument> listed;
        EXPECT_EQ(RegenerateContentXml(folder.path(), &listed, c.damaged), c.action) << c.label;
        const Bytes after = ReadFile(folder / "content.xml");
        if (c.action == ContentXmlAction::KeptExisting) {
            EXPECT_EQ(after, c.text) << c.label;
        } else {
            EXPECT_NE(after.find("sdbc:embedded:hsqldb"), std::string::npos) << c.label;
            EXPECT_NE(after.find("Obj11"), std::string::npos) << c.label << ": the forms are listed";
            EXPECT_EQ(listed.size(), 1u) << c.label;
        }
    }
}

TEST(ContentXml, MissingFolderFails)
{
    TempFolder folder;
    EXPECT_EQ(RegenerateContentXml(folder / "gone"), ContentXmlAction::Failed);
    EXPECT_FALSE(Exists(folder / "gone"));
}

// A document folder as LibreOffice leaves it: content.xml, and meta.xml when given.
void AddDocument(const TempFolder& folder, const std::string& path, const char* metaTitle = nullptr)
{
    std::filesystem::create_directories(folder / path);
    WriteFile(folder / (path + "/content.xml"), "<office:document-content/>");
    if (metaTitle != nullptr)
        WriteFile(folder / (path + "/meta.xml"),
                  std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-meta><office:meta>"
                              "<meta:generator>LibreOffice</meta:generator><dc:title>") +
                      metaTitle + "</dc:title></office:meta></office:document-meta>");
}

// The template with `listing` after the data source, where LibreOffice keeps its
// forms and reports.
std::string TemplateWith(const std::string& listing, const std::string& engine = "hsqldb")
{
    std::string text(ContentXmlTemplate());
    text.replace(text.find("sdbc:embedded:hsqldb"), 20, "sdbc:embedded:" + engine);
    const std::string end = "   </db:data-source>\n";
    return text.insert(text.find(end) + end.size(), listing);
}

std::string Component(const std::string& name, const std::string& href)
{
    return "    <db:component db:name=\"" + name + "\" xlink:href=\"" + href +
           "\" xlink:type=\"simple\" db:as-template=\"false\"/>\n";
}

TEST(ContentXml, NewDescriptorListsTheDocumentsThePackageHolds)
{
    struct Case {
        const char* label;
        void (*fill)(const TempFolder&);
        std::string expected;
        long fromTitles = 0;
    };
    const Case cases[] = {
        {"nothing but the database",
         [](const TempFolder& f) { WriteFile(f / "settings.xml", "x"); },
         std::string(ContentXmlTemplate())},
        {"document folders without content.xml, or not folders",
         [](const TempFolder& f) {
             std::filesystem::create_directories(f / "forms/Obj11/Pictures");
             WriteFile(f / "forms/Obj11/Pictures/a.png", "png");
             std::filesystem::create_directories(f / "reports");
             WriteFile(f / "reports/Obj3", "a file, not a document");
             WriteFile(f / "forms/content.xml", "not inside a document folder");
         },
         std::string(ContentXmlTemplate())},
        {"forms only, in the order of their numbers",
         [](const TempFolder& f) {
             AddDocument(f, "forms/Obj11");
             AddDocument(f, "forms/Obj2");
             AddDocument(f, "forms/Obj101");
         },
         TemplateWith("   <db:forms>\n" + Component("Obj2", "forms/Obj2") + Component("Obj11", "forms/Obj11") +
                      Component("Obj101", "forms/Obj101") + "   </db:forms>\n")},
        {"forms and reports",
         [](const TempFolder& f) {
             AddDocument(f, "reports/Obj21");
             AddDocument(f, "forms/Obj11");
         },
         TemplateWith("   <db:forms>\n" + Component("Obj11", "forms/Obj11") + "   </db:forms>\n   <db:reports>\n" +
                      Component("Obj21", "reports/Obj21") + "   </db:reports>\n")},
        {"embedded Firebird",
         [](const TempFolder& f) {
             std::filesystem::create_directories(f / "database");
             WriteFile(f / "database/firebird.fbk", "backup");
             AddDocument(f, "forms/Obj11");
         },
         TemplateWith("   <db:forms>\n" + Component("Obj11", "forms/Obj11") + "   </db:forms>\n", "firebird")},
        {"names from the documents' own titles where usable",
         [](const TempFolder& f) {
             AddDocument(f, "forms/Obj1", "  Entry form\n");
             AddDocument(f, "forms/Obj2", "Ein&#x2F;Aus");    // a '/' would name a sub-folder
             AddDocument(f, "forms/Obj3", "");                 // empty
             AddDocument(f, "forms/Obj4", "Entry form");       // taken by Obj1
             AddDocument(f, "forms/Obj5", "Obj6");             // the name of a folder without a title
             AddDocument(f, "forms/Obj6");
             AddDocument(f, "forms/Obj7", "Kunden &amp; Lieferanten \xC3\xBC");
             AddDocument(f, "reports/Obj8", "Entry form");     // reports have names of their own
         },
         TemplateWith("   <db:forms>\n" + Component("Entry form", "forms/Obj1") + Component("Obj2", "forms/Obj2") +
                      Component("Obj3", "forms/Obj3") + Component("Obj4", "forms/Obj4") +
                      Component("Obj5", "forms/Obj5") + Component("Obj6", "forms/Obj6") +
                      Component("Kunden &amp; Lieferanten \xC3\xBC", "forms/Obj7") + "   </db:forms>\n" +
                      "   <db:reports>\n" + Component("Entry form", "reports/Obj8") + "   </db:reports>\n"),
         3},
        {"hostile names",
         [](const TempFolder& f) {
             AddDocument(f, "forms/Obj1", "&quot;/&gt;&lt;db:query db:name=&quot;x");
             AddDocument(f, "forms/Obj2", "a&quot; b=&quot;&lt;&amp;&gt;");
             AddDocument(f, "forms/Obj3", "bell&#7;");                 // control character
             AddDocument(f, "forms/Obj4", "\xC0\xAF overlong");        // not UTF-8 a parser takes
             AddDocument(f, "forms/Obj5", "<![CDATA[x]]>");
             AddDocument(f, "forms/R&D \"1\"<2>");
             AddDocument(f, "forms/line\nbreak");                      // XML cannot carry it
             AddDocument(f, "forms/caf\xE9");                          // not UTF-8: one character a byte
         },
         TemplateWith("   <db:forms>\n" + Component("Obj1", "forms/Obj1") +
                      Component("a&quot; b=&quot;&lt;&amp;&gt;", "forms/Obj2") + Component("Obj3", "forms/Obj3") +
                      Component("Obj4", "forms/Obj4") + Component("Obj5", "forms/Obj5") +
                      Component("R&amp;D &quot;1&quot;&lt;2&gt;", "forms/R&amp;D &quot;1&quot;&lt;2&gt;") +
                      Component("caf\xC3\xA9", "forms/caf\xC3\xA9") + "   </db:forms>\n"),
         1},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        c.fill(folder);
        std::vector<PackageDocument> listed;
        EXPECT_EQ(RegenerateContentXml(folder.path(), &listed), ContentXmlAction::WroteTemplate) << c.label;
        EXPECT_EQ(ReadFile(folder / "content.xml"), c.expected) << c.label;
        // What the caller is told matches what was written: one component per document,
        // and the names that came from titles.
        std::size_t components = 0;
        for (auto at = c.expected.find("<db:component "); at != std::string::npos; at = c.expected.find("<db:component ", at + 1))
            ++components;
        EXPECT_EQ(listed.size(), components) << c.label;
        EXPECT_EQ(std::count_if(listed.begin(), listed.end(), [](const PackageDocument& d) { return d.nameFromTitle; }),
                  c.fromTitles)
            << c.label;
    }
}

TEST(ContentXml, LogTextNamesTheFirstDocumentsAndCountsTheRest)
{
    std::vector<PackageDocument> documents = {{DocumentKind::Form, "forms/Obj1", "Entry form", true},
                                              {DocumentKind::Report, "reports/Obj2", "Obj2", false}};
    EXPECT_EQ(DescribeDocuments(documents), "form \"Entry form\" (forms/Obj1), report \"Obj2\" (reports/Obj2)");
    for (int i = 3; i <= 25; ++i)
        documents.push_back({DocumentKind::Form, "forms/Obj" + std::to_string(i), "Obj" + std::to_string(i), false});
    const std::string text = DescribeDocuments(documents);
    EXPECT_NE(text.find("(forms/Obj20) and 5 more"), std::string::npos) << text;
    EXPECT_EQ(text.find("Obj21"), std::string::npos) << text;
}

} // namespace
} // namespace tavrin
