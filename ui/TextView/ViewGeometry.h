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
// coordinates. As in the stock box, the text has a margin above it only while its first row is
// at the top, and one below it only at its end.
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
    int TopMargin() const { return Top() == Row{} ? kMargin : 0; }
    // Where the top segment's first row is drawn: above the view when the top is a later row.
    qreal TopSegmentY() const;
    // Where a row's top is on screen; above the view for rows above the top. Counted row by row
    // from the top: for rows on screen or near it.
    int ScreenY(Row row) const;

    // The rows wholly on screen: a page is that many, so the row cut off at the bottom is the
    // next page's first. Below the text's end rows as high as its last are counted, so a page
    // there is as long as anywhere else.
    int PageRows() const;
    // The segments at least partly on screen.
    int VisibleSegments() const;
    // The last segment the top may be: the text's end then fills the view's bottom, and a text
    // that fits in the view does not scroll at all.
    std::size_t LastTopSegment() const;

    // Never past the text's end, where its last row stands at the bottom.
    void ScrollRows(int rows);
    // A page as the stock box turns it: down, the first row not wholly shown comes to the top;
    // up, the row a view's height above. False where the text's last (first) row is already
    // shown, and nothing moves.
    bool TurnPage(bool down);
    // Scrolls as little as shows the row of offset.
    void EnsureVisible(std::size_t offset);

    std::size_t OffsetAt(const QPoint& point) const;
    // Where the character at offset stands; empty when it is off screen.
    QRect CharacterRect(std::size_t offset) const;

private:
    Row BottomTop() const;
    // The top from which the rows that end with last fill height.
    Row TopShowingLast(Row last, int height) const;

    const LayoutCache& layouts_;
    const TextRows& rows_;
    std::function<int()> height_;
    mutable Row top_;
};

} // namespace skaldrun::ui
