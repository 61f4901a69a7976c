#include "ui/TextView/TextRows.h"

#include <QFontMetrics>
#include <QTextLayout>
#include <algorithm>

namespace skaldrun::ui {

Row TextRows::RowOf(std::size_t offset) const {
    const LayoutCache::Segment segment = layouts_.SegmentOf(offset);
    const std::size_t index = layouts_.SegmentIndex(segment);
    const QTextLayout& layout = *layouts_.Layout(index).layout;
    int unit = layouts_.UnitOf(segment, std::min(offset, segment.to));
    if (!layouts_.Preedit().isEmpty() && offset == layouts_.PreeditAt())
        unit += static_cast<int>(layouts_.Preedit().size());
    const QTextLine line = layout.lineForTextPosition(unit);
    return {index, line.isValid() ? line.lineNumber() : 0};
}

int TextRows::RowCount(std::size_t segment) const {
    return std::max(1, layouts_.Layout(segment).layout->lineCount());
}

bool TextRows::Next(Row& row) const {
    if (row.row + 1 < RowCount(row.segment)) {
        ++row.row;
        return true;
    }
    if (row.segment + 1 >= SegmentCount())
        return false;
    row = {row.segment + 1, 0};
    return true;
}

bool TextRows::Previous(Row& row) const {
    if (row.row > 0) {
        --row.row;
        return true;
    }
    if (row.segment == 0)
        return false;
    row = {row.segment - 1, RowCount(row.segment - 1) - 1};
    return true;
}

int TextRows::Height(const Row& row) const {
    const QTextLayout& layout = *layouts_.Layout(row.segment).layout;
    return row.row < layout.lineCount() ? qCeil(layout.lineAt(row.row).height())
                                        : QFontMetrics(layouts_.Font()).lineSpacing();
}

std::size_t TextRows::OffsetInRow(const Row& row, qreal x) const {
    const LayoutCache::Laid& laid = layouts_.Layout(row.segment);
    const QTextLine line = laid.layout->lineAt(row.row);
    if (!line.isValid())
        return laid.segment.from;
    int unit = line.xToCursor(x);
    // The end of a wrapped row is the start of the next: stay on this row, before its last blank.
    const int rowEnd = line.textStart() + line.textLength();
    if (unit >= rowEnd && row.row + 1 < laid.layout->lineCount())
        unit = std::max(line.textStart(), rowEnd - 1);
    return layouts_.ByteOf(laid.segment, unit);
}

qreal TextRows::XOf(std::size_t offset) const {
    const Row row = RowOf(offset);
    const LayoutCache::Laid& laid = layouts_.Layout(row.segment);
    return laid.layout->lineAt(row.row).cursorToX(layouts_.UnitOf(laid.segment, offset));
}

std::pair<std::size_t, std::size_t> TextRows::Edges(const Row& row) const {
    const LayoutCache::Laid& laid = layouts_.Layout(row.segment);
    const QTextLine line = laid.layout->lineAt(row.row);
    if (!line.isValid())
        return {laid.segment.from, laid.segment.to};
    const int start = line.textStart();
    int end = start + line.textLength();
    if (row.row + 1 < laid.layout->lineCount())
        end = std::max(start, end - 1);
    return {layouts_.ByteOf(laid.segment, start), layouts_.ByteOf(laid.segment, end)};
}

std::pair<std::size_t, std::size_t> TextRows::Span(const Row& row) const {
    const LayoutCache::Laid& laid = layouts_.Layout(row.segment);
    const QTextLine line = laid.layout->lineAt(row.row);
    if (!line.isValid())
        return {laid.segment.from, laid.segment.to};
    return {layouts_.ByteOf(laid.segment, line.textStart()),
            layouts_.ByteOf(laid.segment, line.textStart() + line.textLength())};
}

} // namespace skaldrun::ui
