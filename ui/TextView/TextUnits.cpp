#include "ui/TextView/TextUnits.h"

#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

namespace skaldrun::ui {

std::size_t TextUnits::NextCursor(std::size_t offset) const {
    const LayoutCache::Segment segment = layouts_.SegmentOf(offset);
    const QTextLayout& layout = *layouts_.Layout(layouts_.SegmentIndex(segment)).layout;
    const int unit = layouts_.UnitOf(segment, offset);
    if (unit >= layout.text().size())
        return text_.NextCharacter(offset);
    return layouts_.ByteOf(segment, layout.nextCursorPosition(unit, QTextLayout::SkipCharacters));
}

std::size_t TextUnits::PreviousCursor(std::size_t offset) const {
    const LayoutCache::Segment segment = layouts_.SegmentOf(offset);
    const int unit = layouts_.UnitOf(segment, offset);
    if (unit == 0)
        return text_.PreviousCharacter(offset);
    const QTextLayout& layout = *layouts_.Layout(layouts_.SegmentIndex(segment)).layout;
    return layouts_.ByteOf(segment,
                           layout.previousCursorPosition(unit, QTextLayout::SkipCharacters));
}

std::size_t TextUnits::WordBoundary(std::size_t offset, bool forward) const {
    const LayoutCache::Segment segment = layouts_.SegmentOf(offset);
    const LayoutCache::Laid& laid = layouts_.Layout(layouts_.SegmentIndex(segment));
    const int unit = layouts_.UnitOf(segment, offset);
    const int length = static_cast<int>(laid.layout->text().size());
    if (forward && unit >= length)
        return text_.NextCharacter(offset);
    if (!forward && unit == 0 && segment.part > 0) { // a long line's cut is no word's end
        const LayoutCache::Laid& before = layouts_.Layout(layouts_.SegmentIndex(segment) - 1);
        const int end = static_cast<int>(before.layout->text().size());
        return layouts_.ByteOf(before.segment,
                               before.layout->previousCursorPosition(end, QTextLayout::SkipWords));
    }
    if (!forward && unit == 0)
        return text_.PreviousCharacter(offset);
    const int next = forward ? laid.layout->nextCursorPosition(unit, QTextLayout::SkipWords)
                             : laid.layout->previousCursorPosition(unit, QTextLayout::SkipWords);
    return layouts_.ByteOf(segment, next);
}

std::pair<std::size_t, std::size_t> TextUnits::WordAt(std::size_t offset) const {
    const LayoutCache::Segment segment = layouts_.SegmentOf(offset);
    const QString text = layouts_.Layout(layouts_.SegmentIndex(segment)).layout->text();
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(layouts_.UnitOf(segment, offset));
    qsizetype start =
        words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
            ? words.position()
            : words.toPreviousBoundary();
    start = std::max<qsizetype>(start, 0);
    words.setPosition(start);
    const qsizetype end = words.toNextBoundary();
    return {layouts_.ByteOf(segment, static_cast<int>(start)),
            layouts_.ByteOf(segment, static_cast<int>(end < 0 ? text.size() : end))};
}

template <typename Move>
std::optional<std::pair<std::size_t, std::size_t>> TextUnits::OnCursor(std::size_t offset,
                                                                       Move move) const {
    const LayoutCache::Segment segment = layouts_.SegmentOf(offset);
    QTextDocument piece(layouts_.Layout(layouts_.SegmentIndex(segment)).layout->text());
    QTextCursor cursor(&piece);
    cursor.setPosition(layouts_.UnitOf(segment, offset));
    if (!move(cursor))
        return std::nullopt;
    return std::pair{layouts_.ByteOf(segment, cursor.anchor()),
                     layouts_.ByteOf(segment, cursor.position())};
}

std::pair<std::size_t, std::size_t> TextUnits::WordUnderCursor(std::size_t offset) const {
    const auto word = OnCursor(offset, [](QTextCursor& cursor) {
        cursor.select(QTextCursor::WordUnderCursor);
        return true;
    });
    return word ? *word : std::pair{offset, offset};
}

std::optional<std::size_t> TextUnits::StartOfWord(std::size_t offset) const {
    const auto moved = OnCursor(
        offset, [](QTextCursor& cursor) { return cursor.movePosition(QTextCursor::StartOfWord); });
    return moved ? std::optional{moved->second} : std::nullopt;
}

std::optional<std::size_t> TextUnits::EndOfWord(std::size_t offset) const {
    const auto moved = OnCursor(
        offset, [](QTextCursor& cursor) { return cursor.movePosition(QTextCursor::EndOfWord); });
    return moved ? std::optional{moved->second} : std::nullopt;
}

std::pair<std::size_t, std::size_t> TextUnits::LineAt(std::size_t offset) const {
    const TextDocument& text = text_.Document();
    const std::size_t line = text.LineOf(offset);
    return {text.LineStart(line),
            line + 1 < text.LineCount() ? text.LineStart(line + 1) : text.Size()};
}

bool TextUnits::RightToLeft(std::size_t offset) const {
    const std::size_t line = text_.Document().LineOf(offset);
    return layouts_.Layout(layouts_.SegmentIndex(line, 0)).layout->text().isRightToLeft();
}

std::size_t TextUnits::UnitsAway(std::size_t offset, int units) const {
    const LayoutCache::Segment segment = layouts_.SegmentOf(offset);
    return layouts_.ByteOf(segment, layouts_.UnitOf(segment, offset) + units);
}

std::pair<std::size_t, std::size_t> TextUnits::UnitAt(std::size_t offset, Unit unit) const {
    const TextDocument& text = text_.Document();
    offset = text_.CharacterStart(offset);
    switch (unit) {
    case Unit::Character:
        return {offset, NextCursor(offset)};
    case Unit::Word:
        return offset < text.Size() ? WordAt(offset) : std::pair{offset, offset};
    case Unit::Row:
        return rows_.Span(rows_.RowOf(offset));
    case Unit::Line: {
        const std::size_t line = text.LineOf(offset);
        return {text.LineStart(line), text.LineEnd(line)};
    }
    case Unit::All:
        break;
    }
    return {0, text.Size()};
}

std::pair<std::size_t, std::size_t> TextUnits::UnitBefore(std::size_t offset, Unit unit) const {
    const std::size_t start = UnitAt(offset, unit).first;
    if (start == 0 || unit == Unit::All)
        return {0, 0};
    return UnitAt(PreviousCursor(start), unit);
}

std::pair<std::size_t, std::size_t> TextUnits::UnitAfter(std::size_t offset, Unit unit) const {
    const TextDocument& text = text_.Document();
    const std::size_t end = UnitAt(offset, unit).second;
    if (end >= text.Size() || unit == Unit::All)
        return {text.Size(), text.Size()};
    // A row or a line that ends at a break is followed by what comes after the break.
    const bool atBreak = end == text.LineEnd(text.LineOf(end));
    return UnitAt(atBreak && unit != Unit::Character ? NextCursor(end) : end, unit);
}

} // namespace skaldrun::ui
