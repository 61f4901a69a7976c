#pragma once

// A text that views show and edit, without any toolkit. Its bytes live in shared blocks that
// never change once used: the loaded text is one block, taken over without a copy, and edits
// make a table of pieces of it and of blocks that hold what was typed or pasted. Whoever still
// needs some bytes (a view, an undo step, a copy on the clipboard) holds their block, so no call
// order can free them. Lines end at CR LF; their starts are indexed on first use, so a text
// that is never shown costs nothing.

#include "core/EditHistory.h"
#include "core/Watchers.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skaldrun {

// What an edit, an undo or a redo changed, for those who keep something per line.
struct TextChange {
    std::size_t at = 0;
    std::size_t removed = 0;     // bytes
    std::size_t inserted = 0;    // bytes
    std::size_t line = 0;        // the first line touched; lines before it are as they were
    std::size_t linesBefore = 0; // lines from `line` on that the change replaced...
    std::size_t linesAfter = 0;  // ...and that stand there now; later lines only moved
    std::size_t caret = 0;       // where the caret belongs after it: after what it put in
    TextSpans removedBytes;      // what stood at `at` before
};

class TextDocument {
public:
    // Told of every change, whoever made it: the views that keep something per line, and the
    // owner that wants to know whether the text was edited.
    class Watcher {
    public:
        virtual void TextChanged(const TextChange& change) = 0;

    protected:
        ~Watcher() = default;
    };

    TextDocument() = default;
    explicit TextDocument(std::string text);
    // With its line index as whoever wrote the text knows it (see LineStart); an empty index is
    // made on first use as usual.
    TextDocument(std::string text, std::vector<std::size_t> lineStarts);

    std::size_t Size() const noexcept { return size_; }
    bool Empty() const noexcept { return size_ == 0; }
    char At(std::size_t offset) const noexcept {
        if (pieces_.size() == 1)
            return pieces_.front().bytes[offset];
        const std::size_t i = PieceOf(offset);
        return pieces_[i].bytes[offset - PieceStart(i)];
    }
    // The bytes from..to: a view into the text where one piece holds them, else a copy made in
    // scratch.
    std::string_view Range(std::size_t from, std::size_t to, std::string& scratch) const;
    std::string Copy(std::size_t from, std::size_t to) const;
    std::string Text() const { return Copy(0, size_); }
    // The bytes from..to as they are now, unchanged by later edits, without a copy.
    TextSpans Spans(std::size_t from, std::size_t to) const;

    // Lines, cut at CR LF: an empty text, or one ending in CR LF, has an empty last line.
    std::size_t LineCount() const;
    std::size_t LineStart(std::size_t line) const;
    // Where the line's bytes end, before its CR LF.
    std::size_t LineEnd(std::size_t line) const;
    std::size_t LineOf(std::size_t offset) const;
    // The lines whose bytes are more than length long, in order.
    std::vector<std::size_t> LinesLongerThan(std::size_t length) const;

    // Replaces the bytes from..to and records the step; typing may join the step before it.
    TextChange Replace(std::size_t from, std::size_t to, std::string_view bytes,
                       bool typing = false);
    // Moves the bytes from..to to stand at `at` (an offset outside them), as one step that
    // copies nothing.
    TextChange Move(std::size_t from, std::size_t to, std::size_t at);
    bool CanUndo() const noexcept { return history_.CanUndo(); }
    bool CanRedo() const noexcept { return history_.CanRedo(); }
    std::optional<TextChange> Undo();
    std::optional<TextChange> Redo();
    bool IsModified() const noexcept { return history_.IsModified(); }
    void MarkClean() noexcept { history_.MarkClean(); }

    void Watch(Watcher& watcher) { watchers_.Add(watcher); }
    void Unwatch(Watcher& watcher) noexcept { watchers_.Remove(watcher); }

private:
    std::size_t PieceOf(std::size_t offset) const noexcept;
    std::size_t PieceStart(std::size_t i) const noexcept { return i == 0 ? 0 : ends_[i - 1]; }
    TextSpan Store(std::string_view bytes);
    TextChange Apply(std::size_t from, std::size_t to, const TextSpans& spans);
    void Announce(const TextChange& change) const;
    void SetPieces(TextSpans pieces);
    void EnsureIndex() const;
    void IndexBreaks(std::size_t from, std::size_t to, std::vector<std::size_t>& starts) const;

    TextSpans pieces_;
    std::vector<std::size_t> ends_;
    std::size_t size_ = 0;
    std::shared_ptr<std::string> block_; // where typed and pasted bytes go; never reallocated
    EditHistory history_;
    mutable std::vector<std::size_t> starts_;
    mutable bool indexed_ = false;
    WatcherList<Watcher> watchers_;
};

} // namespace skaldrun
