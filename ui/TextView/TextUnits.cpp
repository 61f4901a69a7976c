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

std::size_t TextUnits::NextLineStart(std::size_t offset) const {
    const TextDocument& text = text_.Document();
    const std::size_t line = text.LineOf(offset);
    return line + 1 < text.LineCount() ? text.LineStart(line + 1) : text.Size();
}

// Word starts are where letters or digits begin; what comes before the first word of a line
// is a unit of its own, and the last word of a line runs to the next line.
std::pair<std::size_t, std::size_t> TextUnits::ReaderWordAt(std::size_t offset) const {
    const LayoutCache::Segment segment = layouts_.SegmentOf(offset);
    const QString text = layouts_.Layout(layouts_.SegmentIndex(segment)).layout->text();
    const int unit = layouts_.UnitOf(segment, std::min(offset, segment.to));
    const auto startsWord = [](const QTextBoundaryFinder& words) {
        return (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem) != 0;
    };
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(unit);
    qsizetype start = -1;
    if (unit < text.size() && words.isAtBoundary() && startsWord(words))
        start = unit;
    for (qsizetype at = start; start < 0 && (at = words.toPreviousBoundary()) >= 0;) {
        if (startsWord(words))
            start = at;
    }
    words.setPosition(unit);
    qsizetype next = -1;
    for (qsizetype at = 0; next < 0 && (at = words.toNextBoundary()) >= 0 && at < text.size();) {
        if (startsWord(words))
            next = at;
    }
    const bool lastPart = segment.to == text_.Document().LineEnd(segment.line);
    const std::size_t end = lastPart ? NextLineStart(segment.to) : segment.to;
    return {start < 0 ? segment.from : layouts_.ByteOf(segment, static_cast<int>(start)),
            next < 0 ? end : layouts_.ByteOf(segment, static_cast<int>(next))};
}

std::pair<std::size_t, std::size_t> TextUnits::UnitAt(std::size_t offset, Unit unit) const {
    const TextDocument& text = text_.Document();
    offset = text_.CharacterStart(offset);
    if (offset >= text.Size() && unit != Unit::All)
        return {text.Size(), text.Size()};
    switch (unit) {
    case Unit::Character: { // the whole cluster, also asked from inside it
        const std::size_t next = NextCursor(offset);
        return {PreviousCursor(next), next};
    }
    case Unit::Word:
        return ReaderWordAt(offset);
    case Unit::Row: {
        const Row row = rows_.RowOf(offset);
        auto span = rows_.Span(row);
        const LayoutCache::Segment segment = layouts_.SegmentAt(row.segment);
        if (row.row + 1 >= rows_.RowCount(row.segment) && segment.to == text.LineEnd(segment.line))
            span.second = NextLineStart(offset);
        return span;
    }
    case Unit::Line:
        return {text.LineStart(text.LineOf(offset)), NextLineStart(offset)};
    case Unit::All:
        break;
    }
    return {0, text.Size()};
}

std::pair<std::size_t, std::size_t> TextUnits::UnitBefore(std::size_t offset, Unit unit) const {
    const std::size_t start = UnitAt(offset, unit).first;
    if (start == 0 || unit == Unit::All)
        return {0, 0};
    return UnitAt(text_.PreviousCharacter(start), unit);
}

std::pair<std::size_t, std::size_t> TextUnits::UnitAfter(std::size_t offset, Unit unit) const {
    const TextDocument& text = text_.Document();
    const std::size_t end = UnitAt(offset, unit).second;
    if (end >= text.Size() || unit == Unit::All)
        return {text.Size(), text.Size()};
    return UnitAt(end, unit);
}

} // namespace skaldrun::ui
