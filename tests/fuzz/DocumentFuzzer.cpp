// Random edits, undos and redos of a document, checked after every step against a plain string
// and a list of the texts undo can go back to: the bytes, the line starts, what the change says
// it touched, the modified flag, and a copy taken earlier that must not change.

#include "core/TextDocument.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using skaldrun::TextChange;
using skaldrun::TextDocument;
using skaldrun::TextSpans;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : data_(data)
        , size_(size) {}
    bool Empty() const noexcept { return at_ >= size_; }
    unsigned Next() noexcept { return at_ < size_ ? data_[at_++] : 0; }
    std::size_t Below(std::size_t limit) noexcept {
        const std::size_t value = Next() | (Next() << 8U);
        return limit == 0 ? 0 : value % limit;
    }
    // Bytes rich in CR, LF and UTF-8 pieces, where the line index has most to get wrong.
    std::string Bytes(std::size_t most) {
        static constexpr char kAlphabet[] = {'a', 'b', '\r', '\n', '\r', '\n', '\xC3', '\xA9'};
        std::string bytes(Below(most + 1), ' ');
        for (char& c : bytes)
            c = kAlphabet[Next() % sizeof kAlphabet];
        return bytes;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::vector<std::size_t> LineStarts(std::string_view text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 1; i < text.size(); ++i)
        if (text[i - 1] == '\r' && text[i] == '\n')
            starts.push_back(i + 1);
    return starts;
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// The texts the document can be brought back to, and the rule that joins typing into one step.
struct Model {
    std::vector<std::string> states;
    std::size_t done = 0;
    std::size_t clean = 0;
    bool typingGoesOn = false;
    std::size_t typingEnd = 0;

    const std::string& Text() const { return states[done]; }
    void Record(std::string text, std::size_t at, std::size_t removed, std::size_t inserted,
                bool typing) {
        if (clean > done)
            clean = static_cast<std::size_t>(-1);
        states.resize(done + 1);
        if (typingGoesOn && typing && removed == 0 && typingEnd == at) {
            states[done] = std::move(text);
            typingEnd += inserted;
            return;
        }
        states.push_back(std::move(text));
        ++done;
        typingGoesOn = typing;
        typingEnd = at + inserted;
    }
};

void CheckChange(const TextChange& change, const std::vector<std::size_t>& before,
                 const std::vector<std::size_t>& after) {
    Check(after.size() + change.linesBefore == before.size() + change.linesAfter);
    for (std::size_t line = 0; line < change.line; ++line)
        Check(before[line] == after[line]);
    const std::size_t firstKept = change.line + change.linesBefore + 1;
    for (std::size_t line = firstKept; line < before.size(); ++line)
        Check(after[line - change.linesBefore + change.linesAfter] ==
              before[line] + change.inserted - change.removed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    Model model;
    model.states.push_back(input.Bytes(64));
    TextDocument document(model.Text());
    TextSpans kept;
    std::string keptBytes;
    for (int steps = 0; steps < 200 && !input.Empty(); ++steps) {
        const std::string before = model.Text();
        const std::vector<std::size_t> startsBefore = LineStarts(before);
        std::optional<TextChange> change;
        switch (input.Next() % 7) {
        case 0:
        case 1: { // an edit, or typing at a place
            const bool typing = input.Next() % 2 == 0;
            std::size_t from = input.Below(before.size() + 1);
            std::size_t to = typing ? from : from + input.Below(before.size() - from + 1);
            const std::string bytes = input.Bytes(typing ? 2 : 8);
            change = document.Replace(from, to, bytes, typing);
            if (to > from || !bytes.empty())
                model.Record(before.substr(0, from) + bytes + before.substr(to), from, to - from,
                             bytes.size(), typing);
            break;
        }
        case 2:
            change = document.Undo();
            Check(change.has_value() == (model.done > 0));
            if (change) {
                --model.done;
                model.typingGoesOn = false;
            }
            break;
        case 3:
            change = document.Redo();
            Check(change.has_value() == (model.done + 1 < model.states.size()));
            if (change) {
                ++model.done;
                model.typingGoesOn = false;
            }
            break;
        case 4:
            document.MarkClean();
            model.clean = model.done;
            model.typingGoesOn = false;
            break;
        case 5: { // a selection dragged elsewhere
            const std::size_t from = input.Below(before.size() + 1);
            const std::size_t to = from + input.Below(before.size() - from + 1);
            const std::size_t at = input.Below(before.size() + 1);
            change = document.Move(from, to, at);
            if (at < from)
                model.Record(before.substr(0, at) + before.substr(from, to - from) +
                                 before.substr(at, from - at) + before.substr(to),
                             at, 1, 1, false);
            else if (at > to)
                model.Record(before.substr(0, from) + before.substr(to, at - to) +
                                 before.substr(from, to - from) + before.substr(at),
                             from, 1, 1, false);
            break;
        }
        default: { // a copy, as the clipboard takes one
            const std::size_t from = input.Below(before.size() + 1);
            const std::size_t to = from + input.Below(before.size() - from + 1);
            kept = document.Spans(from, to);
            keptBytes = before.substr(from, to - from);
            break;
        }
        }
        const std::string& text = model.Text();
        Check(document.Text() == text);
        Check(document.IsModified() == (model.done != model.clean));
        const std::vector<std::size_t> starts = LineStarts(text);
        Check(document.LineCount() == starts.size());
        for (std::size_t line = 0; line < starts.size(); ++line)
            Check(document.LineStart(line) == starts[line]);
        if (change)
            CheckChange(*change, startsBefore, starts);
        std::string copy;
        for (const auto& span : kept)
            copy.append(span.bytes);
        Check(copy == keptBytes);
    }
    return 0;
}
