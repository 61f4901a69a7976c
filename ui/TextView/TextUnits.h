#pragma once

#include "ui/TextView/TextRows.h"

#include <QTextCursor>
#include <cstddef>
#include <optional>
#include <utility>

namespace skaldrun::ui {

// The units the caret steps over and clicks take: characters as a reader sees them, words,
// lines, and the units screen readers ask for, all in bytes.
class TextUnits {
public:
    TextUnits(const ShownText& text, const LayoutCache& layouts, const TextRows& rows)
        : text_(text)
        , layouts_(layouts)
        , rows_(rows) {}

    // A letter with its accents, an emoji with its modifiers, a flag; a line's break is one.
    std::size_t NextCursor(std::size_t offset) const;
    std::size_t PreviousCursor(std::size_t offset) const;
    // The next start or the previous start of a word, as Ctrl and an arrow step.
    std::size_t WordBoundary(std::size_t offset, bool forward) const;
    // The word a double click at offset takes, as the stock box's cursor selects the word under
    // it: empty where there is none.
    std::pair<std::size_t, std::size_t> WordUnderCursor(std::size_t offset) const;
    // Where the stock box's cursor goes from offset to the start or the end of a word; none
    // where it does not go.
    std::optional<std::size_t> StartOfWord(std::size_t offset) const;
    std::optional<std::size_t> EndOfWord(std::size_t offset) const;
    // The line at offset with its break, as a triple click takes it.
    std::pair<std::size_t, std::size_t> LineAt(std::size_t offset) const;
    // Whether the line holding offset reads right to left, as its first strong character says.
    bool RightToLeft(std::size_t offset) const;
    // The offset that many screen units from offset, within the piece laid out with it, as an
    // input method counts.
    std::size_t UnitsAway(std::size_t offset, int units) const;

    // The unit of text around offset, as screen readers count them: a character; from the
    // start of a word to the start of the next; from the start of a row of the screen, or of a
    // line, to the start of the next, the break included; or all of the text. The units of a
    // kind tile the text, so the one after a unit starts where it ends.
    enum class Unit { Character, Word, Row, Line, All };
    std::pair<std::size_t, std::size_t> UnitAt(std::size_t offset, Unit unit) const;
    // The units before and after the one around offset; empty at the text's ends.
    std::pair<std::size_t, std::size_t> UnitBefore(std::size_t offset, Unit unit) const;
    std::pair<std::size_t, std::size_t> UnitAfter(std::size_t offset, Unit unit) const;

private:
    std::pair<std::size_t, std::size_t> ReaderWordAt(std::size_t offset) const;
    // Where the line after the one holding offset starts, or the text's end.
    std::size_t NextLineStart(std::size_t offset) const;

    // Moves a cursor of Qt's own over the text of the piece that holds offset, so that words
    // end where the stock box's end; gives the bytes it moved to, or none.
    template <typename Move>
    std::optional<std::pair<std::size_t, std::size_t>> OnCursor(std::size_t offset,
                                                                Move move) const;

    const ShownText& text_;
    const LayoutCache& layouts_;
    const TextRows& rows_;
};

} // namespace skaldrun::ui
