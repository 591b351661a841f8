#include "html/HtmlDrawer.h"

#include "html/DesktopOpener.h"
#include "html/HtmlTokenizer.h"
#include "html/HtmlValueParser.h"
#include "html/IconHandleRegistry.h"

#include <QFile>
#include <QFontMetrics>
#include <QHash>
#include <QIcon>
#include <QPaintDevice>
#include <QPainter>
#include <QProcess>

#include <algorithm>

namespace tavrin {

struct CHtmlDrawer::FontMetricsCache {
    // Pixel size that gives a font of the family the wanted cell height.
    QHash<QString, int> pixelSizes;
};

namespace {

enum TagId : int {
    kTagBold = 1,
    kTagItalic = 2,
    kTagUnderline = 3,
    kTagStrikeout = 4,
    kTagFont = 5,
    kTagRule = 6,
    kTagBreak = 7,
    kTagTab = 8,
    kTagLeft = 9,
    kTagCenter = 10,
    kTagRight = 11,
    kTagJustify = 12,
    kTagBaseline = 13,
    kTagTop = 14,
    kTagVCenter = 15,
    kTagBottom = 16,
    kTagBitmap = 17,
    kTagIcon = 18,
    kTagImageList = 19,
    kTagString = 20,
    kTagStyleRule = 21,
    kTagSpan = 22,
    kTagLink = 23,
};

struct TagEntry {
    int id = 0;
    QString styleName; // empty: the tag does not push a style
};

const QHash<QString, TagEntry>& TagTable()
{
    static const QHash<QString, TagEntry> table = [] {
        QHash<QString, TagEntry> t;
        const auto add = [&t](const char* name, int id, const char* style) {
            t.insert(QString::fromLatin1(name), TagEntry{id, QString::fromLatin1(style)});
        };
        add("b", kTagBold, "bold");
        add("i", kTagItalic, "italic");
        add("em", kTagItalic, "italic");
        add("u", kTagUnderline, "underline");
        add("s", kTagStrikeout, "strikeout");
        add("strike", kTagStrikeout, "strikeout");
        add("font", kTagFont, "font");
        add("hr", kTagRule, "");
        add("br", kTagBreak, "");
        add("t", kTagTab, "");
        add("left", kTagLeft, "left");
        add("center", kTagCenter, "center");
        add("right", kTagRight, "right");
        add("justify", kTagJustify, "justify");
        add("baseline", kTagBaseline, "baseline");
        add("top", kTagTop, "top");
        add("vcenter", kTagVCenter, "vcenter");
        add("middle", kTagVCenter, "vcenter");
        add("bottom", kTagBottom, "vcenter");
        add("bmp", kTagBitmap, "");
        add("icon", kTagIcon, "");
        add("ilst", kTagImageList, "");
        add("string", kTagString, "");
        for (const char* name : {"body", "h1", "h2", "h3", "h4", "h5", "h6", "code", "pre", "big", "small", "sub", "sup"})
            add(name, kTagStyleRule, name);
        add("span", kTagSpan, "span");
        add("a", kTagLink, "link");
        return t;
    }();
    return table;
}

// Entities in ascending order of their names: each is replaced everywhere before the
// next, so "&amp;lt;" ends up as a literal "<".
struct Entity {
    const char* name;
    const char16_t* text;
};
constexpr Entity kEntities[] = {
    {"&amp;", u"&"},      {"&bull;", u"\u2022"}, {"&copy;", u"\u00A9"}, {"&euro;", u"\u20AC"},
    {"&gt;", u">"},       {"&iquest;", u"\u00BF"}, {"&lt;", u"<<"},      {"&nbsp;", u" "},
    {"&para;", u"\u00B6"}, {"&pound;", u"\u00A3"}, {"&quot;", u"\""},    {"&reg;", u"\u00AE"},
    {"&trade;", u"\u2122"},
};

QColor ToQColor(HtmlColor colour)
{
    return QColor(HtmlRed(colour), HtmlGreen(colour), HtmlBlue(colour));
}

QString Transform(const QString& text, int transform)
{
    switch (transform) {
    case kTransformUpper: return text.toUpper();
    case kTransformLower: return text.toLower();
    case kTransformCapitalize: {
        QString result = text.toLower();
        for (qsizetype i = 0; i < result.size(); ++i) {
            const QChar c = result[i];
            if (c >= QLatin1Char('a') && c <= QLatin1Char('z') && (i == 0 || result[i - 1] == QLatin1Char(' ')))
                result[i] = c.toUpper();
        }
        return result;
    }
    default: return text;
    }
}

// Markup is trusted to be the program's own, but a typo must not hang the program or
// exhaust memory: sizes, counts and nesting are kept within generous bounds.
constexpr int kMaxExtent = 32767;
constexpr int kMaxCount = 1000;
constexpr int kMaxTableDepth = 32;

bool IsBreakAfter(QChar c)
{
    static const QString breakers = QStringLiteral(" -.,!:;)}]?");
    return breakers.contains(c);
}

QString TrimTrailingSpaces(QString text)
{
    while (!text.isEmpty() && text.back() == QLatin1Char(' '))
        text.chop(1);
    return text;
}

// The longest prefix of the text no wider than `space`. A longer prefix is never
// narrower, so lengths are tried from a guess by doubling, then by halving: the work
// is about the length of the line that fits, however much text is left, which keeps
// a long unbroken text in a narrow area from taking time quadratic in its length.
// Text that fits whole, the usual case, is measured once.
qsizetype FittingLength(const QFontMetrics& metrics, const QString& text, int space)
{
    const auto fits = [&](qsizetype length) { return metrics.horizontalAdvance(text.left(length)) <= space; };
    const qsizetype guess = std::max<qsizetype>(1, 2 * static_cast<qsizetype>(space) / std::max(1, metrics.averageCharWidth()));
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

// Where to break a text of which `fit` characters fit: the end of the longest piece
// that ends after a break character and fits once its trailing blanks are dropped
// (blanks past `fit` may be dropped too); 0 when there is none.
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

QString TrimLeadingSpaces(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    return text.mid(i);
}

} // namespace

CHtmlDrawer::CHtmlDrawer() : m_fontCache(std::make_unique<FontMetricsCache>())
{
    m_disabledColor = m_colors.GetColorByName(QStringLiteral("buttonshadow"), 0x808080);
}

CHtmlDrawer::~CHtmlDrawer() = default;

// ------------------------------------------------------------------------------------
// Passes

QString CHtmlDrawer::PrepareText(const QString& html, bool escapeSequences)
{
    QString text = html;
    for (const Entity& entity : kEntities)
        text.replace(QLatin1String(entity.name), QString::fromUtf16(entity.text));
    text.remove(QLatin1Char('\r'));
    if (escapeSequences) {
        text.replace(QLatin1Char('\n'), QLatin1String("<br>"));
        text.replace(QLatin1Char('\t'), QLatin1String("<t>"));
    } else {
        text.remove(QLatin1Char('\n'));
        text.remove(QLatin1Char('\t'));
    }
    return text;
}

QSize CHtmlDrawer::MeasureHtml(const QPaintDevice* device, const QString& html)
{
    m_device = device;
    m_dpiY = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 96;
    m_text = PrepareText(html, m_escapeSequences);
    m_drawing = false;
    m_painter = nullptr;
    if (m_text.isEmpty()) {
        m_lines.clear();
        m_tables.clear();
        m_linkAreas.clear();
        m_animations.clear();
        return QSize(0, 0);
    }
    QSize size = Layout(QRect(0, 0, m_maxWidth, 0));
    m_device = nullptr;
    if (size.isEmpty() && size.width() == 0 && size.height() == 0) {
        m_text.clear();
        return QSize(0, 0);
    }
    if (m_maxWidth > 0)
        size.setWidth(std::min(size.width(), m_maxWidth));
    return QSize(size.width() + 1, size.height() + 1);
}

void CHtmlDrawer::DrawMeasured(QPainter& painter, const QRect& rect)
{
    if (m_text.isEmpty())
        return;
    painter.save();
    m_drawing = true;
    m_painter = &painter;
    m_device = painter.device();
    Layout(rect);
    m_drawing = false;
    m_painter = nullptr;
    m_device = nullptr;
    painter.restore();
}

QSize CHtmlDrawer::Layout(const QRect& area)
{
    if (!m_drawing) {
        m_lines.clear();
        m_tables.clear();
        m_animations.clear();
    }
    // Areas are recorded while drawing; starting afresh each pass keeps repeated
    // hover repaints from piling up copies.
    m_linkAreas.clear();
    m_placedRuns.clear();
    m_lineCounter = 0;
    m_tableCounter = 0;
    m_linkCounter = 0;
    m_linkNumber = 0;
    m_stripCounter = 0;
    m_tableDepth = 0;
    m_stack.clear();

    m_style = CHtmlStyle{};
    SelectFont();
    ApplyRule(QStringLiteral("body"), m_style);
    SelectFont();

    return LayoutBlocks(m_text, area, m_maxWidth);
}

QSize CHtmlDrawer::LayoutBlocks(const QString& text, const QRect& area, int wrapWidth)
{
    int width = 0;
    int height = 0;
    for (const HtmlBlock& block : CHtmlTokenizer::SplitBlocks(text)) {
        const QRect partArea(area.left(), area.top() + height, area.width(), std::max(0, area.height() - height));
        const QSize size = block.isTable ? LayoutTable(block.text, partArea) : LayoutFlow(block.text, partArea, wrapWidth);
        width = std::max(width, size.width());
        height += size.height();
    }
    return QSize(width, height);
}

QSize CHtmlDrawer::LayoutFlow(const QString& text, const QRect& area, int wrapWidth)
{
    const QRect savedArea = m_area;
    const int savedWrap = m_wrapWidth;
    m_area = area;
    m_wrapWidth = area.width() > 0 ? wrapWidth : 0;
    m_y = area.top();
    m_textWidth = 0;

    const size_t depth = m_stack.size();
    const QString part = QStringLiteral("<body>") + text + QStringLiteral("</body>");
    StartLine();
    CHtmlTokenizer tokens(part);
    for (auto kind = tokens.Next(); kind != CHtmlTokenizer::Kind::End; kind = tokens.Next()) {
        if (kind == CHtmlTokenizer::Kind::Text)
            PlaceText(tokens.Text(), true);
        else
            HandleTag(tokens.Tag());
    }
    if (m_lineHasContent)
        EndLine(false);

    // Tags left open end with the part, so they cannot leak into the next one.
    if (m_stack.size() > depth) {
        m_style = m_stack[depth];
        m_stack.resize(depth);
        SelectFont();
    }

    const QSize size(m_textWidth, m_y - area.top());
    m_area = savedArea;
    m_wrapWidth = savedWrap;
    return size;
}

// ------------------------------------------------------------------------------------
// Lines

void CHtmlDrawer::StartLine()
{
    m_layoutX = 0;
    m_drawExtra = 0;
    m_lineTop = m_y;
    m_lineMaxAscent = 0;
    m_lineHasContent = false;
    m_lineHasItems = false;
    m_lineShift = 0;
    m_justifyExtra = 0;
    m_justifyRemainder = 0;
    if (!m_drawing) {
        m_line = HtmlLineRecord{};
        m_line.align = m_style.textAlign;
        return;
    }
    m_line = m_lineCounter < static_cast<int>(m_lines.size()) ? m_lines[static_cast<size_t>(m_lineCounter)]
                                                              : HtmlLineRecord{};
    const int available = m_area.width();
    const int lineWidth = m_line.width + CHtmlValueParser::MulDiv(available, m_line.widthPercent, 100);
    const int missing = available - lineWidth;
    if (m_line.align == kAlignCenter)
        m_lineShift = std::max(0, missing / 2);
    else if (m_line.align == kAlignRight)
        m_lineShift = std::max(0, missing);
    else if (m_line.align == kAlignJustify && m_line.wrapped && m_line.spaces > 0 && missing > 0) {
        m_justifyExtra = missing / m_line.spaces;
        m_justifyRemainder = missing % m_line.spaces;
    }
}

int CHtmlDrawer::EndLine(bool wrapped)
{
    if (!m_drawing) {
        m_line.width = m_layoutX;
        m_line.wrapped = wrapped;
        m_line.height = (m_lineHasItems ? m_lineMaxAscent : m_fontHeight) + m_line.maxDescent;
        m_lines.push_back(m_line);
    }
    m_textWidth = std::max(m_textWidth, m_line.width);
    ++m_lineCounter;
    m_y += m_line.height;
    return m_line.height;
}

void CHtmlDrawer::NoteItem(int heightAboveBaseline, int descent)
{
    m_lineMaxAscent = std::max(m_lineMaxAscent, heightAboveBaseline);
    if (!m_drawing)
        m_line.maxDescent = std::max(m_line.maxDescent, descent);
    m_lineHasItems = true;
    m_lineHasContent = true;
}

int CHtmlDrawer::PlaceVertically(int height, int ascent) const
{
    const int lineHeight = m_line.height;
    const int descent = m_line.maxDescent;
    switch (m_style.verticalAlign) {
    case kVAlignMiddle: return m_lineTop + (lineHeight - height) / 2;
    case kVAlignBottom: return m_lineTop + lineHeight - (ascent >= 0 ? ascent : height);
    case kVAlignBaseline: return m_lineTop + lineHeight - descent - (ascent >= 0 ? ascent : height);
    default: return m_lineTop;
    }
}

int CHtmlDrawer::DrawX() const
{
    return m_area.left() + m_lineShift + m_layoutX + m_drawExtra;
}

// ------------------------------------------------------------------------------------
// Text

void CHtmlDrawer::PlaceText(const QString& input, bool allowWrap)
{
    QString remaining = Transform(input, m_style.textTransform);
    while (!remaining.isEmpty()) {
        const QFontMetrics metrics = FontMetrics();
        QString piece = remaining;
        QString rest;
        const int spaceLeft = m_wrapWidth - m_layoutX;
        const qsizetype fit = allowWrap && m_wrapWidth > 0 ? FittingLength(metrics, remaining, spaceLeft) : remaining.size();
        if (fit < remaining.size()) {
            piece.clear();
            const qsizetype end = LastBreakWithin(remaining, fit);
            if (end > 0) {
                piece = TrimTrailingSpaces(remaining.left(end));
                rest = remaining.mid(end);
            }
            if (piece.isEmpty() && m_layoutX == 0) {
                // Nothing breaks early enough: cut the word itself, at least one letter.
                const qsizetype cut = std::max<qsizetype>(1, fit);
                piece = remaining.left(cut);
                rest = remaining.mid(cut);
            } else if (piece.isEmpty()) {
                rest = remaining;
            }
            rest = TrimLeadingSpaces(rest);
        }

        if (!piece.isEmpty()) {
            const int width = metrics.horizontalAdvance(piece);
            NoteItem(m_fontAscent, m_fontDescent);
            if (!m_drawing) {
                m_line.align = m_style.textAlign;
                m_line.spaces += static_cast<int>(piece.count(QLatin1Char(' ')));
            } else {
                const int top = PlaceVertically(m_fontHeight, m_fontAscent);
                const int x = DrawX();
                const int drawn = DrawRun(piece, x, top, width);
                AddLinkArea(QRect(x, top, drawn, m_fontHeight));
                m_placedRuns.push_back(HtmlPlacedRun{piece, QRect(x, top, drawn, m_fontHeight), m_style});
                if (m_style.overline) {
                    const int penWidth = m_style.fontWeight >= 700 ? 2 : 1;
                    m_drawManager.DrawLine(*m_painter, x, top, x + drawn, top, m_style.textColor, kLineSolid,
                                           penWidth);
                }
                m_drawExtra += drawn - width;
            }
            m_layoutX += width;
        }
        if (rest.isEmpty() && !piece.isEmpty())
            break;
        EndLine(true);
        StartLine();
        remaining = rest;
    }
}

int CHtmlDrawer::DrawRun(const QString& run, int x, int top, int width)
{
    QPainter& painter = *m_painter;
    const QFontMetrics metrics = FontMetrics();
    const bool justify = (m_justifyExtra > 0 || m_justifyRemainder > 0) && run.contains(QLatin1Char(' '));

    // Where each blank-separated word starts: its measured offset in the run plus the
    // extra pixels of the blanks before it, so the run ends exactly where the line
    // record says once the spread is added.
    std::vector<std::pair<QString, int>> words;
    int advance = width;
    if (justify) {
        int spread = 0;
        qsizetype i = 0;
        while (i < run.size()) {
            if (run[i] == QLatin1Char(' ')) {
                spread += m_justifyExtra;
                if (m_justifyRemainder > 0) {
                    ++spread;
                    --m_justifyRemainder;
                }
                ++i;
                continue;
            }
            qsizetype end = i;
            while (end < run.size() && run[end] != QLatin1Char(' '))
                ++end;
            words.emplace_back(run.mid(i, end - i), metrics.horizontalAdvance(run.left(i)) + spread);
            i = end;
        }
        advance = width + spread;
    }

    if (m_style.backMode == kBackOpaque)
        painter.fillRect(QRect(x, top, advance, m_fontHeight), ToQColor(m_style.backColor));
    painter.setFont(m_font);
    painter.setPen(ToQColor(m_style.textColor));
    const int baseline = top + m_fontAscent;
    if (!justify)
        painter.drawText(QPoint(x, baseline), run);
    else
        for (const auto& [word, offset] : words)
            painter.drawText(QPoint(x + offset, baseline), word);
    return advance;
}

void CHtmlDrawer::AddLinkArea(const QRect& rect)
{
    if (!m_drawing || m_style.linkKind == kLinkNone || m_linkNumber == 0)
        return;
    m_linkAreas.push_back(HtmlLinkArea{rect, m_style.linkKind, m_linkNumber, m_style.linkTarget});
}

// ------------------------------------------------------------------------------------
// Tags

void CHtmlDrawer::HandleTag(const HtmlTag& tag)
{
    const auto& table = TagTable();
    const auto it = table.constFind(tag.name);
    if (it == table.constEnd())
        return;
    const TagEntry& entry = *it;

    if (!entry.styleName.isEmpty()) {
        if (tag.closing) {
            PopStyle(entry.styleName);
            SelectFont();
            return;
        }
        PushStyle(entry.styleName);
        switch (entry.id) {
        case kTagBold: m_style.fontWeight = std::min(900, m_style.fontWeight * 2); break;
        case kTagItalic: m_style.italic = !m_style.italic; break;
        case kTagUnderline: m_style.underline = !m_style.underline; break;
        case kTagStrikeout: m_style.strikeout = !m_style.strikeout; break;
        case kTagFont: HandleFontTag(tag); break;
        case kTagLeft: m_style.textAlign = kAlignLeft; break;
        case kTagCenter: m_style.textAlign = kAlignCenter; break;
        case kTagRight: m_style.textAlign = kAlignRight; break;
        case kTagJustify: m_style.textAlign = kAlignJustify; break;
        case kTagBaseline: m_style.verticalAlign = kVAlignBaseline; break;
        case kTagTop: m_style.verticalAlign = kVAlignTop; break;
        case kTagVCenter: m_style.verticalAlign = kVAlignMiddle; break;
        case kTagBottom: m_style.verticalAlign = kVAlignBottom; break;
        case kTagStyleRule: ApplyRule(tag.name, m_style); break;
        case kTagSpan:
            for (const HtmlAttribute& attribute : tag.attributes)
                if (attribute.first == QLatin1String("class"))
                    ApplyRule(QLatin1Char('.') + attribute.second, m_style);
            break;
        case kTagLink: HandleLinkTag(tag); break;
        default: break;
        }
        SelectFont();
        return;
    }

    switch (entry.id) {
    case kTagRule: HandleRule(tag); break;
    case kTagBreak: HandleBreak(tag.Count()); break;
    case kTagTab: HandleTab(tag.Count()); break;
    case kTagString: HandleString(tag); break;
    case kTagBitmap:
    case kTagIcon:
    case kTagImageList: HandleImage(tag, entry.id); break;
    default: break;
    }
}

void CHtmlDrawer::HandleFontTag(const HtmlTag& tag)
{
    const HtmlSizeMetrics metrics = ApplyContext().metrics;
    for (const auto& [name, value] : tag.attributes) {
        if (name == QLatin1String("face")) {
            if (!value.isEmpty())
                m_style.fontFamily = value;
        } else if (name == QLatin1String("size")) {
            m_style.fontSize = CHtmlValueParser::ParseSize(value, m_style.fontSize, true, metrics);
        } else if (name == QLatin1String("color")) {
            m_style.textColor = AttributeColor(value, m_style.textColor);
        } else if (name == QLatin1String("style")) {
            CHtmlValueParser::ParseFontStyleLetters(value, m_style);
        } else if (name == QLatin1String("weight")) {
            m_style.fontWeight = CHtmlStyleSheet::ParseFontWeight(value);
        } else if (name == QLatin1String("bkgnd")) {
            if (value.isEmpty() || value == QLatin1String("transparent") || !m_enabled) {
                m_style.backMode = kBackTransparent;
            } else {
                m_style.backMode = kBackOpaque;
                m_style.backColor = AttributeColor(value, m_style.backColor);
            }
        }
    }
}

void CHtmlDrawer::HandleLinkTag(const HtmlTag& tag)
{
    m_style.linkKind = kLinkMessage;
    m_style.linkTarget.clear();
    for (const auto& [name, value] : tag.attributes) {
        if (name == QLatin1String("href")) {
            m_style.linkKind = kLinkHref;
            m_style.linkTarget = value;
        } else if (name == QLatin1String("msg")) {
            m_style.linkKind = kLinkMessage;
            m_style.linkTarget = value;
        }
    }
    m_linkNumber = ++m_linkCounter;
    ApplyRule(m_linkNumber == m_hoveredLink ? QStringLiteral("a:hover") : QStringLiteral("a:link"), m_style);
}

void CHtmlDrawer::HandleRule(const HtmlTag& tag)
{
    CHtmlStyle rule = m_style;
    ApplyRule(QStringLiteral("hr"), rule);
    const HtmlSizeMetrics metrics = ApplyContext().metrics;
    bool hasWidth = false;
    QString widthText = tag.Attribute(QStringLiteral("width"), &hasWidth);
    if (!hasWidth || widthText.isEmpty())
        widthText = QStringLiteral("100%");
    const int thickness =
        std::clamp(CHtmlValueParser::ParseSize(tag.Attribute(QStringLiteral("size")), 1, false, metrics), 1, 100);
    const HtmlColor colour = AttributeColor(tag.Attribute(QStringLiteral("color")), rule.textColor);

    int layoutWidth = 0;
    int drawnWidth = 0;
    if (CHtmlValueParser::IsPercent(widthText)) {
        // Several wide rules on one line add up: keep the sum within bounds too.
        const int percent = std::clamp(CHtmlValueParser::LeadingInt(widthText), 0, kMaxCount);
        if (!m_drawing)
            m_line.widthPercent = std::min(kMaxCount, m_line.widthPercent + percent);
        layoutWidth = 1;
        drawnWidth = CHtmlValueParser::MulDiv(m_area.width(), percent, 100);
    } else {
        layoutWidth = drawnWidth = std::clamp(CHtmlValueParser::ParseSize(widthText, 0, false, metrics), 0, kMaxExtent);
    }

    NoteItem(thickness + 8, 0);
    if (!m_drawing)
        m_line.align = m_style.textAlign;
    if (m_drawing && drawnWidth > 0) {
        const int x = DrawX();
        const int y = m_lineTop + m_line.height / 2;
        m_drawManager.DrawLine(*m_painter, x, y, x + drawnWidth, y, colour, kLineSolid, thickness);
    }
    m_layoutX += layoutWidth;
    if (m_drawing)
        m_drawExtra += drawnWidth - layoutWidth;
}

void CHtmlDrawer::HandleBreak(int count)
{
    const int height = EndLine(false);
    m_y += (std::clamp(count, 1, kMaxCount) - 1) * height;
    StartLine();
}

void CHtmlDrawer::HandleTab(int count)
{
    if (m_tabSize <= 0)
        return;
    const long long stops = std::clamp(count, 1, kMaxCount);
    m_layoutX = static_cast<int>(std::min<long long>(kMaxExtent, (m_layoutX / m_tabSize + stops) * m_tabSize));
    // Stops stay on the grid when drawing, whatever a justified run spread before.
    m_drawExtra = 0;
    m_lineHasContent = true;
}

void CHtmlDrawer::HandleString(const HtmlTag& tag)
{
    QString path;
    if (tag.Has(QStringLiteral("idres")))
        path = ResourcePath(QStringLiteral("string"), tag.Attribute(QStringLiteral("idres")), QStringLiteral(":/"));
    else if (tag.Has(QStringLiteral("iddll")))
        path = ResourcePath(QStringLiteral("string"), tag.Attribute(QStringLiteral("iddll")),
                            tag.Has(QStringLiteral("srcdll")) ? tag.Attribute(QStringLiteral("srcdll")) : m_resourceRoot);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString text = QString::fromUtf8(file.readAll()).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    PlaceText(text, false);
}

// ------------------------------------------------------------------------------------
// Style and font

void CHtmlDrawer::PushStyle(const QString& name)
{
    m_stack.push_back(m_style);
    m_style.name = name;
}

bool CHtmlDrawer::PopStyle(const QString& name)
{
    if (m_stack.empty() || m_style.name != name)
        return false;
    m_style = m_stack.back();
    m_stack.pop_back();
    if (m_style.linkKind == kLinkNone)
        m_linkNumber = 0;
    return true;
}

HtmlApplyContext CHtmlDrawer::ApplyContext() const
{
    HtmlApplyContext context;
    context.colors = &m_colors;
    context.metrics = HtmlSizeMetrics{m_xHeight, m_fontHeight, m_dpiY};
    context.disabled = !m_enabled;
    context.disabledColor = m_disabledColor;
    return context;
}

void CHtmlDrawer::ApplyRule(const QString& selector, CHtmlStyle& style) const
{
    m_sheet.ApplyStyle(selector, style, ApplyContext());
}

HtmlColor CHtmlDrawer::AttributeColor(const QString& value, HtmlColor current) const
{
    if (!m_enabled)
        return m_disabledColor;
    return CHtmlValueParser::ParseColor(value, current, m_colors);
}

QFontMetrics CHtmlDrawer::FontMetrics() const
{
    // Both passes measure alike whatever they paint on; the device only lends its
    // resolution to physical units, and the fonts are sized in pixels.
    return QFontMetrics(m_font);
}

QFont CHtmlDrawer::MakeFont(const CHtmlStyle& style) const
{
    const int cellHeight = std::clamp(style.fontSize, 1, kMaxCount);
    QFont font(style.fontFamily);
    const QString key = style.fontFamily + QLatin1Char('/') + QString::number(cellHeight);
    auto it = m_fontCache->pixelSizes.constFind(key);
    if (it == m_fontCache->pixelSizes.constEnd()) {
        // The size is the height of the whole character cell, as the markup's sizes
        // mean; a font's pixel size is its em, which is smaller.
        font.setPixelSize(cellHeight);
        const QFontMetrics probe(font);
        const int height = probe.ascent() + probe.descent();
        const int pixelSize = height > 0 ? std::max(1, CHtmlValueParser::MulDiv(cellHeight, cellHeight, height)) : cellHeight;
        it = m_fontCache->pixelSizes.insert(key, pixelSize);
    }
    font.setPixelSize(*it);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(style.fontWeight, 1, 1000)));
    font.setItalic(style.italic);
    font.setUnderline(style.underline);
    font.setStrikeOut(style.strikeout);
    return font;
}

void CHtmlDrawer::SelectFont()
{
    m_font = MakeFont(m_style);
    const QFontMetrics metrics = FontMetrics();
    m_fontAscent = metrics.ascent();
    m_fontDescent = metrics.descent();
    m_fontHeight = m_fontAscent + m_fontDescent;
    m_xHeight = metrics.xHeight();
    if (m_drawing && m_painter) {
        m_painter->setFont(m_font);
        m_painter->setPen(ToQColor(m_style.textColor));
    }
}

// ------------------------------------------------------------------------------------
// Pictures

QString CHtmlDrawer::ResourcePath(const QString& kind, const QString& id, const QString& root) const
{
    if (id.isEmpty())
        return QString();
    QString base = root;
    if (!base.isEmpty() && !base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    const QString number = QString::number(CHtmlValueParser::ParseCUnsigned(id));
    if (kind == QLatin1String("string"))
        return base + kind + QLatin1Char('/') + number + QStringLiteral(".txt");
    for (const char* extension : {".png", ".svg", ".bmp", ".ico"}) {
        const QString path = base + kind + QLatin1Char('/') + number + QLatin1String(extension);
        if (QFile::exists(path))
            return path;
    }
    return QString();
}

std::optional<QString> CHtmlDrawer::PicturePath(const HtmlTag& tag, const QString& kind) const
{
    if (tag.Has(QStringLiteral("idres")))
        return ResourcePath(kind, tag.Attribute(QStringLiteral("idres")), QStringLiteral(":/"));
    if (tag.Has(QStringLiteral("file")))
        return tag.Attribute(QStringLiteral("file"));
    if (tag.Has(QStringLiteral("iddll")))
        return ResourcePath(kind, tag.Attribute(QStringLiteral("iddll")),
                            tag.Has(QStringLiteral("srcdll")) ? tag.Attribute(QStringLiteral("srcdll")) : m_resourceRoot);
    return std::nullopt;
}

std::optional<QPixmap> CHtmlDrawer::PixmapForHandle(const HtmlTag& tag) const
{
    const QPixmap pixmap = IconForHandle(static_cast<int>(CHtmlValueParser::ParseCUnsigned(tag.Attribute(QStringLiteral("handle")))));
    if (pixmap.isNull())
        return std::nullopt;
    return pixmap;
}

std::optional<QImage> CHtmlDrawer::LoadBitmap(const HtmlTag& tag) const
{
    const std::optional<QString> path = PicturePath(tag, QStringLiteral("bitmap"));
    if (!path) {
        if (!tag.Has(QStringLiteral("handle")))
            return std::nullopt;
        const std::optional<QPixmap> pixmap = PixmapForHandle(tag);
        return pixmap ? std::optional<QImage>(pixmap->toImage()) : std::nullopt;
    }
    if (path->isEmpty())
        return std::nullopt;
    QImage image(*path);
    if (image.isNull())
        return std::nullopt;
    return image;
}

std::optional<QPixmap> CHtmlDrawer::LoadIcon(const HtmlTag& tag, const QSize& size) const
{
    const std::optional<QString> path = PicturePath(tag, QStringLiteral("icon"));
    if (!path)
        return tag.Has(QStringLiteral("handle")) ? PixmapForHandle(tag) : std::nullopt;
    if (path->isEmpty())
        return std::nullopt;
    const QIcon icon(*path);
    if (icon.isNull())
        return std::nullopt;
    const QPixmap pixmap = icon.pixmap(size);
    if (pixmap.isNull())
        return std::nullopt;
    return pixmap;
}

void CHtmlDrawer::HandleImage(const HtmlTag& tag, int tagId)
{
    const HtmlSizeMetrics metrics = ApplyContext().metrics;
    const bool shadowOffsets = m_shadowOffsetX != 0 || m_shadowOffsetY != 0;
    const unsigned styleBits =
        CHtmlValueParser::ParseImageStyleLetters(tag.Attribute(QStringLiteral("style")), shadowOffsets, m_shadowGradient);
    const unsigned hotBits = tag.Has(QStringLiteral("hotstyle"))
                                 ? CHtmlValueParser::ParseImageStyleLetters(tag.Attribute(QStringLiteral("hotstyle")),
                                                                            shadowOffsets, m_shadowGradient)
                                 : styleBits;
    const bool hovered = m_style.linkKind != kLinkNone && m_linkNumber != 0 && m_linkNumber == m_hoveredLink;
    const unsigned bits = hovered ? hotBits : styleBits;
    const bool anyShadow = ((styleBits | hotBits) & (kImageShadow | kImageGradientShadow)) != 0;
    const bool useMask = tag.Has(QStringLiteral("mask"));
    const HtmlColor maskColor = useMask ? CHtmlValueParser::ParseColor(tag.Attribute(QStringLiteral("mask")), 0xFF00FF, m_colors)
                                        : 0xFF00FF;
    const int index = CHtmlValueParser::LeadingInt(tag.Attribute(QStringLiteral("index")));

    const auto sized = [&](const QString& attribute, int base) {
        QString text = tag.Attribute(attribute);
        if (text.isEmpty())
            text = QStringLiteral("100%");
        return CHtmlValueParser::ParseSize(text, base, false, metrics);
    };

    // What to draw once the box is placed.
    std::function<void(int x, int y, int w, int h, const ShadowSpec&)> draw;
    int width = 0;
    int height = 0;

    if (tagId == kTagBitmap) {
        const std::optional<QImage> bitmap = LoadBitmap(tag);
        if (!bitmap)
            return;
        width = sized(QStringLiteral("width"), bitmap->width());
        height = sized(QStringLiteral("height"), bitmap->height());
        draw = [this, bitmap, useMask, maskColor, bits](int x, int y, int w, int h, const ShadowSpec& shadow) {
            m_drawManager.DrawBitmap(*m_painter, x, y, w, h, *bitmap, useMask, maskColor, bits, shadow);
        };
    } else if (tagId == kTagIcon) {
        width = sized(QStringLiteral("width"), SystemIconSize());
        height = sized(QStringLiteral("height"), SystemIconSize());
        if (width <= 0 || height <= 0)
            return;
        const std::optional<QPixmap> icon = LoadIcon(tag, QSize(width, height));
        if (!icon)
            return;
        draw = [this, icon, bits](int x, int y, int w, int h, const ShadowSpec& shadow) {
            m_drawManager.DrawIcon(*m_painter, x, y, w, h, *icon, bits, shadow);
        };
    } else {
        const bool hasSource = tag.Has(QStringLiteral("idres")) || tag.Has(QStringLiteral("file")) ||
                               tag.Has(QStringLiteral("iddll")) || tag.Has(QStringLiteral("handle"));
        if (!hasSource) {
            if (index < 0 || index >= static_cast<int>(m_imageList.size()))
                return;
            const QPixmap image = m_imageList[static_cast<size_t>(index)];
            width = sized(QStringLiteral("width"), image.width());
            height = sized(QStringLiteral("height"), image.height());
            draw = [this, image, bits](int x, int y, int w, int h, const ShadowSpec& shadow) {
                m_drawManager.DrawIcon(*m_painter, x, y, w, h, image, bits, shadow);
            };
        } else {
            const std::optional<QImage> strip = LoadBitmap(tag);
            if (!strip)
                return;
            const HtmlSizeMetrics plain{};
            int frameWidth = CHtmlValueParser::ParseSize(tag.Attribute(QStringLiteral("cx")), 0, false, plain);
            int frameHeight = CHtmlValueParser::ParseSize(tag.Attribute(QStringLiteral("cy")), 0, false, plain);
            if (frameWidth <= 0 && frameHeight <= 0)
                frameWidth = frameHeight = std::min(strip->width(), strip->height());
            else if (frameWidth <= 0)
                frameWidth = frameHeight;
            else if (frameHeight <= 0)
                frameHeight = frameWidth;
            const int frames = frameWidth > 0 && frameHeight > 0
                                   ? (strip->width() / frameWidth) * (strip->height() / frameHeight)
                                   : 0;
            int frame = index;
            const int stripNumber = m_stripCounter++;
            if (tag.Has(QStringLiteral("speed"))) {
                if (!m_drawing) {
                    m_animations.push_back(HtmlStripAnimation{stripNumber, frames,
                                                              CHtmlValueParser::LeadingInt(tag.Attribute(QStringLiteral("speed"))),
                                                              index});
                } else {
                    for (const HtmlStripAnimation& animation : m_animations)
                        if (animation.imageIndex == stripNumber)
                            frame = animation.current;
                }
            }
            if (frame < 0 || frame >= frames)
                return;
            width = sized(QStringLiteral("width"), frameWidth);
            height = sized(QStringLiteral("height"), frameHeight);
            draw = [this, strip, frame, frameWidth, frameHeight, useMask, maskColor, bits](int x, int y, int w, int h,
                                                                                             const ShadowSpec& shadow) {
                m_drawManager.DrawImageListFrame(*m_painter, x, y, w, h, *strip, frame, frameWidth, frameHeight, useMask,
                                                 maskColor, bits, shadow);
            };
        }
    }
    if (width <= 0 || height <= 0 || width > kMaxExtent || height > kMaxExtent)
        return;

    const int boxWidth = width + (anyShadow ? m_shadowOffsetX : 0);
    const int boxHeight = height + (anyShadow ? m_shadowOffsetY : 0);
    if (m_wrapWidth > 0 && m_layoutX > 0 && m_layoutX + boxWidth > m_wrapWidth) {
        EndLine(true);
        StartLine();
    }
    NoteItem(boxHeight, 0);
    if (!m_drawing) {
        m_line.align = m_style.textAlign;
    } else {
        const int x = DrawX();
        const int top = PlaceVertically(boxHeight, -1);
        ShadowSpec shadow;
        shadow.enabled = anyShadow;
        shadow.offsetX = m_shadowOffsetX;
        shadow.offsetY = m_shadowOffsetY;
        shadow.depthX = m_shadowDepthX;
        shadow.depthY = m_shadowDepthY;
        const int grey = CHtmlValueParser::MulDiv(255, 100 - m_shadowDarken, 100);
        shadow.colour = HtmlRgb(grey, grey, grey);
        draw(x, top, width, height, shadow);
        AddLinkArea(QRect(x, top, boxWidth, boxHeight));
    }
    m_layoutX += boxWidth;
}

// ------------------------------------------------------------------------------------
// Tables

void CHtmlDrawer::ApplyTableAttributes(const HtmlTag& tag, CHtmlStyle& style, bool isTable, bool isCell) const
{
    const HtmlSizeMetrics metrics = ApplyContext().metrics;
    for (const auto& [name, value] : tag.attributes) {
        if (name == QLatin1String("cellpadding")) {
            if (isTable)
                style.margin = CHtmlValueParser::ParseSize(value, style.margin, false, metrics);
        } else if (name == QLatin1String("cellspacing")) {
            if (isTable)
                style.padding = CHtmlValueParser::ParseSize(value, style.padding, false, metrics);
        } else if (name == QLatin1String("background")) {
            if (isTable && value.size() > 5)
                style.backImage = value;
        } else if (name == QLatin1String("border")) {
            style.borderWidth = CHtmlValueParser::ParseSize(value, style.borderWidth, false, metrics);
            if (style.borderWidth == 0)
                style.borderStyle = kBorderNone;
            else if (style.borderStyle == kBorderNone)
                style.borderStyle = kBorderSolid;
        } else if (name == QLatin1String("borderstyle")) {
            CHtmlStyleSheet::SetBorderStyle(value, style);
        } else if (name == QLatin1String("bordercolor")) {
            style.borderColorLight = style.borderColorDark = AttributeColor(value, style.borderColorLight);
        } else if (name == QLatin1String("bordercolorlight")) {
            style.borderColorLight = AttributeColor(value, style.borderColorLight);
        } else if (name == QLatin1String("bordercolordark")) {
            style.borderColorDark = AttributeColor(value, style.borderColorDark);
        } else if (name == QLatin1String("bgcolor")) {
            if (m_enabled) {
                style.backColor = CHtmlValueParser::ParseColor(value, style.backColor, m_colors);
                if (style.backEffect == -1)
                    style.backEffect = 0;
            }
        } else if (name == QLatin1String("bgmidcolor")) {
            if (m_enabled)
                style.backMidColor = CHtmlValueParser::ParseColor(value, style.backMidColor, m_colors);
        } else if (name == QLatin1String("bgendcolor")) {
            if (m_enabled)
                style.backEndColor = CHtmlValueParser::ParseColor(value, style.backEndColor, m_colors);
        } else if (name == QLatin1String("bgeffect")) {
            style.backEffect = CHtmlValueParser::ParseEffect(value, style.backEffect);
        } else if (name == QLatin1String("align")) {
            style.textAlign = CHtmlValueParser::ParseTextAlign(value, style.textAlign);
        } else if (name == QLatin1String("valign")) {
            style.verticalAlign = CHtmlValueParser::ParseVerticalAlign(value, style.verticalAlign);
        } else if (name == QLatin1String("width")) {
            style.width = CHtmlValueParser::ParseSize(value, style.width, false, metrics);
        } else if (name == QLatin1String("height")) {
            style.height = CHtmlValueParser::ParseSize(value, style.height, false, metrics);
        }
    }

    // A border needs both a style and a width; patterned borders are one pixel, and
    // rows and cells never draw more than one.
    if (style.borderStyle == kBorderNone || style.borderWidth <= 0) {
        style.borderStyle = kBorderNone;
        style.borderWidth = 0;
    } else if (style.borderStyle != kBorderSolid) {
        style.borderWidth = 1;
    }
    style.borderWidth = std::min(style.borderWidth, isTable ? 100 : 1);
    style.margin = std::clamp(style.margin, 0, kMaxCount);
    style.padding = std::clamp(style.padding, 0, kMaxCount);
    if (isCell) {
        style.width = std::clamp(style.width, 0, kMaxExtent);
        style.height = std::clamp(style.height, 0, kMaxExtent);
    }
}

std::optional<QImage> CHtmlDrawer::LoadBackgroundImage(const QString& spec) const
{
    const qsizetype colon = spec.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    const QString kind = spec.left(colon);
    QString value = spec.mid(colon + 1);
    const qsizetype semicolon = value.indexOf(QLatin1Char(';'));
    if (semicolon >= 0)
        value.truncate(semicolon);
    QString path;
    if (kind == QLatin1String("idres"))
        path = ResourcePath(QStringLiteral("bitmap"), value, QStringLiteral(":/"));
    else if (kind == QLatin1String("iddll"))
        path = ResourcePath(QStringLiteral("bitmap"), value, m_resourceRoot);
    else if (kind == QLatin1String("file"))
        path = value;
    if (path.isEmpty())
        return std::nullopt;
    QImage image(path);
    if (image.isNull())
        return std::nullopt;
    return image;
}

int CHtmlDrawer::BorderInset(const CHtmlStyle& style)
{
    if (style.borderStyle == kBorderDouble)
        return 3;
    return style.borderStyle == kBorderNone ? 0 : style.borderWidth;
}

QSize CHtmlDrawer::LayoutTable(const QString& text, const QRect& area)
{
    if (m_tableDepth >= kMaxTableDepth)
        return QSize(0, 0);
    const HtmlTableSource source = HtmlTableSource::Parse(text);
    const int index = m_tableCounter++;
    if (!m_drawing && static_cast<int>(m_tables.size()) <= index)
        m_tables.resize(static_cast<size_t>(index) + 1);
    if (index >= static_cast<int>(m_tables.size()))
        return QSize(0, 0);

    const size_t depth = m_stack.size();
    ++m_tableDepth;
    PushStyle(QStringLiteral("table"));
    // Each table starts from its own defaults for what belongs to the box (padding,
    // spacing, border, background), whatever cell it sits in; text styles carry on.
    m_style.margin = 2;
    m_style.padding = 0;
    m_style.width = m_style.height = 0;
    m_style.borderStyle = kBorderNone;
    m_style.borderWidth = 0;
    m_style.backEffect = -1;
    m_style.backImage.clear();
    ApplyRule(QStringLiteral("table"), m_style);
    ApplyTableAttributes(source.table, m_style, true, false);
    SelectFont();
    const CHtmlStyle tableStyle = m_style;
    const int spacing = std::max(0, tableStyle.padding);

    const auto enterRow = [&](const HtmlTableSource::Row& row) {
        PushStyle(QStringLiteral("tr"));
        // The table's background shows through; rows and cells paint only their own.
        m_style.backEffect = -1;
        m_style.backImage.clear();
        ApplyRule(QStringLiteral("tr"), m_style);
        ApplyTableAttributes(row.tag, m_style, false, false);
    };
    const auto enterCell = [&](const HtmlTableSource::Cell& cell) {
        PushStyle(QStringLiteral("td"));
        m_style.width = m_style.height = 0;
        ApplyRule(QStringLiteral("td"), m_style);
        ApplyTableAttributes(cell.tag, m_style, false, true);
        SelectFont();
    };
    const auto leave = [&](const QString& name) {
        PopStyle(name);
        SelectFont();
    };

    QSize result;
    if (!m_drawing) {
        CHtmlTable record;
        std::vector<std::vector<std::pair<int, int>>> spans;
        const HtmlSizeMetrics plain{};
        for (const HtmlTableSource::Row& row : source.rows) {
            spans.emplace_back();
            for (const HtmlTableSource::Cell& cell : row.cells)
                spans.back().emplace_back(
                    std::clamp(CHtmlValueParser::ParseSize(cell.tag.Attribute(QStringLiteral("colspan")), 1, false, plain), 1, kMaxCount),
                    std::clamp(CHtmlValueParser::ParseSize(cell.tag.Attribute(QStringLiteral("rowspan")), 1, false, plain), 1, kMaxCount));
        }
        record.Place(spans);
        for (size_t r = 0; r < source.rows.size(); ++r) {
            enterRow(source.rows[r]);
            for (size_t k = 0; k < source.rows[r].cells.size(); ++k) {
                enterCell(source.rows[r].cells[k]);
                const CHtmlStyle cellStyle = m_style;
                const QSize content = LayoutBlocks(source.rows[r].cells[k].content, QRect(0, 0, 0, 0), 0);
                HtmlTableCell& entry = record.grid[r][static_cast<size_t>(record.cellColumns[r][k])];
                const int frame = 2 * (std::max(0, cellStyle.margin) + cellStyle.borderWidth);
                entry.contentWidth = content.width();
                entry.contentHeight = content.height();
                entry.fullWidth = std::max(cellStyle.width, content.width()) + frame;
                entry.fullHeight = std::max(cellStyle.height, content.height()) + frame;
                entry.fixed = cellStyle.width > 0;
                leave(QStringLiteral("td"));
            }
            leave(QStringLiteral("tr"));
        }
        record.ComputeTracks();
        record.width = CHtmlTable::OuterExtent(record.columnWidths, spacing, tableStyle.borderStyle, tableStyle.borderWidth);
        record.height = CHtmlTable::OuterExtent(record.rowHeights, spacing, tableStyle.borderStyle, tableStyle.borderWidth);
        m_tables[static_cast<size_t>(index)] = record;
        result = QSize(record.width, record.height);
    } else {
        const CHtmlTable record = m_tables[static_cast<size_t>(index)];
        std::vector<int> widths = record.columnWidths;
        int tableWidth = record.width;
        int left = area.left();
        const int missing = area.width() - tableWidth;
        if (missing > 0) {
            if (CHtmlTable::ShareMissingWidth(widths, record.fixedColumns, missing))
                tableWidth = area.width();
            else if (tableStyle.textAlign == kAlignCenter)
                left += missing / 2;
            else if (tableStyle.textAlign == kAlignRight)
                left += missing;
        }
        const QRect tableRect(left, area.top(), tableWidth, record.height);
        QPainter& painter = *m_painter;
        if (tableStyle.backEffect >= 0 && tableStyle.backEffect <= 15) {
            m_drawManager.FillEffect(painter, tableStyle.backEffect, tableRect, tableStyle.backColor,
                                     tableStyle.backMidColor, tableStyle.backEndColor, 5, 0);
        } else if (!tableStyle.backImage.isEmpty()) {
            if (const std::optional<QImage> image = LoadBackgroundImage(tableStyle.backImage))
                CDrawManager::TileBitmap(painter, tableRect, *image);
        }
        const HtmlColor light = m_enabled ? tableStyle.borderColorLight : m_disabledColor;
        const HtmlColor dark = m_enabled ? tableStyle.borderColorDark : m_disabledColor;
        m_drawManager.DrawRectangle(painter, tableRect, light, dark, tableStyle.borderStyle, tableStyle.borderWidth);
        const int inset = BorderInset(tableStyle);
        const QRect inside = tableRect.adjusted(inset, inset, -inset, -inset);

        for (size_t r = 0; r < source.rows.size() && r < record.cellColumns.size(); ++r) {
            enterRow(source.rows[r]);
            for (size_t k = 0; k < source.rows[r].cells.size() && k < record.cellColumns[r].size(); ++k) {
                enterCell(source.rows[r].cells[k]);
                const CHtmlStyle cellStyle = m_style;
                const int column = record.cellColumns[r][k];
                const HtmlTableCell& entry = record.grid[r][static_cast<size_t>(column)];
                const int row = static_cast<int>(r);
                const QRect cellRect(inside.left() + CHtmlTable::TrackOffset(widths, column, spacing),
                                     inside.top() + CHtmlTable::TrackOffset(record.rowHeights, row, spacing),
                                     CHtmlTable::SpanExtent(widths, column, entry.colSpan, spacing),
                                     CHtmlTable::SpanExtent(record.rowHeights, row, entry.rowSpan, spacing));
                if (cellStyle.backEffect >= 0 && cellStyle.backEffect <= 15)
                    m_drawManager.FillEffect(painter, cellStyle.backEffect, cellRect, cellStyle.backColor,
                                             cellStyle.backMidColor, cellStyle.backEndColor, 5, 0);
                // Sunken against the table's raised border.
                const HtmlColor cellLight = m_enabled ? cellStyle.borderColorLight : m_disabledColor;
                const HtmlColor cellDark = m_enabled ? cellStyle.borderColorDark : m_disabledColor;
                m_drawManager.DrawRectangle(painter, cellRect, cellDark, cellLight, cellStyle.borderStyle,
                                            cellStyle.borderStyle == kBorderNone ? 0 : 1);
                const int cellInset = std::max(0, cellStyle.margin) + cellStyle.borderWidth;
                const QRect contentRect = cellRect.adjusted(cellInset, cellInset, -cellInset, -cellInset);
                int top = contentRect.top();
                if (cellStyle.verticalAlign == kVAlignMiddle)
                    top += (contentRect.height() - entry.contentHeight) / 2;
                else if (cellStyle.verticalAlign == kVAlignBottom)
                    top = contentRect.top() + contentRect.height() - entry.contentHeight;
                LayoutBlocks(source.rows[r].cells[k].content,
                             QRect(contentRect.left(), top, std::max(0, contentRect.width()), entry.contentHeight), 0);
                leave(QStringLiteral("td"));
            }
            leave(QStringLiteral("tr"));
        }
        result = QSize(tableWidth, record.height);
    }

    if (m_stack.size() > depth) {
        m_style = m_stack[depth];
        m_stack.resize(depth);
    }
    --m_tableDepth;
    SelectFont();
    return result;
}

// ------------------------------------------------------------------------------------
// Links and options

void CHtmlDrawer::SetRepaintNotification(RepaintNotification notification)
{
    m_repaintNotification = std::move(notification);
}

void CHtmlDrawer::SetLinkMessageNotification(LinkMessageNotification notification)
{
    m_linkMessageNotification = std::move(notification);
}

const HtmlLinkArea* CHtmlDrawer::HitLink(const QPoint& point) const
{
    for (const HtmlLinkArea& area : m_linkAreas) {
        const QRect& r = area.rect;
        if (point.x() >= r.left() && point.x() <= r.left() + r.width() && point.y() >= r.top() &&
            point.y() <= r.top() + r.height())
            return &area;
    }
    return nullptr;
}

bool CHtmlDrawer::UpdateHoverAndCursor(const QPoint& point)
{
    const HtmlLinkArea* hit = HitLink(point);
    if (hit) {
        const bool hasTarget = !hit->target.isEmpty();
        if (hit->number != m_hoveredLink) {
            m_hoveredLink = hit->number;
            if (m_repaintNotification)
                m_repaintNotification(m_hoveredLink);
        }
        return hasTarget;
    }
    if (m_hoveredLink != kNoHover) {
        m_hoveredLink = kNoHover;
        if (m_repaintNotification)
            m_repaintNotification(m_hoveredLink);
    }
    return false;
}

void CHtmlDrawer::ClickAt(const QPoint& point)
{
    const HtmlLinkArea* hit = HitLink(point);
    if (!hit || hit->target.isEmpty())
        return;
    const HtmlLinkArea area = *hit; // the notification may re-measure
    if (area.kind == kLinkHref)
        OpenTarget(area.target);
    else if (area.kind == kLinkMessage && m_linkMessageNotification)
        m_linkMessageNotification(area.target);
}

void CHtmlDrawer::OpenTarget(const QString& target)
{
    if (OpenInDesktop(LinkTargetToUrl(target)))
        return;
    QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

void CHtmlDrawer::AdvanceAnimations()
{
    for (HtmlStripAnimation& animation : m_animations) {
        if (animation.frameCount <= 0)
            continue;
        const long long next = static_cast<long long>(animation.current) + animation.speed;
        animation.current = static_cast<int>(((next % animation.frameCount) + animation.frameCount) % animation.frameCount);
    }
}

void CHtmlDrawer::SetImageShadow(int offsetX, int offsetY, int darkenPercent, bool gradient, int depthX, int depthY)
{
    m_shadowOffsetX = offsetX;
    m_shadowOffsetY = offsetY;
    m_shadowDarken = std::clamp(darkenPercent, 0, 100);
    m_shadowGradient = gradient;
    m_shadowDepthX = depthX;
    m_shadowDepthY = depthY;
}

void CHtmlDrawer::SetEnabled(bool enabled)
{
    m_enabled = enabled;
}

void CHtmlDrawer::SetHandCursor(const std::optional<QCursor>& cursor)
{
    m_handCursor = cursor ? *cursor : QCursor(Qt::PointingHandCursor);
}

} // namespace tavrin
