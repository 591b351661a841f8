#include "engine/ContentXml.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(ContentXml, MissingFolderFails)
{
    TempFolder folder;
    EXPECT_EQ(RegenerateContentXml(folder / "gone"), ContentXmlAction::Failed);
    EXPECT_FALSE(Exists(folder / "gone"));
}

} // namespace
} // namespace tavrin
