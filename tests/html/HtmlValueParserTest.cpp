#include "html/HtmlColorTable.h"
#include "html/HtmlValueParser.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

struct SizeCase {
    const char* text;
    int current;
    bool fontSize;
    int expected;
};

TEST(HtmlValueParser, SizesWithUnitsPercentagesAndClassicFontSizes)
{
    const HtmlSizeMetrics metrics{7, 15, 96};
    const SizeCase cases[] = {
        {"", 21, false, 21},       // empty keeps the current value
        {"10pt", 0, true, 13},     // 960 / 72, truncated
        {"12px", 0, false, 12},    {"2ex", 0, false, 14},    {"2em", 0, false, 30},
        {"1in", 0, false, 96},     {"1cm", 0, false, 37},    {"10mm", 0, false, 37},
        {"1pc", 0, false, 16},     {"65%", 13, true, 8},     // MulDiv rounds: 8.45
        {"50%", 15, false, 8},     // 7.5 rounds away from zero
        {"125%", 16, true, 20},
        {"3", 0, true, 12},        {"1", 0, true, 8},         {"7", 0, true, 36},
        {"9", 0, true, 9},         {"0x10", 0, true, 16},     {"010", 0, false, 8},
        {"3", 0, false, 3},        // classic sizes only in font-size mode
        {"+2", 5, true, 10},       {"-4px", 5, false, 4},     // sign dropped, no relative meaning
    };
    for (const SizeCase& c : cases)
        EXPECT_EQ(CHtmlValueParser::ParseSize(QString::fromLatin1(c.text), c.current, c.fontSize, metrics), c.expected)
            << c.text;
}

TEST(HtmlValueParser, ColoursByHexNumberAndName)
{
    const CHtmlColorTable colors;
    const HtmlColor current = HtmlRgb(1, 2, 3);
    struct Case {
        const char* text;
        HtmlColor expected;
    } cases[] = {
        {"#ff9900", HtmlRgb(255, 153, 0)},
        {"#FF9900", HtmlRgb(255, 153, 0)},
        {"#f90", current},          // only six digits are a colour
        {"#ff99001", current},
        {"#gg9900", current},
        {"255", 0x0000FF},          // a raw 0x00BBGGRR number: red
        {"0xff0000", HtmlRgb(0, 0, 255)},
        {"navy", HtmlRgb(0, 0, 128)},
        {"darkseagreen", HtmlRgb(0x8F, 0xBC, 0x8B)},
        {"lightgrey", HtmlRgb(0xD3, 0xD3, 0xD3)},
        {"lightgray", current},     // only the "grey" spelling exists
        {"Red", current},           // names are case-sensitive
        {"", current},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CHtmlValueParser::ParseColor(QString::fromLatin1(c.text), current, colors), c.expected) << c.text;
}

TEST(HtmlValueParser, EffectNamesAndNumbers)
{
    EXPECT_EQ(CHtmlValueParser::ParseEffect("vbump", 3), 12);
    EXPECT_EQ(CHtmlValueParser::ParseEffect("transparent", 3), -1);
    EXPECT_EQ(CHtmlValueParser::ParseEffect("3vgradient", 0), 6);
    EXPECT_EQ(CHtmlValueParser::ParseEffect("metal", 0), 15);
    EXPECT_EQ(CHtmlValueParser::ParseEffect("", 5), 5);
    EXPECT_EQ(CHtmlValueParser::ParseEffect("9", 0), 9);
}

TEST(HtmlValueParser, FontStyleLettersSwitchFlagsOnAndOff)
{
    CHtmlStyle style;
    style.italic = true;
    CHtmlValueParser::ParseFontStyleLetters("b-i", style);
    EXPECT_EQ(style.fontWeight, 700);
    EXPECT_FALSE(style.italic);

    CHtmlValueParser::ParseFontStyleLetters("-bu+so", style);
    EXPECT_EQ(style.fontWeight, 400);
    EXPECT_TRUE(style.underline); // the flag is on again after each letter
    EXPECT_TRUE(style.strikeout);
    EXPECT_TRUE(style.overline);
}

TEST(HtmlValueParser, ImageStyleLettersNeedShadowOffsetsForTheShadowBit)
{
    EXPECT_EQ(CHtmlValueParser::ParseImageStyleLetters("", true, true), 0u);
    EXPECT_EQ(CHtmlValueParser::ParseImageStyleLetters("gdl", true, true), 7u);
    EXPECT_EQ(CHtmlValueParser::ParseImageStyleLetters("s", true, true), 0x200u);
    EXPECT_EQ(CHtmlValueParser::ParseImageStyleLetters("s", true, false), 0x100u);
    EXPECT_EQ(CHtmlValueParser::ParseImageStyleLetters("gs", false, true), 1u);
    EXPECT_TRUE(CHtmlValueParser::IsPercent("50%"));
    EXPECT_FALSE(CHtmlValueParser::IsPercent("50"));
    EXPECT_FALSE(CHtmlValueParser::IsPercent(""));
}

TEST(HtmlColorTable, HoldsTheCssAndSystemNamesAndAcceptsReplacements)
{
    CHtmlColorTable colors;
    EXPECT_EQ(colors.Count(), 168);
    for (const char* name : {"buttonface", "windowtext", "infobackground", "threeddarkshadow", "aliceblue"})
        EXPECT_TRUE(colors.Find(QString::fromLatin1(name)).has_value()) << name;
    for (const char* name : {"grey", "darkgrey", "dimgrey", "slategrey", "lightslategrey", "darkslategrey"})
        EXPECT_FALSE(colors.Find(QString::fromLatin1(name)).has_value()) << name;
    EXPECT_EQ(colors.GetColorByName("nosuchcolour", 42u), 42u);
    colors.RegisterColor("red", 7);
    EXPECT_EQ(colors.GetColorByName("red", 0), 7u);
}

} // namespace
