// How the job list and the save report show what became of each package: the status
// column's icon and words, and the links that open a saved package or its folder.
#pragma once

#include "engine/PackageOutcome.h"

#include <QIcon>
#include <QString>

#include <vector>

namespace tavrin::view {

// Column of the job list that holds the outcome; column 0 keeps the path.
inline constexpr int kStatusColumn = 1;

QIcon OutcomeIcon(PackageOutcome outcome);
QString OutcomeText(PackageOutcome outcome);

struct SavedPackage {
    QString source;   // the job's path
    QString output;   // the rebuilt package
    PackageOutcome outcome = PackageOutcome::Repaired;
};

// HTML appended to the save report: per saved package its name, its outcome and the
// links "Open in LibreOffice" and "Show in folder". Empty when nothing was saved.
QString SavedPackagesHtml(const std::vector<SavedPackage>& saved);

} // namespace tavrin::view
