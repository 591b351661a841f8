#include "html/HtmlColorTable.h"
#include "html/HtmlStyleSheet.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

class HtmlStyleSheetTest : public ::testing::Test {
protected:
    HtmlApplyContext Context() const
    {
        HtmlApplyContext context;
        context.colors = &colors;
        context.metrics = HtmlSizeMetrics{8, 16, 96};
        return context;
    }
    CHtmlStyle Apply(const QString& body, CHtmlStyle style = {}) const
    {
        CHtmlStyleSheet::ApplyBody(body, style, Context());
        return style;
    }

    CHtmlColorTable colors;
};

TEST_F(HtmlStyleSheetTest, DefaultSheetGivesTheBodyAndHeadingStyles)
{
    CHtmlStyleSheet sheet;
    CHtmlStyle body;
    sheet.ApplyStyle("body", body, Context());
    EXPECT_EQ(body.fontSize, 13);
    EXPECT_EQ(body.fontFamily, "verdana"); // bodies are lower-cased before parsing
    EXPECT_EQ(body.textColor, 0u);

    CHtmlStyle h2 = body;
    sheet.ApplyStyle("h2", h2, Context());
    EXPECT_EQ(h2.fontSize, 17);
    EXPECT_EQ(h2.fontWeight, 700);
    EXPECT_EQ(h2.textColor, HtmlRgb(255, 153, 0));

    CHtmlStyle pre = body;
    sheet.ApplyStyle("pre", pre, Context());
    EXPECT_EQ(pre.fontFamily, "courier"); // quoted value, quotes removed
    EXPECT_EQ(pre.backMode, kBackOpaque);
    EXPECT_EQ(pre.backColor, HtmlRgb(0xfb, 0xed, 0xbb));

    CHtmlStyle sub = body;
    sheet.ApplyStyle("sub", sub, Context());
    EXPECT_EQ(sub.fontSize, 8);
    EXPECT_EQ(sub.verticalAlign, kVAlignBottom);

    CHtmlStyle comment;
    sheet.ApplyStyle(".cpp-comment", comment, Context());
    EXPECT_TRUE(comment.italic);
    EXPECT_EQ(comment.textColor, HtmlRgb(0, 128, 0));

    CHtmlStyle unknown = body;
    sheet.ApplyStyle("table", unknown, Context());
    EXPECT_EQ(unknown, body);
}

TEST_F(HtmlStyleSheetTest, SelectorsAreStoredLowerCasedAndTheLaterBodyWins)
{
    CHtmlStyleSheet sheet;
    sheet.SetCssStyles("A:HOVER{color:red}\n  td {border-width:2} td {margin: 7}\n {empty} x {}");
    EXPECT_EQ(sheet.GetStyleBody("a:hover"), QString("color:red"));
    EXPECT_EQ(sheet.GetStyleBody("A:Hover"), QString("color:red"));
    EXPECT_EQ(sheet.GetStyleBody("td"), QString("margin: 7"));
    EXPECT_FALSE(sheet.GetStyleBody("x").has_value());
    EXPECT_FALSE(sheet.GetStyleBody("body").has_value()); // replaced, not merged

    sheet.SetCssStyles(QString());
    EXPECT_EQ(sheet.SourceText(), CHtmlStyleSheet::DefaultSheet());
    EXPECT_TRUE(sheet.GetStyleBody("a:link").has_value());
}

TEST_F(HtmlStyleSheetTest, FontWeightTransformAndAlignmentKeywords)
{
    EXPECT_EQ(Apply("font-weight:bolder").fontWeight, 900);
    EXPECT_EQ(Apply("font-weight:lighter").fontWeight, 100);
    EXPECT_EQ(Apply("font-weight:600").fontWeight, 600);
    EXPECT_EQ(Apply("font-weight:bold; font-weight:normal").fontWeight, 400);
    EXPECT_EQ(Apply("FONT-WEIGHT : BOLD").fontWeight, 700);
    EXPECT_EQ(Apply("text-transform:capitalize").textTransform, kTransformCapitalize);
    EXPECT_EQ(Apply("text-align:right").textAlign, kAlignRight);
    CHtmlStyle centred;
    centred.textAlign = kAlignCenter;
    EXPECT_EQ(Apply("text-align:middle", centred).textAlign, kAlignCenter); // unknown keeps
    EXPECT_EQ(Apply("vertical-align:vcenter").verticalAlign, kVAlignMiddle);
    EXPECT_TRUE(Apply("font-style:oblique").italic);
    EXPECT_EQ(Apply("color: 255").textColor, 0x0000FFu);
    // A declaration without a colon does not eat the next one.
    EXPECT_EQ(Apply("bogus; color:red").textColor, HtmlRgb(255, 0, 0));
    // Unknown properties change nothing.
    EXPECT_EQ(Apply("letter-spacing: 4px; float: left"), CHtmlStyle{});
}

TEST_F(HtmlStyleSheetTest, TextDecorationIsAListAndEmptyMeansNone)
{
    const CHtmlStyle both = Apply("text-decoration: underline overline");
    EXPECT_TRUE(both.underline);
    EXPECT_TRUE(both.overline);
    EXPECT_FALSE(both.strikeout);

    const CHtmlStyle comma = Apply("text-decoration: line-through,underline");
    EXPECT_TRUE(comma.strikeout);
    EXPECT_TRUE(comma.underline);

    for (const char* body : {"text-decoration:", "text-decoration: none"}) {
        const CHtmlStyle cleared = Apply(body, comma);
        EXPECT_FALSE(cleared.underline || cleared.strikeout || cleared.overline) << body;
    }
}

TEST_F(HtmlStyleSheetTest, BorderWidthAndStyleKeepEachOtherConsistent)
{
    const CHtmlStyle dashed = Apply("border-style: dashed");
    EXPECT_EQ(dashed.borderStyle, kBorderDashed);
    EXPECT_EQ(dashed.borderWidth, 1);

    const CHtmlStyle none = Apply("border-width: 0", dashed);
    EXPECT_EQ(none.borderStyle, kBorderNone);

    const CHtmlStyle solid = Apply("border-width: 4px");
    EXPECT_EQ(solid.borderStyle, kBorderSolid);
    EXPECT_EQ(solid.borderWidth, 4);
    EXPECT_EQ(Apply("border-width: thin", solid).borderWidth, 3);
    EXPECT_EQ(Apply("border-width: thick", solid).borderWidth, 5);
    EXPECT_EQ(Apply("border-width: medium", solid).borderWidth, 4);
    EXPECT_EQ(Apply("size: 2; border-style: double").borderStyle, kBorderDouble);
    EXPECT_EQ(Apply("border-color: red").borderColorDark, HtmlRgb(255, 0, 0));
}

TEST_F(HtmlStyleSheetTest, BackgroundsAndTheDisabledState)
{
    const CHtmlStyle opaque = Apply("background-color: yellow");
    EXPECT_EQ(opaque.backMode, kBackOpaque);
    EXPECT_EQ(opaque.backColor, HtmlRgb(255, 255, 0));
    EXPECT_EQ(Apply("background-color: transparent", opaque).backMode, kBackTransparent);

    HtmlApplyContext disabled = Context();
    disabled.disabled = true;
    disabled.disabledColor = HtmlRgb(9, 9, 9);
    CHtmlStyle style;
    CHtmlStyleSheet::ApplyBody("color:red; background-color:yellow; border-color:blue", style, disabled);
    EXPECT_EQ(style.textColor, HtmlRgb(9, 9, 9));
    EXPECT_EQ(style.borderColorLight, HtmlRgb(9, 9, 9));
    EXPECT_EQ(style.backMode, kBackTransparent);
}

} // namespace
