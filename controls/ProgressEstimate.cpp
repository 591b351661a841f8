#include "controls/ProgressEstimate.h"

#include <cmath>

namespace tavrin::controls {

void ProgressEstimate::Reset()
{
    start = QDateTime();
    estimatedCompletion = QDateTime();
    remainingSeconds = 0;
    remainingValid = false;
    fractionDone = 0.0;
}

void ProgressEstimate::Update(double fraction, const QDateTime& now)
{
    // No meaningful fraction (an upper bound of 0): the last text stays.
    if (std::isnan(fraction))
        return;
    fractionDone = fraction;
    if (!(fraction > 0.0))
        return;
    if (!start.isValid())
        start = now;
    const double elapsed = static_cast<double>(start.secsTo(now));
    const double total = elapsed / fraction;
    // Whole seconds: the clock only resolves seconds, and the text shows no more.
    const auto totalSeconds = static_cast<qint64>(std::llround(total));
    estimatedCompletion = start.addSecs(totalSeconds);
    remainingSeconds = totalSeconds - static_cast<qint64>(elapsed);
    remainingValid = true;
}

QString ProgressEstimate::Text(const QLocale& locale) const
{
    if (!remainingValid)
        return QString();
    return QStringLiteral("%1% complete. Estimated completion: %2")
        .arg(fractionDone * 100.0, 0, 'f', 2)
        .arg(TimeOfDayText(estimatedCompletion, locale));
}

double FractionDone(int position, int upper)
{
    if (upper <= 0)
        return std::nan("");
    return static_cast<double>(position) / static_cast<double>(upper);
}

int FilledWidth(int width, double fraction)
{
    if (width <= 0 || !(fraction > 0.0))
        return 0;
    if (fraction >= 1.0)
        return width;
    return static_cast<int>(static_cast<double>(width) * fraction);
}

QString TimeOfDayText(const QDateTime& when, const QLocale& locale)
{
    if (!when.isValid())
        return QString();
    // The long time format carries the seconds; drop its time-zone field ("t"),
    // which the short one lacks but the seconds too. Quoted literals stay as written.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            kept += c;
        } else if (!quoted && c == QLatin1Char('t')) {
            while (kept.endsWith(QLatin1Char(' ')))
                kept.chop(1);
        } else {
            kept += c;
        }
    }
    // At most 128 characters: a longer result counts as a time that cannot be written.
    const QString text = locale.toString(when.time(), kept.trimmed());
    return text.size() < 128 ? text : QString();
}

} // namespace tavrin::controls
