// Makes the QFont of a text style: the style's size is the height of the whole
// character cell, so the pixel size (the em) is found once per family and cell height
// and kept in a bounded cache.
#pragma once

#include "html/HtmlStyle.h"

#include <QFont>
#include <QHash>
#include <QString>

namespace tavrin {

class CHtmlFontMaker {
public:
    QFont MakeFont(const CHtmlStyle& style);

    // Largest cell height honoured; larger sizes are drawn at this height.
    static constexpr int kMaxCellHeight = 1000;

private:
    QHash<QString, int> m_pixelSizes;       // "family/cell height" -> pixel size
};

} // namespace tavrin
