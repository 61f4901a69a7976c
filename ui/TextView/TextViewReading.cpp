// What screen readers and input methods ask the view: the units of text around an offset and
// where a character stands on screen.

#include "ui/TextView/TextView.h"

#include <QTextLayout>
#include <algorithm>

namespace skaldrun::ui {

std::pair<std::size_t, std::size_t> TextView::UnitAt(std::size_t offset, TextUnit unit) const {
    const TextDocument& text = Document();
    offset = text_.CharacterStart(offset);
    switch (unit) {
    case TextUnit::Character:
        return {offset, NextCursor(offset)};
    case TextUnit::Word:
        return offset < Size() ? WordAt(offset) : std::pair{offset, offset};
    case TextUnit::Row: {
        const Row row = RowOf(offset);
        const Laid& laid = Layout(row.segment);
        const QTextLine line = laid.layout->lineAt(row.row);
        if (!line.isValid())
            return {laid.segment.from, laid.segment.to};
        return {ByteOf(laid.segment, line.textStart()),
                ByteOf(laid.segment, line.textStart() + line.textLength())};
    }
    case TextUnit::Line: {
        const std::size_t line = text.LineOf(offset);
        return {text.LineStart(line), text.LineEnd(line)};
    }
    case TextUnit::All:
        break;
    }
    return {0, Size()};
}

std::pair<std::size_t, std::size_t> TextView::UnitBefore(std::size_t offset, TextUnit unit) const {
    const std::size_t start = UnitAt(offset, unit).first;
    if (start == 0 || unit == TextUnit::All)
        return {0, 0};
    return UnitAt(PreviousCursor(start), unit);
}

std::pair<std::size_t, std::size_t> TextView::UnitAfter(std::size_t offset, TextUnit unit) const {
    const std::size_t end = UnitAt(offset, unit).second;
    if (end >= Size() || unit == TextUnit::All)
        return {Size(), Size()};
    // A row or a line that ends at a break is followed by what comes after the break.
    const TextDocument& text = Document();
    const bool atBreak = end == text.LineEnd(text.LineOf(end));
    return UnitAt(atBreak && unit != TextUnit::Character ? NextCursor(end) : end, unit);
}

QRect TextView::CharacterRect(std::size_t offset) const {
    ClampTop();
    const Row row = RowOf(offset);
    int y = kMargin - qFloor(Layout(top_.segment).layout->lineAt(top_.row).y());
    for (std::size_t index = top_.segment; index < row.segment; ++index) {
        y += qCeil(Layout(index).layout->boundingRect().height());
        if (y > viewport()->height())
            return {};
    }
    if (row.segment < top_.segment)
        return {};
    const Laid& laid = Layout(row.segment);
    const QTextLine line = laid.layout->lineAt(row.row);
    const int unit = UnitOf(laid.segment, offset);
    const qreal x = line.cursorToX(unit);
    const qreal next = unit < laid.layout->text().size() ? line.cursorToX(unit + 1) : x + 1;
    return QRect(QPoint(kMargin + qFloor(x), y + qFloor(line.y())),
                 QSize(std::max(1, qCeil(next - x)), qCeil(line.height())));
}

} // namespace skaldrun::ui
