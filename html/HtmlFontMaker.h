// Makes the QFont of a text style: the style's size is the height of the whole
// character cell, so the pixel size (the em) is found once per family and cell height
// and kept in a bounded cache.
//
// A family is asked of Qt by the name of the family Qt settles on for it (a family the
// system lacks resolves to its fallback): the text looks the same, and Qt's font
// engines are made per installed family instead of per name the markup uses, so
// markup naming thousands of families does not fill Qt's caches.
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
    QString ResolvedFamily(const QString& family);

    QHash<QString, int> m_pixelSizes;       // "family/cell height" -> pixel size
    QHash<QString, QString> m_families;     // family named -> family Qt uses
};

} // namespace tavrin
