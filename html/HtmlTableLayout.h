// Lays out one "table" element for CHtmlLayoutBuilder: in the measuring phase it
// measures the cells and records the table's tracks; in the placing phase it shares
// out spare width, adds the table's and cells' boxes and places each cell's content.
#pragma once

#include "html/HtmlLayoutItem.h"
#include "html/HtmlStyle.h"
#include "html/HtmlTable.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <utility>
#include <vector>

namespace tavrin {

class CHtmlLayoutBuilder;
struct HtmlTag;

class CHtmlTableLayout {
public:
    explicit CHtmlTableLayout(CHtmlLayoutBuilder& builder) : m_builder(builder) {}

    // `text` runs from "<table" to its "</table>"; returns the table's size.
    QSize Layout(const QString& text, const QRect& area);

private:
    // Style scopes of the table, its rows and cells (each undone by Leave).
    void EnterTable(const HtmlTag& tag);
    void EnterRow(const HtmlTag& tag);
    void EnterCell(const HtmlTag& tag);
    void Leave(const QString& name);
    // Table and cell attributes shared by table, tr and td.
    void ApplyAttributes(const HtmlTag& tag, CHtmlStyle& style, bool isTable, bool isCell) const;
    static void SettleBorder(CHtmlStyle& style, bool isTable, bool isCell);

    CHtmlTable Measure(const HtmlTableSource& source, const CHtmlStyle& tableStyle);
    static std::vector<std::vector<std::pair<int, int>>> Spans(const HtmlTableSource& source);
    void MeasureCell(const QString& content, HtmlTableCell& entry);

    QSize Place(const HtmlTableSource& source, const CHtmlTable& record, const CHtmlStyle& tableStyle, const QRect& area);
    void AddTableBox(const QRect& rect, const CHtmlStyle& style);
    // The box of a table (raised) or a cell (sunken against the table's border): its
    // fill and border colours from `style`.
    HtmlBox StyledBox(const QRect& rect, const CHtmlStyle& style, bool sunken) const;
    void PlaceCell(const QString& content, const HtmlTableCell& entry, const QRect& cellRect);
    // How far a table's border reaches in: 3 for a double border, else its width.
    static int BorderInset(const CHtmlStyle& style);

    CHtmlLayoutBuilder& m_builder;
};

} // namespace tavrin
