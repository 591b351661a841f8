#include "html/HtmlTable.h"

#include <algorithm>

namespace tavrin {

HtmlTableSource HtmlTableSource::Parse(const QString& text)
{
    HtmlTableSource source;
    CHtmlTokenizer tokens(text);
    int depth = 0;
    Row* row = nullptr;
    Cell* cell = nullptr;
    qsizetype contentStart = 0;

    const auto closeCell = [&](qsizetype end) {
        if (cell)
            cell->content = text.mid(contentStart, end - contentStart);
        cell = nullptr;
    };

    for (auto kind = tokens.Next(); kind != CHtmlTokenizer::Kind::End; kind = tokens.Next()) {
        if (kind != CHtmlTokenizer::Kind::Tag)
            continue;
        const HtmlTag& tag = tokens.Tag();
        if (tag.name == QLatin1String("table")) {
            if (!tag.closing) {
                if (depth++ == 0)
                    source.table = tag;
            } else if (--depth == 0) {
                closeCell(tokens.TokenStart());
                break;
            }
            continue;
        }
        if (depth != 1)
            continue; // inside a nested table
        if (tag.name == QLatin1String("tr")) {
            closeCell(tokens.TokenStart());
            if (tag.closing) {
                row = nullptr;
            } else {
                source.rows.push_back(Row{tag, {}});
                row = &source.rows.back();
            }
        } else if (tag.name == QLatin1String("td")) {
            closeCell(tokens.TokenStart());
            if (!tag.closing && row) {
                row->cells.push_back(Cell{tag, QString()});
                cell = &row->cells.back();
                contentStart = tokens.Position();
            }
        }
    }
    closeCell(text.size());
    return source;
}

void CHtmlTable::Place(const std::vector<std::vector<std::pair<int, int>>>& spansPerRow)
{
    rows = static_cast<int>(spansPerRow.size());
    columns = 0;
    grid.assign(static_cast<size_t>(rows), {});
    cellColumns.assign(static_cast<size_t>(rows), {});

    const auto ensureColumns = [&](int count) {
        if (count <= columns)
            return;
        columns = count;
        for (auto& gridRow : grid)
            gridRow.resize(static_cast<size_t>(columns));
    };

    for (int r = 0; r < rows; ++r) {
        int column = 0;
        for (const auto& [colSpanIn, rowSpanIn] : spansPerRow[static_cast<size_t>(r)]) {
            const int colSpan = std::max(1, colSpanIn);
            const int rowSpan = std::clamp(rowSpanIn, 1, rows - r);
            ensureColumns(column + 1);
            while (grid[static_cast<size_t>(r)][static_cast<size_t>(column)].covered ||
                   grid[static_cast<size_t>(r)][static_cast<size_t>(column)].present) {
                ++column;
                ensureColumns(column + 1);
            }
            ensureColumns(column + colSpan);
            cellColumns[static_cast<size_t>(r)].push_back(column);
            for (int dr = 0; dr < rowSpan; ++dr)
                for (int dc = 0; dc < colSpan; ++dc)
                    grid[static_cast<size_t>(r + dr)][static_cast<size_t>(column + dc)].covered = true;
            HtmlTableCell& cell = grid[static_cast<size_t>(r)][static_cast<size_t>(column)];
            cell.covered = false;
            cell.present = true;
            cell.colSpan = colSpan;
            cell.rowSpan = rowSpan;
            column += colSpan;
        }
    }
    columnWidths.assign(static_cast<size_t>(columns), 0);
    rowHeights.assign(static_cast<size_t>(rows), 0);
    fixedColumns.assign(static_cast<size_t>(columns), false);
}

void CHtmlTable::ComputeTracks()
{
    std::vector<HtmlTrackClaim> columnClaims;
    std::vector<HtmlTrackClaim> rowClaims;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const HtmlTableCell& cell = grid[static_cast<size_t>(r)][static_cast<size_t>(c)];
            if (!cell.present)
                continue;
            columnClaims.push_back({c, cell.colSpan, cell.fullWidth, cell.fixed});
            rowClaims.push_back({r, cell.rowSpan, cell.fullHeight, false});
        }
    }
    columnWidths.assign(static_cast<size_t>(columns), 0);
    rowHeights.assign(static_cast<size_t>(rows), 0);
    fixedColumns.assign(static_cast<size_t>(columns), false);
    DistributeClaims(columnWidths, &fixedColumns, columnClaims, true);
    DistributeClaims(rowHeights, nullptr, rowClaims, false);
}

void CHtmlTable::DistributeClaims(std::vector<int>& sizes, std::vector<bool>* fixed,
                                  const std::vector<HtmlTrackClaim>& claims, bool remainderToLast)
{
    const int count = static_cast<int>(sizes.size());
    int widestSpan = 1;
    for (const HtmlTrackClaim& claim : claims) {
        if (claim.start < 0 || claim.start >= count)
            continue;
        const int span = std::min(claim.span, count - claim.start);
        widestSpan = std::max(widestSpan, span);
        if (span != 1)
            continue;
        int& size = sizes[static_cast<size_t>(claim.start)];
        size = std::max(size, claim.size);
        if (fixed && claim.fixed)
            (*fixed)[static_cast<size_t>(claim.start)] = true;
    }
    for (int spanWanted = 2; spanWanted <= widestSpan; ++spanWanted) {
        for (const HtmlTrackClaim& claim : claims) {
            if (claim.start < 0 || claim.start >= count)
                continue;
            const int span = std::min(claim.span, count - claim.start);
            if (span != spanWanted)
                continue;
            int sum = 0;
            for (int i = claim.start; i < claim.start + span; ++i) {
                sum += sizes[static_cast<size_t>(i)];
                if (fixed && claim.fixed)
                    (*fixed)[static_cast<size_t>(i)] = true;
            }
            if (sum >= claim.size)
                continue;
            const int missing = claim.size - sum;
            for (int i = claim.start; i < claim.start + span; ++i)
                sizes[static_cast<size_t>(i)] += missing / span;
            const int remainderTrack = remainderToLast ? claim.start + span - 1 : claim.start;
            sizes[static_cast<size_t>(remainderTrack)] += missing % span;
        }
    }
}

int CHtmlTable::OuterExtent(const std::vector<int>& sizes, int spacing, int borderStyle, int borderWidth)
{
    const int n = static_cast<int>(sizes.size());
    int extent = 0;
    for (const int size : sizes)
        extent += size;
    extent += (n + 1) * spacing + std::max(0, n - 1);
    if (borderStyle == 6)
        extent += 6;
    else if (borderStyle != 0)
        extent += 2 * borderWidth;
    return extent;
}

bool CHtmlTable::ShareMissingWidth(std::vector<int>& widths, const std::vector<bool>& fixed, int missing)
{
    int toServe = 0;
    for (size_t i = 0; i < widths.size(); ++i)
        if (i >= fixed.size() || !fixed[i])
            ++toServe;
    if (toServe == 0)
        return false;
    for (size_t i = 0; i < widths.size() && missing > 0; ++i) {
        if (i < fixed.size() && fixed[i])
            continue;
        const int share = missing / toServe;
        widths[i] += share;
        missing -= share;
        --toServe;
    }
    return true;
}

int CHtmlTable::TrackOffset(const std::vector<int>& sizes, int index, int spacing)
{
    int offset = spacing;
    for (int i = 0; i < index && i < static_cast<int>(sizes.size()); ++i)
        offset += sizes[static_cast<size_t>(i)] + spacing + 1;
    return offset;
}

int CHtmlTable::SpanExtent(const std::vector<int>& sizes, int index, int span, int spacing)
{
    int extent = 0;
    int counted = 0;
    for (int i = index; i < index + span && i < static_cast<int>(sizes.size()); ++i, ++counted)
        extent += sizes[static_cast<size_t>(i)];
    return extent + std::max(0, counted - 1) * (spacing + 1);
}

} // namespace tavrin
