#include "ui/TextView/ViewGeometry.h"

#include <QTextLayout>
#include <algorithm>

namespace skaldrun::ui {

const Row& ViewGeometry::Top() const {
    top_.segment = std::min(top_.segment, rows_.SegmentCount() - 1);
    top_.row = std::clamp(top_.row, 0, rows_.RowCount(top_.segment) - 1);
    return top_;
}

qreal ViewGeometry::TopSegmentY() const {
    const Row& top = Top();
    return TopMargin() - layouts_.Layout(top.segment).layout->lineAt(top.row).y();
}

int ViewGeometry::ScreenY(Row row) const {
    Row at = Top();
    int y = TopMargin();
    while (at < row) {
        y += rows_.Height(at);
        if (!rows_.Next(at))
            break;
    }
    while (row < at && rows_.Previous(at))
        y -= rows_.Height(at);
    return y;
}

int ViewGeometry::PageRows() const {
    int rows = 0;
    int y = TopMargin();
    for (Row row = Top();; ++rows) {
        y += std::max(rows_.Height(row), 1);
        if (y > Height())
            break;
        rows_.Next(row); // past the text's end it stays on the last row
    }
    return std::max(rows, 1);
}

int ViewGeometry::VisibleSegments() const {
    int shown = 0;
    qreal y = TopSegmentY();
    for (std::size_t index = Top().segment; index < rows_.SegmentCount() && y < Height(); ++index) {
        y += layouts_.Layout(index).layout->boundingRect().height();
        ++shown;
    }
    return std::max(shown, 1);
}

std::size_t ViewGeometry::LastTopSegment() const {
    const int height = Height() - kMargin;
    std::size_t top = rows_.SegmentCount() - 1;
    for (int filled = qCeil(layouts_.Layout(top).layout->boundingRect().height()); top > 0; --top) {
        filled += qCeil(layouts_.Layout(top - 1).layout->boundingRect().height());
        if (filled > height)
            break;
    }
    return top;
}

Row ViewGeometry::TopShowingLast(Row last, int height) const {
    for (int filled = rows_.Height(last);;) {
        Row previous = last;
        if (!rows_.Previous(previous) || filled + rows_.Height(previous) > height)
            return last;
        filled += rows_.Height(previous);
        last = previous;
    }
}

Row ViewGeometry::BottomTop() const {
    const std::size_t last = rows_.SegmentCount() - 1;
    return TopShowingLast({last, rows_.RowCount(last) - 1}, Height() - kMargin);
}

void ViewGeometry::ScrollRows(int rows) {
    Top();
    if (rows > 0) {
        const Row bottom = BottomTop();
        for (; rows > 0 && top_ < bottom; --rows)
            rows_.Next(top_);
    }
    for (; rows < 0 && rows_.Previous(top_); ++rows) {
    }
}

bool ViewGeometry::TurnPage(bool down) {
    Row row = Top();
    if (!down) {
        if (row == Row{})
            return false;
        for (int used = 0;;) {
            Row previous = row;
            if (!rows_.Previous(previous) || used + rows_.Height(previous) > Height())
                break;
            used += rows_.Height(previous);
            row = previous;
        }
        top_ = row;
        return true;
    }
    for (int y = TopMargin();;) {
        y += rows_.Height(row);
        if (y > Height())
            break;
        if (!rows_.Next(row))
            return false; // the last row is shown whole
    }
    top_ = std::min(row, BottomTop());
    return true;
}

void ViewGeometry::EnsureVisible(std::size_t offset) {
    const Row target = rows_.RowOf(offset);
    if (target < Top()) {
        top_ = target;
        return;
    }
    // The text's last row shows with the margin below it, where scrolling stops.
    const std::size_t last = rows_.SegmentCount() - 1;
    const bool end = target == Row{last, rows_.RowCount(last) - 1};
    const int bottom = Height() - (end ? kMargin : 0);
    // Only the rows on screen are looked at: the target may be a million rows away.
    int y = TopMargin();
    for (Row row = Top();;) {
        y += rows_.Height(row);
        if (y > bottom)
            break;
        if (row == target)
            return;
        if (!rows_.Next(row))
            break;
    }
    top_ = TopShowingLast(target, bottom);
}

std::size_t ViewGeometry::OffsetAt(const QPoint& point) const {
    Row row = Top();
    int y = TopMargin() - qFloor(layouts_.Layout(row.segment).layout->lineAt(row.row).y());
    for (;;) {
        const LayoutCache::Laid& laid = layouts_.Layout(row.segment);
        const QTextLine line = laid.layout->lineAt(row.row);
        if (point.y() < y + qFloor(line.y()) + qCeil(line.height()))
            break;
        Row next = row;
        if (!rows_.Next(next))
            break;
        if (next.segment != row.segment)
            y += qCeil(laid.layout->boundingRect().height());
        row = next;
    }
    return rows_.OffsetInRow(row, point.x() - kMargin);
}

QRect ViewGeometry::CharacterRect(std::size_t offset) const {
    const Row& top = Top();
    const Row row = rows_.RowOf(offset);
    int y = TopMargin() - qFloor(layouts_.Layout(top.segment).layout->lineAt(top.row).y());
    for (std::size_t index = top.segment; index < row.segment; ++index) {
        y += qCeil(layouts_.Layout(index).layout->boundingRect().height());
        if (y > Height())
            return {};
    }
    if (row.segment < top.segment)
        return {};
    const LayoutCache::Laid& laid = layouts_.Layout(row.segment);
    const QTextLine line = laid.layout->lineAt(row.row);
    const int unit = layouts_.UnitOf(laid.segment, offset);
    const qreal x = line.cursorToX(unit);
    const qreal next = unit < laid.layout->text().size() ? line.cursorToX(unit + 1) : x + 1;
    return QRect(QPoint(kMargin + qFloor(x), y + qFloor(line.y())),
                 QSize(std::max(1, qCeil(next - x)), qCeil(line.height())));
}

} // namespace skaldrun::ui
