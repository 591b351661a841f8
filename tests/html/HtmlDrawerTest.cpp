#include "html/HtmlDrawer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QPainter>
#include <QRegularExpression>

using namespace tavrin;

namespace {

// Measures and draws into a white image of the given width; returns the image.
QImage Render(CHtmlDrawer& drawer, const QString& html, int width = 0)
{
    QImage probe(1, 1, QImage::Format_RGB32);
    const QSize size = drawer.MeasureHtml(&probe, html);
    const int w = width > 0 ? width : std::max(1, size.width());
    QImage image(w, std::max(1, size.height()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawer.DrawMeasured(painter, QRect(0, 0, w, size.height()));
    return image;
}

// The text runs of the kept layout, in order.
std::vector<HtmlTextRun> Runs(const CHtmlDrawer& drawer)
{
    std::vector<HtmlTextRun> runs;
    for (const HtmlTextRun* run : drawer.Layout().TextRuns())
        runs.push_back(*run);
    return runs;
}

std::vector<HtmlRule> Rules(const CHtmlDrawer& drawer)
{
    std::vector<HtmlRule> rules;
    for (const HtmlLayoutItem& item : drawer.Layout().Items())
        if (const auto* rule = std::get_if<HtmlRule>(&item))
            rules.push_back(*rule);
    return rules;
}

// The first run of dark pixels on row y: (first x, length).
std::pair<int, int> DarkSpan(const QImage& image, int y)
{
    int first = -1;
    int length = 0;
    for (int x = 0; x < image.width(); ++x) {
        if (qGray(image.pixel(x, y)) < 128) {
            if (first < 0)
                first = x;
            ++length;
        } else if (first >= 0) {
            break;
        }
    }
    return {first, length};
}

int DarkestRow(const QImage& image)
{
    int best = 0;
    int bestCount = -1;
    for (int y = 0; y < image.height(); ++y) {
        int count = 0;
        for (int x = 0; x < image.width(); ++x)
            count += qGray(image.pixel(x, y)) < 128;
        if (count > bestCount) {
            best = y;
            bestCount = count;
        }
    }
    return best;
}

TEST(HtmlDrawer, PreparesEntitiesAndEscapes)
{
    const struct {
        const char* html;
        bool escapes;
        QString expected;
    } cases[] = {
        {"a\r\nb\tc", true, "a<br>b<t>c"},
        {"a\r\nb\tc", false, "abc"},
        {"&amp;lt;", true, "<<"},           // "&amp;" runs before "&lt;"
        {"&lt;b&gt;", true, "<<b>"},
        {"&copy;&euro;&nbsp;&trade;", true, QString::fromUtf16(u"\u00A9\u20AC \u2122")},
        {"&AMP;&foo;", true, "&AMP;&foo;"}, // case-sensitive; unknown ones stay
    };
    for (const auto& c : cases)
        EXPECT_EQ(CHtmlDrawer::PrepareText(QString::fromLatin1(c.html), c.escapes), c.expected) << c.html;
}

TEST(HtmlDrawer, StyleTagsNestAndUnmatchedClosingTagsAreIgnored)
{
    CHtmlDrawer drawer;
    Render(drawer, "a <<b> c|<b><b>x</b></b>y</b>z|<i>p</b>q</i>r|<font size=3 color=#ff0000>f</font>"
                   "<font size=0x10 style=b-i>g</font>");
    const auto runs = Runs(drawer);
    QStringList texts;
    for (const auto& run : runs)
        texts << run.text;
    ASSERT_EQ(texts, QStringList({"a <b> c|", "x", "y", "z|", "p", "q", "r|", "f", "g"}));
    EXPECT_EQ(runs[1].style.fontWeight, 900);  // doubled, at most 900
    EXPECT_EQ(runs[2].style.fontWeight, 400);  // back to the body's
    EXPECT_EQ(runs[3].style.fontWeight, 400);  // a stray </b> changes nothing
    EXPECT_TRUE(runs[5].style.italic);         // </b> inside <i> is ignored
    EXPECT_FALSE(runs[6].style.italic);
    EXPECT_EQ(runs[7].style.fontSize, 12);
    EXPECT_EQ(runs[7].style.textColor, HtmlRgb(255, 0, 0));
    EXPECT_EQ(runs[8].style.fontSize, 16);
    EXPECT_EQ(runs[8].style.fontWeight, 700);
    EXPECT_EQ(runs[0].style.fontSize, 13);     // body: 10pt at 96 dpi
}

TEST(HtmlDrawer, LineEndsBreakOnlyWithEscapeSequences)
{
    CHtmlDrawer drawer;
    Render(drawer, "line1\nline2");
    ASSERT_EQ(Runs(drawer).size(), 2u);
    EXPECT_GT(Runs(drawer)[1].rect.top(), Runs(drawer)[0].rect.top());
    EXPECT_EQ(drawer.Lines().size(), 2u);

    drawer.SetEscapeSequences(false);
    Render(drawer, "line1\nline2");
    ASSERT_EQ(Runs(drawer).size(), 1u);
    EXPECT_EQ(Runs(drawer)[0].text, "line1line2");
}

TEST(HtmlDrawer, FinalLineBreakAddsNoHeightButDoubleBreaksDo)
{
    CHtmlDrawer drawer;
    QImage probe(1, 1, QImage::Format_RGB32);
    const QSize plain = drawer.MeasureHtml(&probe, "An error text.");
    EXPECT_EQ(drawer.MeasureHtml(&probe, "An error text.\r\n"), plain);
    const QSize two = drawer.MeasureHtml(&probe, "An error text.<br=2>more");
    const int lineHeight = plain.height() - 1;
    EXPECT_EQ(two.height() - 1, 3 * lineHeight);
    EXPECT_EQ(drawer.MeasureHtml(&probe, ""), QSize(0, 0));
}

TEST(HtmlDrawer, WrapsOnlyWithAMaximumWidth)
{
    const QString sentence = "This sentence is long enough to need several lines in a narrow box.";
    CHtmlDrawer drawer;
    QImage probe(1, 1, QImage::Format_RGB32);
    const QSize oneLine = drawer.MeasureHtml(&probe, sentence);
    EXPECT_EQ(drawer.Lines().size(), 1u);
    EXPECT_GT(oneLine.width(), 200);

    drawer.SetMaxWidth(120);
    const QSize wrapped = drawer.MeasureHtml(&probe, sentence);
    EXPECT_GT(drawer.Lines().size(), 2u);
    EXPECT_LE(wrapped.width(), 120);
    for (const HtmlLineRecord& line : drawer.Lines())
        EXPECT_LE(line.width, 120);
    EXPECT_TRUE(drawer.Lines().front().wrapped);
    EXPECT_FALSE(drawer.Lines().back().wrapped);

    // Whatever the width, every letter is placed once, in order, and lines break only
    // after a break character unless a word has to be cut.
    const QString texts[] = {"alpha beta-gamma,delta;epsilon (zeta) eta?theta", "  leading blanks then words",
                             "<b>bold</b>   spaced  <i>italic words here</i> end."};
    for (const QString& text : texts) {
        for (const int width : {40, 75, 130}) {
            drawer.SetMaxWidth(width);
            Render(drawer, text, width);
            QString placed;
            for (const auto& run : Runs(drawer)) {
                placed += run.text;
                EXPECT_LE(run.rect.left() + run.rect.width(), width) << run.text.toStdString();
            }
            QString expected = text;
            expected.remove(QRegularExpression("<[^>]*>"));
            EXPECT_EQ(placed.remove(' '), expected.remove(' ')) << width << " " << text.toStdString();
        }
    }

    // A word longer than the line is cut, never lost.
    drawer.SetMaxWidth(30);
    Render(drawer, "Abcdefghijklmnop");
    QString joined;
    for (const auto& run : Runs(drawer))
        joined += run.text;
    EXPECT_EQ(joined, "Abcdefghijklmnop");
    EXPECT_GT(Runs(drawer).size(), 1u);

    // So is a long path without a break character, line after line, each within the width.
    QString path;
    for (int i = 0; i < 150; ++i)
        path += QStringLiteral("/folder%1").arg(i);
    Render(drawer, path, 30);
    joined.clear();
    for (const auto& run : Runs(drawer)) {
        joined += run.text;
        EXPECT_LE(run.rect.width(), 30) << run.text.toStdString();
    }
    EXPECT_EQ(joined, path);
    EXPECT_GT(drawer.Lines().size(), 100u);
}

TEST(HtmlDrawer, TabsStopOnMultiplesOfTheTabSize)
{
    CHtmlDrawer drawer;
    QImage probe(1, 1, QImage::Format_RGB32);
    // Pixel-wide rules make the pen positions independent of any font.
    const struct {
        const char* html;
        int tabSize;
        int width;
    } cases[] = {
        {"<hr width=40><t><hr width=10>", 32, 74},
        {"<hr width=40><t=2><hr width=10>", 32, 106},
        {"<hr width=64><t><hr width=10>", 32, 106},  // on a stop: a full step
        {"<hr width=40>\t<hr width=10>", 50, 60},
    };
    for (const auto& c : cases) {
        drawer.SetTabSize(c.tabSize);
        EXPECT_EQ(drawer.MeasureHtml(&probe, c.html).width() - 1, c.width) << c.html;
    }
}

TEST(HtmlDrawer, PercentageRuleTakesItsShareOfTheDrawingArea)
{
    CHtmlDrawer drawer;
    Render(drawer, "<hr width=50%>", 200);
    ASSERT_EQ(Rules(drawer).size(), 1u);
    EXPECT_EQ(Rules(drawer)[0].rect.left(), 0);
    EXPECT_EQ(Rules(drawer)[0].rect.width(), 100);

    Render(drawer, "<center><hr width=50% size=2></center>", 200);
    ASSERT_EQ(Rules(drawer).size(), 1u);
    EXPECT_EQ(Rules(drawer)[0].rect.width(), 100);
    EXPECT_EQ(Rules(drawer)[0].rect.left(), 49); // the rule counts 1 pixel of its own besides its share: (200 - 101) / 2
    EXPECT_EQ(Rules(drawer)[0].thickness, 2);
    EXPECT_GE(drawer.Lines().front().height, 10); // thickness + 8
}

// The rule as painted: a line of its thickness across its width, at half the line height.
TEST(HtmlDrawer, RulesArePaintedWhereTheLayoutPutsThem)
{
    CHtmlDrawer drawer;
    const QImage image = Render(drawer, "<center><hr width=50% size=2></center>", 200);
    const HtmlRule rule = Rules(drawer).at(0);
    const int row = DarkestRow(image);
    const auto [first, length] = DarkSpan(image, row);
    EXPECT_EQ(first, rule.rect.left());
    EXPECT_EQ(length, rule.rect.width());
    EXPECT_LE(std::abs(row - rule.rect.top()), 1);
}

TEST(HtmlDrawer, AlignmentShiftsLinesInTheDrawingArea)
{
    CHtmlDrawer drawer;
    for (const auto& [tag, expected] : {std::pair{"left", 0}, std::pair{"center", 45}, std::pair{"right", 90}}) {
        const QString html = QString("<%1><hr width=10></%1>").arg(tag);
        Render(drawer, html, 100);
        ASSERT_EQ(Rules(drawer).size(), 1u) << tag;
        EXPECT_EQ(Rules(drawer)[0].rect.left(), expected) << tag;
    }
}

TEST(HtmlDrawer, JustifiedWrappedLinesFillTheAreaAndTheLastLineDoesNot)
{
    CHtmlDrawer drawer;
    drawer.SetMaxWidth(150);
    Render(drawer, "<justify>aaa bbb ccc ddd eee fff ggg hhh iii jjj kkk lll mmm nnn ooo ppp qqq rrr sss ttt uuu vvv www</justify>", 150);
    const auto runs = Runs(drawer);
    ASSERT_GE(runs.size(), 3u);
    for (size_t i = 0; i + 1 < runs.size(); ++i)
        EXPECT_EQ(runs[i].rect.left() + runs[i].rect.width(), 150) << runs[i].text.toStdString();
    EXPECT_LT(runs.back().rect.left() + runs.back().rect.width(), 150);
}

TEST(HtmlDrawer, TextTransformAndClassRules)
{
    CHtmlDrawer drawer;
    drawer.SetCssStyles(".up {text-transform:uppercase} .cap {text-transform:capitalize; color:#00ff00}"
                        " .low {text-transform:lowercase}");
    Render(drawer, "<span class=up>abc</span><span class=cap>hello wORLD-x</span><span class=low>MiXed</span>"
                   "<span class=nosuch>same</span>");
    QStringList texts;
    for (const auto& run : Runs(drawer))
        texts << run.text;
    EXPECT_EQ(texts, QStringList({"ABC", "Hello World-x", "mixed", "same"}));
    EXPECT_EQ(Runs(drawer)[1].style.textColor, HtmlRgb(0, 255, 0));
    EXPECT_EQ(Runs(drawer)[0].style.fontSize, 16); // a sheet without "body" keeps the record's defaults
}

TEST(HtmlDrawer, DisabledTextUsesTheDisabledColourAndNoBackgrounds)
{
    CHtmlDrawer drawer;
    drawer.SetEnabled(false);
    drawer.SetDisabledColor(HtmlRgb(1, 2, 3));
    Render(drawer, "plain <font color=red bkgnd=yellow>font</font> <a href='x'>link</a> <pre>pre</pre>");
    for (const auto& run : Runs(drawer)) {
        EXPECT_EQ(run.style.textColor, HtmlRgb(1, 2, 3)) << run.text.toStdString();
        EXPECT_EQ(run.style.backMode, kBackTransparent) << run.text.toStdString();
    }
}

TEST(HtmlDrawer, SuperscriptsSitAtTheLineTopAndSubscriptsAtItsBottom)
{
    CHtmlDrawer drawer;
    Render(drawer, "x<sup>2</sup>y<sub>3</sub>");
    const auto runs = Runs(drawer);
    ASSERT_EQ(runs.size(), 4u);
    ASSERT_EQ(drawer.Lines().size(), 1u);
    const HtmlLineRecord& line = drawer.Lines().front();
    EXPECT_LT(runs[1].rect.height(), runs[0].rect.height()); // 65 %
    EXPECT_EQ(runs[1].rect.top(), 0);
    EXPECT_EQ(runs[0].rect.top(), runs[2].rect.top());
    // The subscript's baseline is on the line's bottom, below the others' baseline.
    EXPECT_GT(runs[3].rect.top(), runs[0].rect.top());
    EXPECT_LE(runs[0].rect.top() + runs[0].rect.height(), line.height);
}

TEST(HtmlDrawer, HostileValuesStayBounded)
{
    CHtmlDrawer drawer;
    QImage probe(1, 1, QImage::Format_RGB32);
    QString deep;
    for (int i = 0; i < 200; ++i)
        deep += "<table><tr><td>";
    const QString cases[] = {
        "<t=2000000000>x",
        "<br=2000000000>x",
        "<font size=99999999px>x</font>",
        "<hr width=2147483647 size=99999>",
        "<table cellspacing=99999999 cellpadding=99999999><tr><td colspan=99999999 width=99999999>x</td></tr></table>",
        deep + "x",
    };
    for (const QString& html : cases) {
        const QSize size = drawer.MeasureHtml(&probe, html);
        EXPECT_GT(size.width(), 0) << html.left(60).toStdString();
        EXPECT_LT(size.width(), 1 << 24) << html.left(60).toStdString();
        EXPECT_LT(size.height(), 1 << 24) << html.left(60).toStdString();
    }

    // Percentage rules add up on their line: the sum stays a share the drawing can use.
    drawer.MeasureHtml(&probe, "<hr width=2000000000%><hr width=2000000000%><hr width=-50%>x");
    ASSERT_EQ(drawer.Lines().size(), 1u);
    EXPECT_GE(drawer.Lines().front().widthPercent, 0);
    EXPECT_LE(drawer.Lines().front().widthPercent, 1000);
}

TEST(HtmlDrawer, StringTagsReadTextFromTheResourceRoot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath("string"));
    QFile file(dir.filePath("string/12.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("From a resource");
    file.close();

    CHtmlDrawer drawer;
    drawer.SetResourceRoot(dir.path());
    Render(drawer, "[<string iddll=12>][<string iddll=13>][<string iddll=0xC>]");
    QStringList texts;
    for (const auto& run : Runs(drawer))
        texts << run.text;
    EXPECT_EQ(texts, QStringList({"[", "From a resource", "][", "][", "From a resource", "]"}));
}

class HtmlDrawerLinks : public ::testing::Test {
protected:
    void SetUp() override
    {
        drawer.SetOpenLinkNotification([this](const QString& target) { opened << target; });
        drawer.SetRepaintNotification([this](int hovered) { repaints.push_back(hovered); });
        drawer.SetLinkMessageNotification([this](const QString& message) { messages << message; });
        Render(drawer, "Saved to:<br><a href='/tmp/Out'>/tmp/Out</a> and <a msg=\"again\">again</a>");
    }

    QPoint Centre(int link) const
    {
        for (const HtmlLinkArea& area : drawer.LinkAreas())
            if (area.number == link)
                return area.rect.center();
        ADD_FAILURE() << "no area for link " << link;
        return {};
    }
    HtmlTextRun LinkRun() const
    {
        for (const auto& run : Runs(drawer))
            if (run.text == "/tmp/Out")
                return run;
        ADD_FAILURE() << "link text not laid out";
        return {};
    }

    CHtmlDrawer drawer;
    QStringList opened;
    QStringList messages;
    std::vector<int> repaints;
};

TEST_F(HtmlDrawerLinks, HoverNotifiesOncePerChange)
{
    const QPoint first = Centre(1);
    EXPECT_TRUE(drawer.UpdateHoverAndCursor(first));
    EXPECT_TRUE(drawer.UpdateHoverAndCursor(first + QPoint(1, 0)));
    EXPECT_EQ(repaints, std::vector<int>({1}));
    EXPECT_TRUE(drawer.UpdateHoverAndCursor(Centre(2)));
    EXPECT_FALSE(drawer.UpdateHoverAndCursor(QPoint(-50, -50)));
    EXPECT_FALSE(drawer.UpdateHoverAndCursor(QPoint(-60, -50)));
    EXPECT_EQ(repaints, std::vector<int>({1, 2, CHtmlDrawer::kNoHover}));
}

TEST_F(HtmlDrawerLinks, LinkRunsCarryTheirHoverLookAndKeepTheirPlace)
{
    const HtmlTextRun run = LinkRun();
    EXPECT_EQ(run.linkNumber, 1);
    EXPECT_FALSE(run.style.underline);
    EXPECT_EQ(run.style.textColor, HtmlRgb(0, 0, 255));
    EXPECT_TRUE(run.hotStyle.underline);
    EXPECT_TRUE(run.hotFont.underline());
    EXPECT_TRUE(run.StyleFor(1).underline);
    EXPECT_FALSE(run.StyleFor(2).underline);
    EXPECT_EQ(Runs(drawer).front().linkNumber, 0);

    // Hovering and painting again lays nothing out: the same runs at the same places.
    const std::vector<HtmlLinkArea> areas = drawer.LinkAreas();
    drawer.UpdateHoverAndCursor(Centre(1));
    QImage image(400, 100, QImage::Format_RGB32);
    QPainter painter(&image);
    drawer.DrawMeasured(painter, QRect(0, 0, drawer.Layout().Width(), 100));
    EXPECT_EQ(LinkRun().rect, run.rect);
    ASSERT_EQ(drawer.LinkAreas().size(), areas.size());
    for (size_t i = 0; i < areas.size(); ++i)
        EXPECT_EQ(drawer.LinkAreas()[i].rect, areas[i].rect);
}

// What painting adds to the layout: the hovered link is underlined, the others not.
TEST_F(HtmlDrawerLinks, HoveredLinkIsPaintedUnderlined)
{
    const QRect box = LinkRun().rect;
    const auto paint = [this] {
        QImage image(400, 60, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        drawer.DrawMeasured(painter, QRect(0, 0, drawer.Layout().Width(), 60));
        return image;
    };
    const auto blueRows = [&](const QImage& image) {
        int rows = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            int blue = 0;
            for (int x = box.left(); x <= box.right(); ++x)
                blue += qBlue(image.pixel(x, y)) > 150 && qRed(image.pixel(x, y)) < 100;
            rows += blue > box.width() * 3 / 4; // only an underline fills most of a row
        }
        return rows;
    };
    EXPECT_EQ(blueRows(paint()), 0);
    drawer.UpdateHoverAndCursor(Centre(1));
    EXPECT_GE(blueRows(paint()), 1);
    drawer.UpdateHoverAndCursor(QPoint(-5, -5));
    EXPECT_EQ(blueRows(paint()), 0);
}

TEST_F(HtmlDrawerLinks, ClicksHandHrefTargetsAndMessagesToTheOwner)
{
    drawer.ClickAt(Centre(1));
    EXPECT_EQ(opened, QStringList({"/tmp/Out"}));
    drawer.ClickAt(Centre(2));
    EXPECT_EQ(messages, QStringList({"again"}));
    drawer.ClickAt(QPoint(-10, -10));
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(HtmlDrawerLinks, LinkAreasFollowWhereTheTextIsDrawn)
{
    const QPoint before = Centre(1);
    QImage image(500, 100, QImage::Format_RGB32);
    QPainter painter(&image);
    drawer.DrawMeasured(painter, QRect(30, 20, drawer.Layout().Width(), 60));
    EXPECT_EQ(Centre(1), before + QPoint(30, 20));
    drawer.ClickAt(before + QPoint(30, 20));
    EXPECT_EQ(opened, QStringList({"/tmp/Out"}));
}

// The layout is made again only for a new text, option or width.
TEST(HtmlDrawer, LaysOutAgainOnlyWhenTextOptionsOrWidthChange)
{
    CHtmlDrawer drawer;
    QImage image(300, 200, QImage::Format_RGB32);
    QPainter painter(&image);
    const QString text = "<center>one two three four five six seven</center>";
    QImage probe(1, 1, QImage::Format_RGB32);
    drawer.MeasureHtml(&probe, text);
    drawer.DrawMeasured(painter, QRect(0, 0, 300, 100));
    EXPECT_EQ(drawer.Layout().Width(), 300);
    const int centredAt300 = Runs(drawer).at(0).rect.left();
    drawer.DrawMeasured(painter, QRect(0, 0, 200, 100));
    EXPECT_EQ(drawer.Layout().Width(), 200);
    EXPECT_LT(Runs(drawer).at(0).rect.left(), centredAt300);
    EXPECT_EQ(drawer.Lines().size(), 1u);

    drawer.SetMaxWidth(80);
    drawer.DrawMeasured(painter, QRect(0, 0, 200, 100));
    EXPECT_GT(drawer.Lines().size(), 1u) << "a new wrapping width lays the text out again";
}

} // namespace

namespace {

TEST(HtmlDrawerLinksInTables, SaveReportLinkInsideTheIconTableIsHandedToTheOwner)
{
    QStringList opened;
    CHtmlDrawer drawer;
    drawer.SetOpenLinkNotification([&](const QString& target) { opened << target; });
    Render(drawer, "<table cellpadding=5><tr><td width=32></td><td>"
                   "File(s) saving process has been completed.Saved file(s) location is:<br>"
                   "<a href='/home/user/Repaired files'>/home/user/Repaired files</a>"
                   "</td></tr></table>",
           600);
    ASSERT_EQ(drawer.LinkAreas().size(), 1u);
    const QRect area = drawer.LinkAreas()[0].rect;
    EXPECT_GE(area.left(), 42 + 1 + 5); // icon column, the pixel between cells, padding
    EXPECT_TRUE(drawer.UpdateHoverAndCursor(area.center()));
    drawer.ClickAt(area.center());
    EXPECT_EQ(opened, QStringList({"/home/user/Repaired files"}));
}

// The save report escapes "&" and picks the quote the folder does not hold; the link
// must still name exactly the folder that was typed.
TEST(HtmlDrawerLinksInTables, EscapedFolderLinksNameTheFolderAsTyped)
{
    for (const auto& [html, folder] : std::vector<std::pair<const char*, const char*>>{
             {"<a href='/srv/R&amp;D/'>/srv/R&amp;D/</a>", "/srv/R&D/"},
             {"<a href=\"/home/John's/\">/home/John's/</a>", "/home/John's/"},
         }) {
        SCOPED_TRACE(html);
        QStringList opened;
        CHtmlDrawer drawer;
        drawer.SetOpenLinkNotification([&](const QString& target) { opened << target; });
        Render(drawer, html, 600);
        ASSERT_EQ(drawer.LinkAreas().size(), 1u);
        drawer.ClickAt(drawer.LinkAreas()[0].rect.center());
        EXPECT_EQ(opened, QStringList({QString::fromUtf8(folder)}));
    }
}

} // namespace
