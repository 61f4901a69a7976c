#pragma once

#include "ui/TextView/LayoutCache.h"

#include <QtGlobal>
#include <compare>
#include <cstddef>
#include <utility>

namespace skaldrun::ui {

// A row of the screen: a segment's index and a row of its layout.
struct Row {
    std::size_t segment = 0;
    int row = 0;
    friend auto operator<=>(const Row&, const Row&) = default;
};

// The rows the laid-out text is wrapped into, and where offsets stand in them: which row holds
// an offset, the offset nearest a place across a row, the rows before and after one.
class TextRows {
public:
    explicit TextRows(const LayoutCache& layouts)
        : layouts_(layouts) {}

    std::size_t SegmentCount() const { return layouts_.SegmentCount(); }
    Row RowOf(std::size_t offset) const;
    int RowCount(std::size_t segment) const;
    bool Next(Row& row) const;
    bool Previous(Row& row) const;
    int Height(const Row& row) const;
    // The offset nearest x across the row; a wrapped row's end stays on it.
    std::size_t OffsetInRow(const Row& row, qreal x) const;
    qreal XOf(std::size_t offset) const;
    // The row's bytes; a wrapped row's end is before the blank it ends in, where Home and End
    // go.
    std::pair<std::size_t, std::size_t> Edges(const Row& row) const;
    // The row's bytes with the blank it wraps at, as screen readers read rows.
    std::pair<std::size_t, std::size_t> Span(const Row& row) const;

private:
    const LayoutCache& layouts_;
};

} // namespace skaldrun::ui
