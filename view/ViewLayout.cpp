#include "view/ViewLayout.h"

namespace tavrin::view {

QRect RectFromEdges(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

ViewLayout ComputeViewLayout(int cx, int cy, ProgressRows rows)
{
    const int half = cy / 2;
    ViewLayout l;
    l.selectFiles = RectFromEdges(10, 80, 110, 108);
    l.removeFiles = RectFromEdges(115, 80, 215, 108);
    l.repairFiles = RectFromEdges(220, 80, 320, 108);
    l.previewLabel = RectFromEdges(cx - 210, 95, cx - 120, 111);
    l.jobList = RectFromEdges(10, 113, cx - 220, half + 25);
    l.pictureBox = RectFromEdges(cx - 210, 113, cx - 10, half + 25);
    l.locationLabel = RectFromEdges(10, half + 30, 300, half + 56);
    l.destinationEdit = RectFromEdges(305, half + 32, cx - 280, half + 54);
    l.browseFolder = RectFromEdges(cx - 275, half + 30, cx - 225, half + 56);
    l.save = RectFromEdges(cx - 220, half + 30, cx - 150, half + 56);
    l.extractMedia = RectFromEdges(cx - 145, half + 30, cx - 10, half + 56);
    l.stop = RectFromEdges(cx - 130, cy - 40, cx - 70, cy - 10);
    l.exit = RectFromEdges(cx - 65, cy - 40, cx - 10, cy - 10);
    l.hintBox = RectFromEdges(75, cy - 50, 385, cy - 5);

    int logBottom = cy - 70;
    if (rows == ProgressRows::Both)
        logBottom = cy - 105;
    else if (rows == ProgressRows::TotalOnly)
        logBottom = cy - 90;
    l.activityLog = RectFromEdges(10, half + 61, cx - 10, logBottom);

    const QRect row1Label = RectFromEdges(10, logBottom + 5, 160, logBottom + 23);
    const QRect row1Bar = RectFromEdges(165, logBottom + 5, cx - 10, logBottom + 18);
    const QRect row2Label = RectFromEdges(10, logBottom + 28, 160, logBottom + 46);
    const QRect row2Bar = RectFromEdges(165, logBottom + 28, cx - 10, logBottom + 41);
    if (rows == ProgressRows::TotalOnly) {
        l.totalProgressLabel = row1Label;
        l.totalProgressBar = row1Bar;
        // The hidden file row keeps its usual place; it is not shown.
        l.fileProgressLabel = row1Label;
        l.fileProgressBar = row1Bar;
    } else {
        l.fileProgressLabel = row1Label;
        l.fileProgressBar = row1Bar;
        l.totalProgressLabel = row2Label;
        l.totalProgressBar = row2Bar;
    }

    l.jobListBackground = QSize(cx - 230, (half + 25) - 113 + 15);
    return l;
}

} // namespace tavrin::view
