// Where the work view puts its controls: the real widgets after a resize, at the
// frame's minimum client size and at a larger one, with and without progress rows.
#include "ViewTestSupport.h"

#include <QRect>

namespace tavrin::view::testing {
namespace {

QRect Edges(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

enum class Rows { None, Both, TotalOnly };

struct Expected {
    const char* control;
    QRect rect;
};

struct LayoutCase {
    const char* name;
    QSize client;
    Rows rows;
    std::vector<Expected> expected;
};

class ViewLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ViewLayoutTest, ControlsSitWhereTheFormulasPutThem)
{
    PrivateWorkspace workspace;
    RecordingHost host;
    CQuenmarView view(&host);
    view.resize(GetParam().client);
    view.show();
    if (GetParam().rows == Rows::Both)
        view.ShowProgressControls(true);
    else if (GetParam().rows == Rows::TotalOnly)
        view.ShowTotalProgressOnly(true);
    view.Relayout();

    for (const Expected& expected : GetParam().expected) {
        QWidget* control = view.Control(expected.control);
        ASSERT_NE(control, nullptr) << expected.control;
        EXPECT_EQ(control->geometry(), expected.rect) << expected.control;
    }
}

// 650 x 450: half = 225. 1280 x 801: half = 400 (rounded toward zero).
INSTANTIATE_TEST_SUITE_P(
    Sizes, ViewLayoutTest,
    ::testing::Values(
        LayoutCase{"minimum_no_progress",
                   {650, 450},
                   Rows::None,
                   {{"SelectFiles", Edges(10, 80, 110, 108)},
                    {"RemoveFiles", Edges(115, 80, 215, 108)},
                    {"RepairFiles", Edges(220, 80, 320, 108)},
                    {"PreviewLabel", Edges(440, 95, 530, 111)},
                    {"JobList", Edges(10, 113, 430, 250)},
                    {"PictureBox", Edges(440, 113, 640, 250)},
                    {"LocationLabel", Edges(10, 255, 300, 281)},
                    {"DestinationEdit", Edges(305, 257, 370, 279)},
                    {"BrowseFolder", Edges(375, 255, 425, 281)},
                    {"Save", Edges(430, 255, 500, 281)},
                    {"ExtractMedia", Edges(505, 255, 640, 281)},
                    {"ActivityLog", Edges(10, 286, 640, 380)},
                    {"Stop", Edges(520, 410, 580, 440)},
                    {"Exit", Edges(585, 410, 640, 440)},
                    {"HintBox", Edges(75, 400, 385, 445)}}},
        LayoutCase{"minimum_both_rows",
                   {650, 450},
                   Rows::Both,
                   {{"ActivityLog", Edges(10, 286, 640, 345)},
                    {"FileProgressLabel", Edges(10, 350, 160, 368)},
                    {"FileProgress", Edges(165, 350, 640, 363)},
                    {"TotalProgressLabel", Edges(10, 373, 160, 391)},
                    {"TotalProgress", Edges(165, 373, 640, 386)}}},
        LayoutCase{"minimum_total_row_only",
                   {650, 450},
                   Rows::TotalOnly,
                   {{"ActivityLog", Edges(10, 286, 640, 360)},
                    {"TotalProgressLabel", Edges(10, 365, 160, 383)},
                    {"TotalProgress", Edges(165, 365, 640, 378)}}},
        LayoutCase{"large_no_progress",
                   {1280, 801},
                   Rows::None,
                   {{"PreviewLabel", Edges(1070, 95, 1160, 111)},
                    {"JobList", Edges(10, 113, 1060, 425)},
                    {"PictureBox", Edges(1070, 113, 1270, 425)},
                    {"LocationLabel", Edges(10, 430, 300, 456)},
                    {"DestinationEdit", Edges(305, 432, 1000, 454)},
                    {"BrowseFolder", Edges(1005, 430, 1055, 456)},
                    {"Save", Edges(1060, 430, 1130, 456)},
                    {"ExtractMedia", Edges(1135, 430, 1270, 456)},
                    {"ActivityLog", Edges(10, 461, 1270, 731)},
                    {"Stop", Edges(1150, 761, 1210, 791)},
                    {"Exit", Edges(1215, 761, 1270, 791)},
                    {"HintBox", Edges(75, 751, 385, 796)}}},
        LayoutCase{"large_both_rows",
                   {1280, 801},
                   Rows::Both,
                   {{"ActivityLog", Edges(10, 461, 1270, 696)},
                    {"FileProgress", Edges(165, 701, 1270, 714)},
                    {"TotalProgress", Edges(165, 724, 1270, 737)}}},
        LayoutCase{"large_total_row_only",
                   {1280, 801},
                   Rows::TotalOnly,
                   {{"ActivityLog", Edges(10, 461, 1270, 711)},
                    {"TotalProgressLabel", Edges(10, 716, 160, 734)},
                    {"TotalProgress", Edges(165, 716, 1270, 729)}}}),
    [](const ::testing::TestParamInfo<LayoutCase>& param) { return std::string(param.param.name); });

TEST(ViewLayout, LogReturnsToItsFullHeightWhenTheProgressRowsGo)
{
    PrivateWorkspace workspace;
    RecordingHost host;
    CQuenmarView view(&host);
    view.resize(650, 450);
    view.show();
    view.ShowProgressControls(true);
    view.Relayout();
    view.ShowProgressControls(false);
    view.Relayout();
    EXPECT_EQ(view.Control("ActivityLog")->geometry(), Edges(10, 286, 640, 380));
}

} // namespace
} // namespace tavrin::view::testing
