// The completion estimate that an estimating progress bar writes over itself.
//
// Kept apart from the widget so the arithmetic and the text can be checked with a
// given clock and locale, without painting. The projection is a straight line from
// the moment the first step was seen: completion = start + elapsed / fraction done.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tavrin::controls {

struct ProgressEstimate
{
    // Local wall-clock values, each invalid until the first step above zero.
    QDateTime start;
    QDateTime estimatedCompletion;
    qint64 remainingSeconds = 0;
    bool remainingValid = false;
    double fractionDone = 0.0;

    void Reset();

    // Records the fraction and, when it is above zero, projects the completion from
    // `now`. A fraction that is not a number changes nothing at all.
    void Update(double fraction, const QDateTime& now);

    // "40.00% complete. Estimated completion: 14:03:27" once an estimate exists,
    // otherwise the empty text.
    QString Text(const QLocale& locale) const;
};

// Fraction of the bar that is done; NaN when the upper bound gives no meaningful one.
double FractionDone(int position, int upper);

// Width of the filled part of a bar `width` pixels wide; truncated toward zero and
// never outside 0..width.
int FilledWidth(int width, double fraction);

// The locale's time of day with seconds but without date or time-zone name;
// empty for an invalid value.
QString TimeOfDayText(const QDateTime& when, const QLocale& locale);

} // namespace tavrin::controls
