#include "html/HtmlDrawer.h"
#include "html/HtmlTable.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

using namespace tavrin;

namespace {

TEST(HtmlTable, SpanningCellsShareTheMissingSize)
{
    const struct {
        std::vector<HtmlTrackClaim> claims;
        bool remainderToLast;
        std::vector<int> expected;
    } cases[] = {
        // colspan 2 over 30 and 50 needing 100: 20 missing, 10 each.
        {{{0, 1, 30, false}, {1, 1, 50, false}, {0, 2, 100, false}}, true, {40, 60}},
        // 21 missing: the odd pixel goes to the last column ...
        {{{0, 1, 30, false}, {1, 1, 50, false}, {0, 2, 101, false}}, true, {40, 61}},
        // ... and to the first row.
        {{{0, 1, 30, false}, {1, 1, 50, false}, {0, 2, 101, false}}, false, {41, 60}},
        // A span that already fits changes nothing.
        {{{0, 1, 30, false}, {1, 1, 50, false}, {0, 2, 70, false}}, true, {30, 50}},
        // Narrow spans are settled before wide ones.
        {{{0, 3, 90, false}, {0, 2, 40, false}, {2, 1, 10, false}}, true, {33, 33, 24}},
    };
    for (const auto& c : cases) {
        std::vector<int> sizes(c.expected.size(), 0);
        CHtmlTable::DistributeClaims(sizes, nullptr, c.claims, c.remainderToLast);
        EXPECT_EQ(sizes, c.expected);
    }

    std::vector<int> widths(3, 0);
    std::vector<bool> fixed(3, false);
    CHtmlTable::DistributeClaims(widths, &fixed, {{0, 1, 42, true}, {1, 2, 60, true}, {1, 1, 5, false}}, true);
    EXPECT_EQ(fixed, std::vector<bool>({true, true, true}));
}

TEST(HtmlTable, OuterExtentCountsSpacingBordersAndOnePixelBetweenCells)
{
    const struct {
        std::vector<int> sizes;
        int spacing;
        int borderStyle;
        int borderWidth;
        int expected;
    } cases[] = {
        {{30, 50}, 0, kBorderNone, 0, 81},       // cellspacing 0 still leaves 1 pixel
        {{30, 50}, 2, kBorderNone, 0, 87},       // 3 spacings + 1
        {{30, 50, 10}, 0, kBorderSolid, 2, 96},  // 2 pixels between, 2 x 2 border
        {{30}, 4, kBorderDouble, 1, 44},         // a double border adds 6
        {{}, 0, kBorderNone, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CHtmlTable::OuterExtent(c.sizes, c.spacing, c.borderStyle, c.borderWidth), c.expected);
}

TEST(HtmlTable, MissingWidthGoesToFreeColumnsOnly)
{
    std::vector<int> widths{42, 100, 10};
    EXPECT_TRUE(CHtmlTable::ShareMissingWidth(widths, {true, false, false}, 51));
    EXPECT_EQ(widths, std::vector<int>({42, 125, 36}));

    std::vector<int> allFixed{42, 100};
    EXPECT_FALSE(CHtmlTable::ShareMissingWidth(allFixed, {true, true}, 50));
    EXPECT_EQ(allFixed, std::vector<int>({42, 100}));
}

TEST(HtmlTable, CellsSkipPositionsCoveredBySpans)
{
    CHtmlTable table;
    // Row 0: A (rowspan 2), B (colspan 2); row 1: C, D.
    table.Place({{{1, 2}, {2, 1}}, {{1, 1}, {1, 1}}});
    EXPECT_EQ(table.columns, 3);
    EXPECT_EQ(table.cellColumns[0], std::vector<int>({0, 1}));
    EXPECT_EQ(table.cellColumns[1], std::vector<int>({1, 2}));
    EXPECT_TRUE(table.grid[1][0].covered);
    EXPECT_TRUE(table.grid[0][2].covered);
}

TEST(HtmlTable, SourceKeepsNestedTablesInsideTheirCell)
{
    const HtmlTableSource source = HtmlTableSource::Parse(
        "<table border=1><tr align=center><td width=5>a<table><tr><td>in</td></tr></table></td><td>b"
        "<tr><td>c</td></tr></table>");
    EXPECT_EQ(source.table.Attribute("border"), "1");
    ASSERT_EQ(source.rows.size(), 2u);
    ASSERT_EQ(source.rows[0].cells.size(), 2u);
    EXPECT_EQ(source.rows[0].tag.Attribute("align"), "center");
    EXPECT_EQ(source.rows[0].cells[0].content, "a<table><tr><td>in</td></tr></table>");
    EXPECT_EQ(source.rows[0].cells[1].content, "b"); // ended by the next row
    EXPECT_EQ(source.rows[1].cells[0].content, "c");
}

class HtmlTableLayout : public ::testing::Test {
protected:
    QImage Render(const QString& html, int width)
    {
        QImage probe(1, 1, QImage::Format_RGB32);
        measured = drawer.MeasureHtml(&probe, html);
        QImage image(width, measured.height(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        drawer.DrawMeasured(painter, QRect(0, 0, width, measured.height()));
        return image;
    }
    // The boxes of the last layout: the table's first, then its cells in order.
    std::vector<HtmlBox> Boxes() const
    {
        std::vector<HtmlBox> boxes;
        for (const HtmlLayoutItem& item : drawer.Layout().Items())
            if (const auto* box = std::get_if<HtmlBox>(&item))
                boxes.push_back(*box);
        return boxes;
    }
    static bool IsRed(QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60; }
    static bool IsBlue(QRgb pixel) { return qBlue(pixel) > 200 && qRed(pixel) < 60 && qGreen(pixel) < 60; }

    CHtmlDrawer drawer;
    QSize measured;
};

TEST_F(HtmlTableLayout, FixedIconColumnKeepsItsWidthAndTheTextCellTakesTheRest)
{
    const QImage image = Render("<table cellpadding=5><tr><td width=32 bgcolor=blue>&nbsp;</td>"
                                "<td bgcolor=red>Message</td></tr></table>",
                                400);
    ASSERT_EQ(drawer.Tables().size(), 1u);
    const CHtmlTable& table = drawer.Tables().front();
    EXPECT_EQ(table.columnWidths[0], 42); // 32 + 2 x 5
    EXPECT_EQ(table.fixedColumns, std::vector<bool>({true, false}));
    EXPECT_EQ(measured.width() - 1, table.width);
    const std::vector<HtmlBox> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].rect.left(), 0);
    EXPECT_EQ(boxes[1].rect.width(), 42);
    EXPECT_EQ(boxes[2].rect.left(), 43);            // the pixel between cells
    EXPECT_EQ(boxes[2].rect.right(), 399);          // the free column took all the extra width

    // Painted as laid out.
    const int y = image.height() / 2;
    EXPECT_TRUE(IsBlue(image.pixel(0, y)));
    EXPECT_TRUE(IsBlue(image.pixel(41, y)));
    EXPECT_FALSE(IsBlue(image.pixel(42, y)) || IsRed(image.pixel(42, y))); // the pixel between cells
    EXPECT_TRUE(IsRed(image.pixel(43, y)));
    EXPECT_TRUE(IsRed(image.pixel(399, y))); // the free column took all the extra width
}

TEST_F(HtmlTableLayout, AllFixedTableKeepsItsWidthAndFollowsTheAlignment)
{
    Render("<table align=center><tr><td width=16 bgcolor=red></td></tr></table>", 100);
    const std::vector<HtmlBox> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(boxes[0].cell);
    EXPECT_EQ(boxes[0].rect, QRect(40, 0, 20, measured.height() - 1)); // 16 + 2 x padding 2, at (100 - 20) / 2
    EXPECT_TRUE(boxes[1].cell);
    EXPECT_EQ(boxes[1].rect.left(), 40);
    EXPECT_EQ(boxes[1].rect.width(), 20);
    EXPECT_EQ(boxes[1].effect, 0);
    EXPECT_EQ(boxes[1].color1, HtmlRgb(255, 0, 0));
}

TEST_F(HtmlTableLayout, PatternedBordersAreOnePixelAndNestedTablesFollowTheirParent)
{
    Render("<table><tr><td width=10></td></tr></table>", 50);
    const int plain = drawer.Tables().front().width;
    Render("<table border=2 borderstyle=dashed><tr><td width=10></td></tr></table>", 50);
    // The table border is 1 pixel, and so is the border its cells inherit.
    EXPECT_EQ(drawer.Tables().front().width, plain + 2 + 2);
    Render("<table border=2><tr><td width=10></td></tr></table>", 50);
    // A solid table border of 2, and its cells inherit a border of at most 1.
    EXPECT_EQ(drawer.Tables().front().width, plain + 4 + 2);

    // A nested table starts without its parent's border.
    Render("<table border=3 borderstyle=double><tr><td><table><tr><td width=10></td></tr></table></td></tr></table>", 50);
    ASSERT_EQ(drawer.Tables().size(), 2u);
    EXPECT_EQ(drawer.Tables()[1].width, plain);

    Render("<table cellpadding=0><tr><td>x<table cellpadding=0><tr><td width=70></td></tr></table></td></tr></table>"
           "<table><tr><td>after</td></tr></table>",
           200);
    ASSERT_EQ(drawer.Tables().size(), 3u);
    EXPECT_EQ(drawer.Tables()[1].width, 70);     // the nested one, right after its parent
    EXPECT_GE(drawer.Tables()[0].width, 70);
    EXPECT_GT(drawer.Tables()[0].rowHeights[0], drawer.Tables()[1].height);
}

TEST_F(HtmlTableLayout, TextAroundTablesStacksVertically)
{
    Render("above<table><tr><td>cell</td></tr></table>below", 200);
    const auto runs = drawer.Layout().TextRuns();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1]->text, "cell");
    EXPECT_LT(runs[0]->rect.bottom(), runs[1]->rect.top());
    EXPECT_LT(runs[1]->rect.bottom(), runs[2]->rect.top());
    EXPECT_EQ(runs[1]->rect.left(), 2); // default cell padding
}

} // namespace
