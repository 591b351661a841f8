#include "html/HtmlLayoutBuilder.h"

#include "html/HtmlColorTable.h"
#include "html/HtmlFontMaker.h"
#include "html/HtmlPictureMaker.h"
#include "html/HtmlTableLayout.h"
#include "html/HtmlTextFitting.h"
#include "html/HtmlTokenizer.h"
#include "html/HtmlValueParser.h"

#include <QHash>

#include <algorithm>

namespace tavrin {
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

const CHtmlStyleSheet& DefaultSheet()
{
    static const CHtmlStyleSheet sheet;
    return sheet;
}

const CHtmlColorTable& DefaultColors()
{
    static const CHtmlColorTable colors;
    return colors;
}

} // namespace

// ------------------------------------------------------------------------------------
// Phases

CHtmlLayoutBuilder::CHtmlLayoutBuilder(const HtmlLayoutOptions& options, CHtmlFontMaker& fonts, CHtmlLayout& layout)
    : m_options(options),
      m_fonts(fonts),
      m_layout(layout),
      m_loader(options.resourceRoot),
      m_sheet(options.sheet ? options.sheet : &DefaultSheet())
{
}

CHtmlLayout CHtmlLayoutBuilder::Build(const QString& preparedText, const HtmlLayoutOptions& options, int width,
                                      CHtmlFontMaker& fonts)
{
    CHtmlLayout layout;
    layout.m_width = width;
    if (preparedText.isEmpty())
        return layout;
    CHtmlLayoutBuilder builder(options, fonts, layout);
    const QSize size = builder.RunPhase(Phase::Measuring, preparedText, QRect(0, 0, options.maxWidth, 0));
    if (size.width() == 0 && size.height() == 0) {
        layout = CHtmlLayout{};
        layout.m_width = width;
        return layout;
    }
    layout.m_size = size;
    builder.RunPhase(Phase::Placing, preparedText, QRect(0, 0, width, size.height()));
    return layout;
}

QSize CHtmlLayoutBuilder::RunPhase(Phase phase, const QString& text, const QRect& area)
{
    m_phase = phase;
    m_lineCounter = 0;
    m_tableCounter = 0;
    m_linkCounter = 0;
    m_linkNumber = 0;
    m_stripCounter = 0;
    m_sourceCounter = 0;
    m_tableDepth = 0;
    m_stack.clear();

    m_style = CHtmlStyle{};
    m_hotStyle = m_style;
    SelectFont();
    ApplyRule(QStringLiteral("body"), m_style);
    m_hotStyle = m_style;
    SelectFont();

    return LayoutBlocks(text, area, m_options.maxWidth);
}

QSize CHtmlLayoutBuilder::LayoutBlocks(const QString& text, const QRect& area, int wrapWidth)
{
    int width = 0;
    int height = 0;
    for (const HtmlBlock& block : CHtmlTokenizer::SplitBlocks(text)) {
        const QRect partArea(area.left(), area.top() + height, area.width(), std::max(0, area.height() - height));
        const QSize size = block.isTable ? CHtmlTableLayout(*this).Layout(block.text, partArea)
                                         : LayoutFlow(block.text, partArea, wrapWidth);
        width = std::max(width, size.width());
        height += size.height();
    }
    return QSize(width, height);
}

QSize CHtmlLayoutBuilder::LayoutFlow(const QString& text, const QRect& area, int wrapWidth)
{
    const QRect savedArea = m_area;
    const int savedWrap = m_wrapWidth;
    m_area = area;
    m_wrapWidth = wrapWidth;
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
        RestoreStyle(depth);
        SelectFont();
    }

    const QSize size(m_textWidth, m_y - area.top());
    m_area = savedArea;
    m_wrapWidth = savedWrap;
    return size;
}

// ------------------------------------------------------------------------------------
// Lines

void CHtmlLayoutBuilder::StartLine()
{
    m_layoutX = 0;
    m_placeExtra = 0;
    m_lineTop = m_y;
    m_lineMaxAscent = 0;
    m_lineHasContent = false;
    m_lineHasItems = false;
    m_lineShift = 0;
    m_justifyExtra = 0;
    m_justifyRemainder = 0;
    if (Placing())
        StartPlacedLine();
    else
        StartMeasuredLine();
}

void CHtmlLayoutBuilder::StartMeasuredLine()
{
    m_line = HtmlLineRecord{};
    m_line.align = m_style.textAlign;
}

void CHtmlLayoutBuilder::StartPlacedLine()
{
    const std::vector<HtmlLineRecord>& lines = m_layout.m_lines;
    m_line = m_lineCounter < static_cast<int>(lines.size()) ? lines[static_cast<size_t>(m_lineCounter)] : HtmlLineRecord{};
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

int CHtmlLayoutBuilder::EndLine(bool wrapped)
{
    if (!Placing()) {
        m_line.width = m_layoutX;
        m_line.wrapped = wrapped;
        m_line.height = (m_lineHasItems ? m_lineMaxAscent : m_fontHeight) + m_line.maxDescent;
        m_layout.m_lines.push_back(m_line);
    }
    m_textWidth = std::max(m_textWidth, m_line.width);
    ++m_lineCounter;
    m_y += m_line.height;
    return m_line.height;
}

void CHtmlLayoutBuilder::NoteItem(int heightAboveBaseline, int descent)
{
    m_lineMaxAscent = std::max(m_lineMaxAscent, heightAboveBaseline);
    if (!Placing())
        m_line.maxDescent = std::max(m_line.maxDescent, descent);
    m_lineHasItems = true;
    m_lineHasContent = true;
}

void CHtmlLayoutBuilder::NoteAlignment()
{
    if (!Placing())
        m_line.align = m_style.textAlign;
}

int CHtmlLayoutBuilder::PlaceVertically(int height, int ascent) const
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

int CHtmlLayoutBuilder::PenX() const
{
    return m_area.left() + m_lineShift + m_layoutX + m_placeExtra;
}

// ------------------------------------------------------------------------------------
// Text

QString CHtmlLayoutBuilder::CutToLine(const QString& remaining, const QFontMetrics& metrics, bool allowWrap,
                                      QString& rest) const
{
    rest.clear();
    const int spaceLeft = m_wrapWidth - m_layoutX;
    const qsizetype fit =
        allowWrap && m_wrapWidth > 0 ? HtmlTextFitting::FittingLength(metrics, remaining, spaceLeft) : remaining.size();
    if (fit >= remaining.size())
        return remaining;
    QString piece;
    const qsizetype end = HtmlTextFitting::LastBreakWithin(remaining, fit);
    if (end > 0) {
        piece = HtmlTextFitting::TrimTrailingSpaces(remaining.left(end));
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
    rest = HtmlTextFitting::TrimLeadingSpaces(rest);
    return piece;
}

void CHtmlLayoutBuilder::PlaceText(const QString& input, bool allowWrap)
{
    QString remaining = Transform(input, m_style.textTransform);
    while (!remaining.isEmpty()) {
        const QFontMetrics metrics = FontMetrics();
        QString rest;
        const QString piece = CutToLine(remaining, metrics, allowWrap, rest);
        if (!piece.isEmpty()) {
            const int width = metrics.horizontalAdvance(piece);
            NoteItem(m_fontAscent, m_fontDescent);
            if (!Placing()) {
                m_line.align = m_style.textAlign;
                m_line.spaces += static_cast<int>(piece.count(QLatin1Char(' ')));
            } else {
                AddTextRun(piece, width);
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

void CHtmlLayoutBuilder::AddTextRun(const QString& piece, int width)
{
    HtmlTextRun run;
    run.text = piece;
    run.ascent = m_fontAscent;
    run.style = m_style;
    run.font = m_font;
    run.hotStyle = m_hotStyle;
    run.hotFont = m_hotFont;
    run.linkNumber = OpenLinkNumber();

    // A justified line spreads its missing width over its blanks: each word starts at
    // its measured offset plus the extra pixels of the blanks before it, so the line
    // ends exactly where its record says.
    int advance = width;
    if ((m_justifyExtra > 0 || m_justifyRemainder > 0) && piece.contains(QLatin1Char(' '))) {
        const QFontMetrics metrics = FontMetrics();
        int spread = 0;
        qsizetype i = 0;
        while (i < piece.size()) {
            if (piece[i] == QLatin1Char(' ')) {
                spread += m_justifyExtra;
                if (m_justifyRemainder > 0) {
                    ++spread;
                    --m_justifyRemainder;
                }
                ++i;
                continue;
            }
            qsizetype end = i;
            while (end < piece.size() && piece[end] != QLatin1Char(' '))
                ++end;
            run.words.emplace_back(piece.mid(i, end - i), metrics.horizontalAdvance(piece.left(i)) + spread);
            i = end;
        }
        advance = width + spread;
    }

    const int top = PlaceVertically(m_fontHeight, m_fontAscent);
    run.rect = QRect(PenX(), top, advance, m_fontHeight);
    AddLinkArea(run.rect);
    m_layout.m_items.emplace_back(std::move(run));
    m_placeExtra += advance - width;
}

int CHtmlLayoutBuilder::OpenLinkNumber() const
{
    return m_style.linkKind == kLinkNone ? 0 : m_linkNumber;
}

void CHtmlLayoutBuilder::AddLinkArea(const QRect& rect)
{
    if (!Placing() || OpenLinkNumber() == 0)
        return;
    m_layout.m_linkAreas.push_back(HtmlLinkArea{rect, m_style.linkKind, m_linkNumber, m_style.linkTarget});
}

// ------------------------------------------------------------------------------------
// Tags

void CHtmlLayoutBuilder::HandleTag(const HtmlTag& tag)
{
    const auto& table = TagTable();
    const auto it = table.constFind(tag.name);
    if (it == table.constEnd())
        return;
    if (HandleStyleTag(tag, it->id, it->styleName))
        return;
    switch (it->id) {
    case kTagRule: HandleRule(tag); break;
    case kTagBreak: HandleBreak(tag.Count()); break;
    case kTagTab: HandleTab(tag.Count()); break;
    case kTagString: HandleString(tag); break;
    case kTagBitmap:
    case kTagIcon:
    case kTagImageList: HandleImage(tag, it->id); break;
    default: break;
    }
}

bool CHtmlLayoutBuilder::HandleStyleTag(const HtmlTag& tag, int tagId, const QString& styleName)
{
    if (styleName.isEmpty())
        return false;
    if (tag.closing) {
        PopStyle(styleName);
    } else {
        PushStyle(styleName);
        if (tagId == kTagLink) {
            HandleLinkTag(tag);
        } else {
            ApplyTagEffect(tag, tagId, m_style);
            ApplyTagEffect(tag, tagId, m_hotStyle);
        }
    }
    SelectFont();
    return true;
}

void CHtmlLayoutBuilder::ApplyTagEffect(const HtmlTag& tag, int tagId, CHtmlStyle& style) const
{
    switch (tagId) {
    case kTagBold: style.fontWeight = std::min(900, style.fontWeight * 2); break;
    case kTagItalic: style.italic = !style.italic; break;
    case kTagUnderline: style.underline = !style.underline; break;
    case kTagStrikeout: style.strikeout = !style.strikeout; break;
    case kTagFont: HandleFontTag(tag, style); break;
    case kTagLeft: style.textAlign = kAlignLeft; break;
    case kTagCenter: style.textAlign = kAlignCenter; break;
    case kTagRight: style.textAlign = kAlignRight; break;
    case kTagJustify: style.textAlign = kAlignJustify; break;
    case kTagBaseline: style.verticalAlign = kVAlignBaseline; break;
    case kTagTop: style.verticalAlign = kVAlignTop; break;
    case kTagVCenter: style.verticalAlign = kVAlignMiddle; break;
    case kTagBottom: style.verticalAlign = kVAlignBottom; break;
    case kTagStyleRule: ApplyRule(tag.name, style); break;
    case kTagSpan:
        for (const HtmlAttribute& attribute : tag.attributes)
            if (attribute.first == QLatin1String("class"))
                ApplyRule(QLatin1Char('.') + attribute.second, style);
        break;
    default: break;
    }
}

void CHtmlLayoutBuilder::HandleFontTag(const HtmlTag& tag, CHtmlStyle& style) const
{
    const HtmlSizeMetrics metrics = ApplyContext().metrics;
    for (const auto& [name, value] : tag.attributes) {
        if (name == QLatin1String("face")) {
            if (!value.isEmpty())
                style.fontFamily = value;
        } else if (name == QLatin1String("size")) {
            style.fontSize = CHtmlValueParser::ParseSize(value, style.fontSize, true, metrics);
        } else if (name == QLatin1String("color")) {
            style.textColor = AttributeColor(value, style.textColor);
        } else if (name == QLatin1String("style")) {
            CHtmlValueParser::ParseFontStyleLetters(value, style);
        } else if (name == QLatin1String("weight")) {
            style.fontWeight = CHtmlStyleSheet::ParseFontWeight(value);
        } else if (name == QLatin1String("bkgnd")) {
            if (value.isEmpty() || value == QLatin1String("transparent") || !m_options.enabled) {
                style.backMode = kBackTransparent;
            } else {
                style.backMode = kBackOpaque;
                style.backColor = AttributeColor(value, style.backColor);
            }
        }
    }
}

void CHtmlLayoutBuilder::HandleLinkTag(const HtmlTag& tag)
{
    int kind = kLinkMessage;
    QString target;
    for (const auto& [name, value] : tag.attributes) {
        if (name == QLatin1String("href")) {
            kind = kLinkHref;
            target = value;
        } else if (name == QLatin1String("msg")) {
            kind = kLinkMessage;
            target = value;
        }
    }
    for (CHtmlStyle* style : {&m_style, &m_hotStyle}) {
        style->linkKind = kind;
        style->linkTarget = target;
    }
    m_linkNumber = ++m_linkCounter;
    // Laid out in the plain look; the hover look only recolours and decorates.
    ApplyRule(QStringLiteral("a:link"), m_style);
    ApplyRule(QStringLiteral("a:hover"), m_hotStyle);
}

void CHtmlLayoutBuilder::HandleRule(const HtmlTag& tag)
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
    int placedWidth = 0;
    if (CHtmlValueParser::IsPercent(widthText)) {
        // Several wide rules on one line add up: keep the sum within bounds too.
        const int percent = std::clamp(CHtmlValueParser::LeadingInt(widthText), 0, kMaxCount);
        if (!Placing())
            m_line.widthPercent = std::min(kMaxCount, m_line.widthPercent + percent);
        layoutWidth = 1;
        placedWidth = CHtmlValueParser::MulDiv(m_area.width(), percent, 100);
    } else {
        layoutWidth = placedWidth = std::clamp(CHtmlValueParser::ParseSize(widthText, 0, false, metrics), 0, kMaxExtent);
    }

    NoteItem(thickness + 8, 0);
    NoteAlignment();
    if (Placing() && placedWidth > 0)
        m_layout.m_items.emplace_back(HtmlRule{QRect(PenX(), m_lineTop + m_line.height / 2, placedWidth, thickness),
                                               colour, thickness});
    m_layoutX += layoutWidth;
    if (Placing())
        m_placeExtra += placedWidth - layoutWidth;
}

void CHtmlLayoutBuilder::HandleBreak(int count)
{
    const int height = EndLine(false);
    m_y += (std::clamp(count, 1, kMaxCount) - 1) * height;
    StartLine();
}

void CHtmlLayoutBuilder::HandleTab(int count)
{
    if (m_options.tabSize <= 0)
        return;
    const long long stops = std::clamp(count, 1, kMaxCount);
    const int tab = m_options.tabSize;
    m_layoutX = static_cast<int>(std::min<long long>(kMaxExtent, (m_layoutX / tab + stops) * tab));
    // Stops stay on the grid when placing, whatever a justified run spread before.
    m_placeExtra = 0;
    m_lineHasContent = true;
}

void CHtmlLayoutBuilder::HandleString(const HtmlTag& tag)
{
    LoadedSource& source = Source();
    if (!Placing())
        source.text = m_loader.LoadString(tag);
    if (source.text)
        PlaceText(*source.text, false);
}

// ------------------------------------------------------------------------------------
// Pictures

CHtmlLayoutBuilder::LoadedSource& CHtmlLayoutBuilder::Source()
{
    // Both phases meet the same picture and string tags in the same order.
    const size_t index = static_cast<size_t>(m_sourceCounter++);
    if (m_sources.size() <= index)
        m_sources.resize(index + 1);
    return m_sources[index];
}

void CHtmlLayoutBuilder::HandleImage(const HtmlTag& tag, int tagId)
{
    LoadedSource& source = Source();
    if (!Placing()) {
        const auto kind = tagId == kTagBitmap ? CHtmlPictureMaker::Kind::Bitmap
                          : tagId == kTagIcon ? CHtmlPictureMaker::Kind::Icon
                                              : CHtmlPictureMaker::Kind::ImageList;
        const HtmlApplyContext context = ApplyContext();
        source.picture = CHtmlPictureMaker(m_options, m_loader, *context.colors, context.metrics).Make(tag, kind);
    }
    if (source.picture)
        PlacePicture(*source.picture);
}

void CHtmlLayoutBuilder::PlacePicture(HtmlPicture picture)
{
    if (picture.source == HtmlPicture::Source::StripFrame && picture.speed != 0) {
        picture.stripNumber = m_stripCounter++;
        if (!Placing())
            m_layout.m_animations.push_back(
                HtmlStripAnimation{picture.stripNumber, picture.frameCount, picture.speed, picture.frame});
    }
    const int boxWidth = picture.box.width();
    const int boxHeight = picture.box.height();
    if (m_wrapWidth > 0 && m_layoutX > 0 && m_layoutX + boxWidth > m_wrapWidth) {
        EndLine(true);
        StartLine();
    }
    NoteItem(boxHeight, 0);
    NoteAlignment();
    if (Placing()) {
        const QPoint at(PenX(), PlaceVertically(boxHeight, -1));
        picture.rect.moveTo(at);
        picture.box.moveTo(at);
        picture.linkNumber = OpenLinkNumber();
        AddLinkArea(picture.box);
        m_layout.m_items.emplace_back(std::move(picture));
    }
    m_layoutX += boxWidth;
}

// ------------------------------------------------------------------------------------
// Style and font

void CHtmlLayoutBuilder::PushStyle(const QString& name)
{
    m_stack.push_back(SavedStyle{m_style, m_hotStyle});
    m_style.name = name;
    m_hotStyle.name = name;
}

bool CHtmlLayoutBuilder::PopStyle(const QString& name)
{
    if (m_stack.empty() || m_style.name != name)
        return false;
    m_style = m_stack.back().style;
    m_hotStyle = m_stack.back().hotStyle;
    m_stack.pop_back();
    if (m_style.linkKind == kLinkNone)
        m_linkNumber = 0;
    return true;
}

void CHtmlLayoutBuilder::RestoreStyle(size_t depth)
{
    m_style = m_stack[depth].style;
    m_hotStyle = m_stack[depth].hotStyle;
    m_stack.resize(depth);
}

HtmlApplyContext CHtmlLayoutBuilder::ApplyContext() const
{
    HtmlApplyContext context;
    context.colors = m_options.colors ? m_options.colors : &DefaultColors();
    context.metrics = HtmlSizeMetrics{m_xHeight, m_fontHeight, m_options.dpiY};
    context.disabled = !m_options.enabled;
    context.disabledColor = m_options.disabledColor;
    return context;
}

void CHtmlLayoutBuilder::ApplyRule(const QString& selector, CHtmlStyle& style) const
{
    m_sheet->ApplyStyle(selector, style, ApplyContext());
}

HtmlColor CHtmlLayoutBuilder::AttributeColor(const QString& value, HtmlColor current) const
{
    if (!m_options.enabled)
        return m_options.disabledColor;
    return CHtmlValueParser::ParseColor(value, current, *ApplyContext().colors);
}

void CHtmlLayoutBuilder::SelectFont()
{
    m_font = m_fonts.MakeFont(m_style);
    // Only a link's runs have a look of their own while hovered.
    m_hotFont = OpenLinkNumber() != 0 && !(m_hotStyle == m_style) ? m_fonts.MakeFont(m_hotStyle) : m_font;
    const QFontMetrics metrics = FontMetrics();
    m_fontAscent = metrics.ascent();
    m_fontDescent = metrics.descent();
    m_fontHeight = m_fontAscent + m_fontDescent;
    m_xHeight = metrics.xHeight();
}

} // namespace tavrin
