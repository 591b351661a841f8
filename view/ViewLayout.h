// Where every control of the work view sits for a given client size.
//
// The positions are fixed formulas of the client width and height, so they live in a
// plain function that tests can check without creating a single widget.
#pragma once

#include <QRect>

namespace tavrin::view {

// Which progress rows sit between the activity log and the bottom buttons.
enum class ProgressRows {
    None,      // no progress label visible
    Both,      // file row first, total row second (a repair)
    TotalOnly, // only the total row, in the first row's place (a save)
};

struct ViewLayout {
    QRect selectFiles;
    QRect removeFiles;
    QRect repairFiles;
    QRect previewLabel;
    QRect jobList;
    QRect pictureBox;
    QRect locationLabel;
    QRect destinationEdit;
    QRect browseFolder;
    QRect save;
    QRect extractMedia;
    QRect activityLog;
    QRect stop;
    QRect exit;
    QRect hintBox;
    QRect fileProgressLabel;
    QRect fileProgressBar;
    QRect totalProgressLabel;
    QRect totalProgressBar;
    // The job list's background picture is scaled to this size.
    QSize jobListBackground;
};

// A rectangle given by its edges, right and bottom exclusive.
QRect RectFromEdges(int left, int top, int right, int bottom);

ViewLayout ComputeViewLayout(int clientWidth, int clientHeight, ProgressRows rows);

} // namespace tavrin::view
