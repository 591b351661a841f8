// The grid of one table of the HTML renderer: its source structure (rows, cells, their
// tags and contents), the measured record the drawing pass replays, and the width and
// height sharing between spanned columns and rows.
#pragma once

#include "html/HtmlTokenizer.h"

#include <QString>

#include <vector>

namespace tavrin {

// One grid position.
struct HtmlTableCell {
    bool present = false;     // a cell starts here
    bool covered = false;     // covered by the span of a cell further up or left
    int colSpan = 1;
    int rowSpan = 1;
    int contentWidth = 0;
    int contentHeight = 0;
    int fullWidth = 0;        // content (or requested size) plus padding and border, both sides
    int fullHeight = 0;
    bool fixed = false;       // the cell asked for a width
};

// A cell's claim along one axis: it spans `span` tracks from `start` and needs `size`.
struct HtmlTrackClaim {
    int start = 0;
    int span = 1;
    int size = 0;
    bool fixed = false;
};

// What a table's text holds, read the same way in both passes.
struct HtmlTableSource {
    struct Cell {
        HtmlTag tag;
        QString content;
    };
    struct Row {
        HtmlTag tag;
        std::vector<Cell> cells;
    };
    HtmlTag table;
    std::vector<Row> rows;

    // `text` runs from "<table" to its "</table>" (or the end). Rows are the top-level
    // "tr" elements, cells their "td" elements; nested tables stay in their cell's
    // content. A missing "</td>" or "</tr>" ends at the next cell or row.
    static HtmlTableSource Parse(const QString& text);
};

struct CHtmlTable {
    int columns = 0;
    int rows = 0;
    std::vector<int> columnWidths;
    std::vector<int> rowHeights;
    std::vector<bool> fixedColumns;
    std::vector<std::vector<HtmlTableCell>> grid;       // [row][column]
    std::vector<std::vector<int>> cellColumns;          // [source row][source cell] -> column
    int width = 0;                                      // measured outer size
    int height = 0;

    // Places the cells of the source rows with their spans: each cell takes the next
    // position of its row not covered by an earlier span. Fills grid and cellColumns.
    void Place(const std::vector<std::vector<std::pair<int, int>>>& spansPerRow);

    // Column widths and row heights from the cells' full sizes.
    void ComputeTracks();

    // Sizes of spanned tracks: single-track claims first, then span 2, 3, ...; a claim
    // larger than its tracks adds (missing / span) to each, and the remainder to the
    // last track (columns) or the first one (rows). A fixed claim fixes its tracks.
    static void DistributeClaims(std::vector<int>& sizes, std::vector<bool>* fixed,
                                 const std::vector<HtmlTrackClaim>& claims, bool remainderToLast);

    // Outer extent of tracks: the sizes + (n + 1) x spacing + (n - 1) pixels between
    // neighbours, plus the border (6 for a double border, else twice its width).
    static int OuterExtent(const std::vector<int>& sizes, int spacing, int borderStyle, int borderWidth);

    // Shares `missing` pixels among the columns that are not fixed, one after another,
    // each taking what is left divided by the columns still to serve. Returns false
    // when every column is fixed (nothing shared).
    static bool ShareMissingWidth(std::vector<int>& widths, const std::vector<bool>& fixed, int missing);

    // Offset of track `index` from the inner edge, and the extent of `span` tracks.
    static int TrackOffset(const std::vector<int>& sizes, int index, int spacing);
    static int SpanExtent(const std::vector<int>& sizes, int index, int span, int spacing);
};

} // namespace tavrin
