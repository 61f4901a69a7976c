#pragma once

#include "ui/TextView/TextRows.h"

#include <QPoint>
#include <QRect>
#include <cstddef>
#include <functional>
#include <utility>

namespace skaldrun::ui {

// Where the rows stand in a view of some height: the row at its top, the rows a page holds,
// scrolling by rows, and the places of offsets on screen. Everything is in the view's own
// coordinates, margins included.
class ViewGeometry {
public:
    static constexpr int kMargin = 4; // around the text, as Qt's text views keep

    // height tells the view's height whenever it is asked.
    ViewGeometry(const LayoutCache& layouts, const TextRows& rows, std::function<int()> height)
        : layouts_(layouts)
        , rows_(rows)
        , height_(std::move(height)) {}

    int Height() const { return height_(); }

    // The top row; after an edit it may have named a segment or a row that is gone.
    const Row& Top() const;
    void SetTop(Row top) noexcept { top_ = top; }
    // Where the top segment's first row is drawn: above the margin when the top is a row of it.
    qreal TopSegmentY() const;

    // The rows wholly on screen from the top, counted by their own heights: a page is that many,
    // so the row cut off at the bottom is the next page's first.
    int PageRows() const;
    // The segments at least partly on screen.
    int VisibleSegments() const;
    // The last segment the top may be: the text's end then fills the view's bottom, and a text
    // that fits in the view does not scroll at all.
    std::size_t LastTopSegment() const;

    // Never past the text's end, where its last row stands at the bottom.
    void ScrollRows(int rows);
    // Scrolls as little as shows the row of offset.
    void EnsureVisible(std::size_t offset);

    std::size_t OffsetAt(const QPoint& point) const;
    // Where the character at offset stands; empty when it is off screen.
    QRect CharacterRect(std::size_t offset) const;

private:
    int TextHeight() const { return Height() - 2 * kMargin; }
    Row BottomTop() const;
    Row TopShowingLast(Row last) const;

    const LayoutCache& layouts_;
    const TextRows& rows_;
    std::function<int()> height_;
    mutable Row top_;
};

} // namespace skaldrun::ui
