#include "html/HtmlFontMaker.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>

using namespace tavrin;

namespace {

CHtmlStyle Style(const QString& family, int size)
{
    CHtmlStyle style;
    style.fontFamily = family;
    style.fontSize = size;
    return style;
}

TEST(HtmlFontMaker, SizeIsTheHeightOfTheWholeCharacterCell)
{
    CHtmlFontMaker fonts;
    for (const int size : {8, 13, 16, 24, 40}) {
        const QFontMetrics metrics(fonts.MakeFont(Style(QStringLiteral("Verdana"), size)));
        EXPECT_NEAR(metrics.ascent() + metrics.descent(), size, 1) << size;
    }
    // Sizes beyond the bounds are drawn at the nearest one.
    EXPECT_EQ(fonts.MakeFont(Style(QStringLiteral("Verdana"), 0)).pixelSize(),
              fonts.MakeFont(Style(QStringLiteral("Verdana"), 1)).pixelSize());
    EXPECT_EQ(fonts.MakeFont(Style(QStringLiteral("Verdana"), 1 << 30)).pixelSize(),
              fonts.MakeFont(Style(QStringLiteral("Verdana"), CHtmlFontMaker::kMaxCellHeight)).pixelSize());
}

// A family the system lacks is asked for by the family Qt falls back to: the text
// measures exactly as it would under the name the markup gave.
TEST(HtmlFontMaker, MissingFamiliesLookAsQtWouldDrawThem)
{
    CHtmlFontMaker fonts;
    const QString text = QStringLiteral("Saved file(s) location is: /home/user");
    for (const QString& family : {QStringLiteral("No Such Family 4711"), QStringLiteral("Verdana"),
                                  QStringLiteral("Courier"), QStringLiteral("DejaVu Sans")}) {
        const QFont made = fonts.MakeFont(Style(family, 13));
        QFont asked(family);
        asked.setPixelSize(made.pixelSize());
        EXPECT_EQ(QFontInfo(made).family(), QFontInfo(asked).family()) << family.toStdString();
        EXPECT_EQ(QFontMetrics(made).horizontalAdvance(text), QFontMetrics(asked).horizontalAdvance(text))
            << family.toStdString();
    }
}

} // namespace
