#include "html/HtmlFontMaker.h"

#include "html/HtmlValueParser.h"

#include <QFontInfo>
#include <QFontMetrics>

#include <algorithm>

namespace tavrin {
namespace {

// Markup may name any number of families and sizes; past this many a cache starts
// afresh rather than grow.
constexpr qsizetype kMaxCacheEntries = 4096;

} // namespace

QString CHtmlFontMaker::ResolvedFamily(const QString& family)
{
    const auto it = m_families.constFind(family);
    if (it != m_families.constEnd())
        return *it;
    if (m_families.size() >= kMaxCacheEntries)
        m_families.clear();
    QString resolved = QFontInfo(QFont(family)).family();
    if (resolved.isEmpty())
        resolved = family;
    m_families.insert(family, resolved);
    return resolved;
}

QFont CHtmlFontMaker::MakeFont(const CHtmlStyle& style)
{
    const int cellHeight = std::clamp(style.fontSize, 1, kMaxCellHeight);
    const QString family = ResolvedFamily(style.fontFamily);
    QFont font(family);
    const QString key = family + QLatin1Char('/') + QString::number(cellHeight);
    auto it = m_pixelSizes.constFind(key);
    if (it == m_pixelSizes.constEnd()) {
        if (m_pixelSizes.size() >= kMaxCacheEntries)
            m_pixelSizes.clear();
        // The size is the height of the whole character cell, as the markup's sizes
        // mean; a font's pixel size is its em, which is smaller.
        font.setPixelSize(cellHeight);
        const QFontMetrics probe(font);
        const int height = probe.ascent() + probe.descent();
        const int pixelSize = height > 0 ? std::max(1, CHtmlValueParser::MulDiv(cellHeight, cellHeight, height)) : cellHeight;
        it = m_pixelSizes.insert(key, pixelSize);
    }
    font.setPixelSize(*it);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(style.fontWeight, 1, 1000)));
    font.setItalic(style.italic);
    font.setUnderline(style.underline);
    font.setStrikeOut(style.strikeout);
    return font;
}

} // namespace tavrin
