#include "html/HtmlTextFitting.h"

#include <algorithm>

namespace tavrin::HtmlTextFitting {
namespace {

bool IsBreakAfter(QChar c)
{
    static const QString breakers = QStringLiteral(" -.,!:;)}]?");
    return breakers.contains(c);
}

} // namespace

// A longer prefix is never narrower, so lengths are tried from a guess by doubling,
// then by halving: the work is about the length of the line that fits, however much
// text is left, which keeps a long unbroken text in a narrow area from taking time
// quadratic in its length. Text that fits whole, the usual case, is measured once.
qsizetype FittingLength(const QFontMetrics& metrics, const QString& text, int space)
{
    const auto fits = [&](qsizetype length) { return metrics.horizontalAdvance(text.left(length)) <= space; };
    const qsizetype guess =
        std::max<qsizetype>(1, 2 * static_cast<qsizetype>(space) / std::max(1, metrics.averageCharWidth()));
    qsizetype low = 0;                  // fits, or is 0
    qsizetype high = text.size() + 1;   // does not fit, or is past the end
    for (qsizetype probe = std::min(guess, text.size());; probe = std::min(2 * probe, text.size())) {
        if (!fits(probe)) {
            high = probe;
            break;
        }
        low = probe;
        if (probe == text.size())
            return low;
    }
    while (high - low > 1) {
        const qsizetype middle = low + (high - low) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle;
    }
    return low;
}

qsizetype LastBreakWithin(const QString& text, qsizetype fit)
{
    qsizetype end = fit;
    while (end < text.size() - 1 && text[end] == QLatin1Char(' '))
        ++end;
    if (end > fit)
        return end;
    for (end = std::min(fit, text.size() - 1); end > 0; --end)
        if (IsBreakAfter(text[end - 1]))
            return end;
    return 0;
}

QString TrimTrailingSpaces(QString text)
{
    while (!text.isEmpty() && text.back() == QLatin1Char(' '))
        text.chop(1);
    return text;
}

QString TrimLeadingSpaces(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    return text.mid(i);
}

} // namespace tavrin::HtmlTextFitting
