// The completion estimate and the text over the progress bar, with a clock we set.
#include "controls/EstProgressCtrl.h"
#include "controls/ProgressEstimate.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>

#include <cmath>
#include <vector>

using namespace tavrin::controls;

namespace {

const QDateTime kStart(QDate(2026, 3, 14), QTime(10, 0, 0));

struct Step
{
    double fraction;
    int secondsAfterStart;
};

struct EstimateCase
{
    const char* name;
    std::vector<Step> steps;
    const char* expectedText;
};

class ProgressEstimateCases : public ::testing::TestWithParam<EstimateCase> {};

TEST_P(ProgressEstimateCases, ProjectsFromTheFirstStepAboveZero)
{
    const EstimateCase& c = GetParam();
    ProgressEstimate estimate;
    estimate.Reset();
    for (const Step& step : c.steps)
        estimate.Update(step.fraction, kStart.addSecs(step.secondsAfterStart));
    EXPECT_EQ(estimate.Text(QLocale::c()).toStdString(), c.expectedText);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProgressEstimateCases,
    ::testing::Values(
        EstimateCase{"NothingDoneYet", {{0.0, 0}, {0.0, 30}}, ""},
        EstimateCase{"FirstStepEndsNow", {{0.25, 0}}, "25.00% complete. Estimated completion: 10:00:00"},
        // The clock starts at the first step, so half done 30 s later means 60 s in all.
        EstimateCase{"HalfAfterThirtySeconds", {{0.25, 0}, {0.5, 30}}, "50.00% complete. Estimated completion: 10:01:00"},
        EstimateCase{"StepsBeforeTheFirstDoNotStartTheClock", {{0.0, 0}, {0.0, 50}, {0.2, 60}, {0.4, 100}},
                     "40.00% complete. Estimated completion: 10:02:40"},
        EstimateCase{"SameSecondKeepsTheStart", {{0.1, 5}, {0.3, 5}, {0.6, 5}},
                     "60.00% complete. Estimated completion: 10:00:05"},
        EstimateCase{"AllDoneEndsNow", {{0.1, 0}, {1.0, 120}}, "100.00% complete. Estimated completion: 10:02:00"},
        EstimateCase{"ThirdOfTheRange", {{1.0 / 3.0, 0}}, "33.33% complete. Estimated completion: 10:00:00"},
        // Back to zero without a new range: old completion, current percentage.
        EstimateCase{"BackToZeroKeepsTheCompletion", {{0.25, 0}, {0.5, 30}, {0.0, 40}},
                     "0.00% complete. Estimated completion: 10:01:00"},
        // No meaningful fraction (upper bound 0): the text stays as it was.
        EstimateCase{"UndefinedFractionChangesNothing", {{0.5, 0}, {std::nan(""), 30}},
                     "50.00% complete. Estimated completion: 10:00:00"},
        EstimateCase{"UndefinedFractionAloneGivesNoText", {{std::nan(""), 30}}, ""}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ProgressEstimate, ResetForgetsStartAndEstimate)
{
    ProgressEstimate estimate;
    estimate.Update(0.5, kStart);
    estimate.Update(0.75, kStart.addSecs(30));
    estimate.Reset();
    EXPECT_TRUE(estimate.Text(QLocale::c()).isEmpty());
    // A new first step starts a new clock: no time from before the reset counts.
    estimate.Update(0.5, kStart.addSecs(100));
    EXPECT_EQ(estimate.Text(QLocale::c()), "50.00% complete. Estimated completion: 10:01:40");
    estimate.Update(0.75, kStart.addSecs(130));
    EXPECT_EQ(estimate.Text(QLocale::c()), "75.00% complete. Estimated completion: 10:02:20");
    EXPECT_EQ(estimate.remainingSeconds, 10);
}

TEST(ProgressEstimate, TimeOfDayFollowsTheLocaleWithSecondsAndWithoutZone)
{
    const QDateTime afternoon(QDate(2026, 3, 14), QTime(13, 2, 3));
    struct Case { const char* locale; const char* expected; };
    for (const Case& c : {Case{"C", "13:02:03"}, Case{"en_US", "1:02:03 PM"}, Case{"de_DE", "13:02:03"},
                          Case{"ja_JP", "13時02分03秒"}}) {
        EXPECT_EQ(TimeOfDayText(afternoon, QLocale(QString::fromLatin1(c.locale))), QString::fromUtf8(c.expected))
            << c.locale;
    }
    EXPECT_TRUE(TimeOfDayText(QDateTime(), QLocale::c()).isEmpty());
}

TEST(ProgressEstimate, FractionAndFilledWidth)
{
    EXPECT_DOUBLE_EQ(FractionDone(1, 3), 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(FractionDone(3, 3), 1.0);
    EXPECT_TRUE(std::isnan(FractionDone(0, 0)));
    EXPECT_TRUE(std::isnan(FractionDone(5, 0)));

    struct Case { int width; double fraction; int filled; };
    for (const Case& c : {Case{300, 1.0 / 3.0, 100}, Case{301, 1.0 / 3.0, 100}, Case{7, 0.5, 3},
                          Case{300, 0.0, 0}, Case{300, 1.0, 300}, Case{300, std::nan(""), 0}}) {
        EXPECT_EQ(FilledWidth(c.width, c.fraction), c.filled) << c.width << " " << c.fraction;
    }
}

// The control itself: the estimate is made when the bar paints, from the seam's clock.
class EstProgressCtrlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        bar.resize(300, 20);
        bar.SetClock([this] { return now; });
    }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    void PaintAt(int secondsAfterStart)
    {
        now = kStart.addSecs(secondsAfterStart);
        (void)bar.grab();
    }

    QDateTime now = kStart;
    CEstProgressCtrl bar;
};

TEST_F(EstProgressCtrlTest, TextAppearsAtTheFirstPaintAboveZeroAndFollowsTheClock)
{
    bar.SetRange(0, 4);
    PaintAt(0);
    EXPECT_TRUE(bar.GetEstimateText().isEmpty());

    bar.setValue(1);
    EXPECT_TRUE(bar.GetEstimateText().isEmpty()) << "no estimate before the bar paints";
    PaintAt(20);
    EXPECT_EQ(bar.GetEstimateText(), "25.00% complete. Estimated completion: 10:00:20");

    bar.setValue(2);
    PaintAt(50);
    EXPECT_EQ(bar.GetEstimateText(), "50.00% complete. Estimated completion: 10:01:20");

    bar.setValue(4);
    PaintAt(80);
    EXPECT_EQ(bar.GetEstimateText(), "100.00% complete. Estimated completion: 10:01:20");
}

TEST_F(EstProgressCtrlTest, NewRangeStartsANewEstimate)
{
    bar.SetRange(0, 2);
    bar.setValue(1);
    PaintAt(0);
    bar.setValue(2);
    PaintAt(100);
    ASSERT_FALSE(bar.GetEstimateText().isEmpty());

    bar.SetRange(0, 10);
    EXPECT_EQ(bar.value(), 2);
    EXPECT_TRUE(bar.GetEstimateText().isEmpty());
    PaintAt(200);
    EXPECT_EQ(bar.GetEstimateText(), "20.00% complete. Estimated completion: 10:03:20");
}

TEST_F(EstProgressCtrlTest, PositionStaysInsideTheRange)
{
    bar.SetRange(0, 3);
    bar.setValue(7);
    EXPECT_EQ(bar.value(), 3);
    bar.setValue(-2);
    EXPECT_EQ(bar.value(), 0);
}

TEST_F(EstProgressCtrlTest, ZeroUpperBoundDrawsAnEmptyBarWithoutEstimate)
{
    QPalette colours = bar.palette();
    colours.setColor(QPalette::Button, QColor(200, 200, 200));
    colours.setColor(QPalette::Highlight, QColor(0, 0, 255));
    bar.setPalette(colours);
    bar.SetRange(0, 0);
    bar.setValue(1);
    now = kStart.addSecs(10);
    const QImage shot = bar.grab().toImage();
    EXPECT_TRUE(bar.GetEstimateText().isEmpty());
    EXPECT_EQ(shot.pixelColor(0, 10), QColor(200, 200, 200));
    EXPECT_EQ(shot.pixelColor(299, 10), QColor(200, 200, 200));
}

// Text over the bar is combined by exclusive-or: it shows white over the filled part
// and background ^ ~highlight over the rest; the plain text colour never appears.
TEST_F(EstProgressCtrlTest, TextIsCombinedWithTheBarByExclusiveOr)
{
    const QColor background(200, 200, 200);
    const QColor highlight(0, 0, 160);
    QPalette colours = bar.palette();
    colours.setColor(QPalette::Button, background);
    colours.setColor(QPalette::Highlight, highlight);
    bar.setPalette(colours);
    bar.resize(600, 30);
    bar.SetRange(0, 2);
    bar.setValue(1);

    PaintAt(0);  // starts the estimate; the next paint draws the text
    const QImage shot = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.width(), 600);
    ASSERT_FALSE(bar.GetEstimateText().isEmpty());

    const QRgb textColour = ~highlight.rgb() & 0xFFFFFFu;
    const QRgb overBackground = (background.rgb() ^ textColour) & 0xFFFFFFu;
    int plainText = 0;
    int whiteOverBar = 0;
    int contrastOverBackground = 0;
    // Text edges blended before the exclusive-or give colours of neither kind, which
    // made small text over the bar unreadable: every pixel is one of the four.
    int stray = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb pixel = shot.pixel(x, y) & 0xFFFFFFu;
            plainText += pixel == textColour;
            if (x < 300 && pixel == 0xFFFFFFu)
                ++whiteOverBar;
            if (x >= 300 && pixel == overBackground)
                ++contrastOverBackground;
            const QRgb plain = (x < 300 ? highlight.rgb() : background.rgb()) & 0xFFFFFFu;
            stray += pixel != plain && pixel != (x < 300 ? 0xFFFFFFu : overBackground);
        }
    }
    EXPECT_EQ(plainText, 0);
    EXPECT_EQ(stray, 0);
    EXPECT_GT(whiteOverBar, 0);
    EXPECT_GT(contrastOverBackground, 0);
    // Rows above the text keep the plain bar and background.
    EXPECT_EQ(shot.pixel(10, 0) & 0xFFFFFFu, highlight.rgb() & 0xFFFFFFu);
    EXPECT_EQ(shot.pixel(299, 0) & 0xFFFFFFu, highlight.rgb() & 0xFFFFFFu);
    EXPECT_EQ(shot.pixel(300, 0) & 0xFFFFFFu, background.rgb() & 0xFFFFFFu);
}

}  // namespace
