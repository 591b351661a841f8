#include "html/HtmlTableLayout.h"

#include "html/HtmlLayoutBuilder.h"
#include "html/HtmlStyleSheet.h"
#include "html/HtmlTokenizer.h"
#include "html/HtmlValueParser.h"

#include <algorithm>

namespace tavrin {

namespace {
constexpr int kMaxCount = CHtmlLayoutBuilder::kMaxCount;
constexpr int kMaxExtent = CHtmlLayoutBuilder::kMaxExtent;
} // namespace

QSize CHtmlTableLayout::Layout(const QString& text, const QRect& area)
{
    CHtmlLayoutBuilder& b = m_builder;
    if (b.m_tableDepth >= CHtmlLayoutBuilder::kMaxTableDepth)
        return QSize(0, 0);
    const HtmlTableSource source = HtmlTableSource::Parse(text);
    const int index = b.m_tableCounter++;
    std::vector<CHtmlTable>& tables = b.m_layout.m_tables;
    if (!b.Placing() && static_cast<int>(tables.size()) <= index)
        tables.resize(static_cast<size_t>(index) + 1);
    if (index >= static_cast<int>(tables.size()))
        return QSize(0, 0);

    const size_t depth = b.m_stack.size();
    ++b.m_tableDepth;
    EnterTable(source.table);
    const CHtmlStyle tableStyle = b.m_style;
    QSize result;
    if (!b.Placing()) {
        tables[static_cast<size_t>(index)] = Measure(source, tableStyle);
        result = QSize(tables[static_cast<size_t>(index)].width, tables[static_cast<size_t>(index)].height);
    } else {
        const CHtmlTable record = tables[static_cast<size_t>(index)];
        result = Place(source, record, tableStyle, area);
    }
    if (b.m_stack.size() > depth)
        b.RestoreStyle(depth);
    --b.m_tableDepth;
    b.SelectFont();
    return result;
}

// ------------------------------------------------------------------------------------
// Style scopes

void CHtmlTableLayout::EnterTable(const HtmlTag& tag)
{
    CHtmlLayoutBuilder& b = m_builder;
    b.PushStyle(QStringLiteral("table"));
    CHtmlStyle& style = b.m_style;
    // Each table starts from its own defaults for what belongs to the box (padding,
    // spacing, border, background), whatever cell it sits in; text styles carry on.
    style.margin = 2;
    style.padding = 0;
    style.width = style.height = 0;
    style.borderStyle = kBorderNone;
    style.borderWidth = 0;
    style.backEffect = -1;
    style.backImage.clear();
    b.ApplyRule(QStringLiteral("table"), style);
    ApplyAttributes(tag, style, true, false);
    // No link is open where a table starts: flow parts close theirs.
    b.m_hotStyle = style;
    b.SelectFont();
}

void CHtmlTableLayout::EnterRow(const HtmlTag& tag)
{
    CHtmlLayoutBuilder& b = m_builder;
    b.PushStyle(QStringLiteral("tr"));
    CHtmlStyle& style = b.m_style;
    // The table's background shows through; rows and cells paint only their own.
    style.backEffect = -1;
    style.backImage.clear();
    b.ApplyRule(QStringLiteral("tr"), style);
    ApplyAttributes(tag, style, false, false);
    b.m_hotStyle = style;
}

void CHtmlTableLayout::EnterCell(const HtmlTag& tag)
{
    CHtmlLayoutBuilder& b = m_builder;
    b.PushStyle(QStringLiteral("td"));
    CHtmlStyle& style = b.m_style;
    style.width = style.height = 0;
    b.ApplyRule(QStringLiteral("td"), style);
    ApplyAttributes(tag, style, false, true);
    b.m_hotStyle = style;
    b.SelectFont();
}

void CHtmlTableLayout::Leave(const QString& name)
{
    m_builder.PopStyle(name);
    m_builder.SelectFont();
}

void CHtmlTableLayout::ApplyAttributes(const HtmlTag& tag, CHtmlStyle& style, bool isTable, bool isCell) const
{
    const CHtmlLayoutBuilder& b = m_builder;
    const HtmlApplyContext context = b.ApplyContext();
    const HtmlSizeMetrics& metrics = context.metrics;
    const bool enabled = b.m_options.enabled;
    const auto colour = [&](const QString& value, HtmlColor current) { return b.AttributeColor(value, current); };
    const auto parseColour = [&](const QString& value, HtmlColor current) {
        return CHtmlValueParser::ParseColor(value, current, *context.colors);
    };
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
            style.borderColorLight = style.borderColorDark = colour(value, style.borderColorLight);
        } else if (name == QLatin1String("bordercolorlight")) {
            style.borderColorLight = colour(value, style.borderColorLight);
        } else if (name == QLatin1String("bordercolordark")) {
            style.borderColorDark = colour(value, style.borderColorDark);
        } else if (name == QLatin1String("bgcolor")) {
            if (enabled) {
                style.backColor = parseColour(value, style.backColor);
                if (style.backEffect == -1)
                    style.backEffect = 0;
            }
        } else if (name == QLatin1String("bgmidcolor")) {
            if (enabled)
                style.backMidColor = parseColour(value, style.backMidColor);
        } else if (name == QLatin1String("bgendcolor")) {
            if (enabled)
                style.backEndColor = parseColour(value, style.backEndColor);
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
    SettleBorder(style, isTable, isCell);
}

void CHtmlTableLayout::SettleBorder(CHtmlStyle& style, bool isTable, bool isCell)
{
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

int CHtmlTableLayout::BorderInset(const CHtmlStyle& style)
{
    if (style.borderStyle == kBorderDouble)
        return 3;
    return style.borderStyle == kBorderNone ? 0 : style.borderWidth;
}

// ------------------------------------------------------------------------------------
// Measuring

std::vector<std::vector<std::pair<int, int>>> CHtmlTableLayout::Spans(const HtmlTableSource& source)
{
    std::vector<std::vector<std::pair<int, int>>> spans;
    const HtmlSizeMetrics plain{};
    const auto span = [&](const HtmlTag& tag, const char* name) {
        return std::clamp(CHtmlValueParser::ParseSize(tag.Attribute(QLatin1String(name)), 1, false, plain), 1, kMaxCount);
    };
    for (const HtmlTableSource::Row& row : source.rows) {
        spans.emplace_back();
        for (const HtmlTableSource::Cell& cell : row.cells)
            spans.back().emplace_back(span(cell.tag, "colspan"), span(cell.tag, "rowspan"));
    }
    return spans;
}

CHtmlTable CHtmlTableLayout::Measure(const HtmlTableSource& source, const CHtmlStyle& tableStyle)
{
    CHtmlTable record;
    record.Place(Spans(source));
    for (size_t r = 0; r < source.rows.size(); ++r) {
        EnterRow(source.rows[r].tag);
        for (size_t k = 0; k < source.rows[r].cells.size(); ++k) {
            EnterCell(source.rows[r].cells[k].tag);
            MeasureCell(source.rows[r].cells[k].content, record.grid[r][static_cast<size_t>(record.cellColumns[r][k])]);
            Leave(QStringLiteral("td"));
        }
        Leave(QStringLiteral("tr"));
    }
    record.ComputeTracks();
    const int spacing = std::max(0, tableStyle.padding);
    record.width = CHtmlTable::OuterExtent(record.columnWidths, spacing, tableStyle.borderStyle, tableStyle.borderWidth);
    record.height = CHtmlTable::OuterExtent(record.rowHeights, spacing, tableStyle.borderStyle, tableStyle.borderWidth);
    return record;
}

void CHtmlTableLayout::MeasureCell(const QString& content, HtmlTableCell& entry)
{
    const CHtmlStyle cellStyle = m_builder.m_style;
    const QSize size = m_builder.LayoutBlocks(content, QRect(0, 0, 0, 0), 0);
    const int frame = 2 * (std::max(0, cellStyle.margin) + cellStyle.borderWidth);
    entry.contentWidth = size.width();
    entry.contentHeight = size.height();
    entry.fullWidth = std::max(cellStyle.width, size.width()) + frame;
    entry.fullHeight = std::max(cellStyle.height, size.height()) + frame;
    entry.fixed = cellStyle.width > 0;
}

// ------------------------------------------------------------------------------------
// Placing

QSize CHtmlTableLayout::Place(const HtmlTableSource& source, const CHtmlTable& record, const CHtmlStyle& tableStyle,
                              const QRect& area)
{
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
    AddTableBox(tableRect, tableStyle);
    const int inset = BorderInset(tableStyle);
    const QRect inside = tableRect.adjusted(inset, inset, -inset, -inset);
    const int spacing = std::max(0, tableStyle.padding);

    for (size_t r = 0; r < source.rows.size() && r < record.cellColumns.size(); ++r) {
        EnterRow(source.rows[r].tag);
        for (size_t k = 0; k < source.rows[r].cells.size() && k < record.cellColumns[r].size(); ++k) {
            EnterCell(source.rows[r].cells[k].tag);
            const int column = record.cellColumns[r][k];
            const int row = static_cast<int>(r);
            const HtmlTableCell& entry = record.grid[r][static_cast<size_t>(column)];
            const QRect cellRect(inside.left() + CHtmlTable::TrackOffset(widths, column, spacing),
                                 inside.top() + CHtmlTable::TrackOffset(record.rowHeights, row, spacing),
                                 CHtmlTable::SpanExtent(widths, column, entry.colSpan, spacing),
                                 CHtmlTable::SpanExtent(record.rowHeights, row, entry.rowSpan, spacing));
            PlaceCell(source.rows[r].cells[k].content, entry, cellRect);
            Leave(QStringLiteral("td"));
        }
        Leave(QStringLiteral("tr"));
    }
    return QSize(tableWidth, record.height);
}

void CHtmlTableLayout::AddTableBox(const QRect& rect, const CHtmlStyle& style)
{
    HtmlBox box = StyledBox(rect, style, false);
    if (box.effect < 0 && !style.backImage.isEmpty())
        box.tile = m_builder.m_loader.LoadBackground(style.backImage);
    box.borderWidth = style.borderWidth;
    m_builder.m_layout.m_items.emplace_back(std::move(box));
}

HtmlBox CHtmlTableLayout::StyledBox(const QRect& rect, const CHtmlStyle& style, bool sunken) const
{
    const HtmlLayoutOptions& options = m_builder.m_options;
    HtmlBox box;
    box.rect = rect;
    if (style.backEffect >= 0 && style.backEffect <= 15)
        box.effect = style.backEffect;
    box.color1 = style.backColor;
    box.color2 = style.backMidColor;
    box.color3 = style.backEndColor;
    const HtmlColor light = options.enabled ? style.borderColorLight : options.disabledColor;
    const HtmlColor dark = options.enabled ? style.borderColorDark : options.disabledColor;
    box.borderTopLeft = sunken ? dark : light;
    box.borderBottomRight = sunken ? light : dark;
    box.borderStyle = style.borderStyle;
    return box;
}

void CHtmlTableLayout::PlaceCell(const QString& content, const HtmlTableCell& entry, const QRect& cellRect)
{
    CHtmlLayoutBuilder& b = m_builder;
    const CHtmlStyle cellStyle = b.m_style;
    HtmlBox box = StyledBox(cellRect, cellStyle, true);
    box.cell = true;
    box.borderWidth = cellStyle.borderStyle == kBorderNone ? 0 : 1;
    b.m_layout.m_items.emplace_back(std::move(box));

    const int cellInset = std::max(0, cellStyle.margin) + cellStyle.borderWidth;
    const QRect contentRect = cellRect.adjusted(cellInset, cellInset, -cellInset, -cellInset);
    int top = contentRect.top();
    if (cellStyle.verticalAlign == kVAlignMiddle)
        top += (contentRect.height() - entry.contentHeight) / 2;
    else if (cellStyle.verticalAlign == kVAlignBottom)
        top = contentRect.top() + contentRect.height() - entry.contentHeight;
    b.LayoutBlocks(content, QRect(contentRect.left(), top, std::max(0, contentRect.width()), entry.contentHeight), 0);
}

} // namespace tavrin
