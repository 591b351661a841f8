#include "html/HtmlTokenizer.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace tavrin;

namespace {

// "T:" for a text token, "<name>" / "</name>" for tags.
QStringList Tokens(const QString& text)
{
    QStringList out;
    CHtmlTokenizer tokens(text);
    for (auto kind = tokens.Next(); kind != CHtmlTokenizer::Kind::End; kind = tokens.Next()) {
        if (kind == CHtmlTokenizer::Kind::Text)
            out << "T:" + tokens.Text();
        else
            out << (tokens.Tag().closing ? "</" : "<") + tokens.Tag().name + ">";
    }
    return out;
}

TEST(HtmlTokenizer, SplitsTextAndTagsWithEscapedAngles)
{
    const struct {
        const char* text;
        QStringList expected;
    } cases[] = {
        {"a <<b> c", {"T:a <b> c"}},
        {"x<b>y</b>", {"T:x", "<b>", "T:y", "</b>"}},
        {"<B>up</B>", {"<B>", "T:up", "</B>"}},       // names stay as written
        {"  two  spaces ", {"T:  two  spaces "}},     // blanks are kept
        {"a<b c", {"T:a", "T:b c"}},                  // an unclosed "<" is dropped
        {"<br=2>", {"<br>"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tokens(QString::fromLatin1(c.text)), c.expected) << c.text;
}

TEST(HtmlTokenizer, AttributesQuotedBareAndEmpty)
{
    const HtmlTag tag = CHtmlTokenizer::ParseTag("a href='C:\\Out dir' msg=\"say \"hi\" bare=1 flag");
    EXPECT_EQ(tag.name, "a");
    EXPECT_EQ(tag.Attribute("href"), "C:\\Out dir");
    EXPECT_EQ(tag.Attribute("msg"), "say ");
    EXPECT_TRUE(tag.Has("flag"));
    EXPECT_EQ(tag.Attribute("flag"), "");
    EXPECT_FALSE(tag.Has("Href"));

    EXPECT_EQ(CHtmlTokenizer::ParseTag("br=3").Count(), 3);
    EXPECT_EQ(CHtmlTokenizer::ParseTag("t").Count(), 1);
    EXPECT_EQ(CHtmlTokenizer::ParseTag("t=0").Count(), 1);
    const HtmlTag closing = CHtmlTokenizer::ParseTag("/font");
    EXPECT_TRUE(closing.closing);
    EXPECT_EQ(closing.name, "font");
}

TEST(HtmlTokenizer, BlocksCutTopLevelTablesOutOfTheFlow)
{
    const auto blocks = CHtmlTokenizer::SplitBlocks(
        "before<table><tr><td><table><tr><td>in</td></tr></table></td></tr></table>after<<table>x<table>open");
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_FALSE(blocks[0].isTable);
    EXPECT_EQ(blocks[0].text, "before");
    EXPECT_TRUE(blocks[1].isTable);
    EXPECT_TRUE(blocks[1].text.endsWith("</td></tr></table>"));
    EXPECT_TRUE(blocks[1].text.contains("<td>in</td>"));
    EXPECT_EQ(blocks[2].text, "after<<table>x"); // the escaped one is text
    EXPECT_TRUE(blocks[3].isTable);
    EXPECT_EQ(blocks[3].text, "<table>open");    // a missing end takes the rest
}

} // namespace
