// Word wrap helpers of the layout: how much of a text fits a width, and where to break.
#pragma once

#include <QFontMetrics>
#include <QString>

namespace tavrin::HtmlTextFitting {

// The longest prefix of the text no wider than `space`.
qsizetype FittingLength(const QFontMetrics& metrics, const QString& text, int space);

// Where to break a text of which `fit` characters fit: the end of the longest piece
// that ends after a break character (" -.,!:;)}]?") and fits once its trailing blanks
// are dropped (blanks past `fit` may be dropped too); 0 when there is none.
qsizetype LastBreakWithin(const QString& text, qsizetype fit);

QString TrimTrailingSpaces(QString text);
QString TrimLeadingSpaces(const QString& text);

} // namespace tavrin::HtmlTextFitting
