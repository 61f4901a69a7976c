#pragma once

#include "ui/TextView/ShownText.h"

#include <QFont>
#include <QString>
#include <cstddef>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

class QTextLayout;

namespace skaldrun::ui {

// The laid-out text of a view, wrapped to its width. Each line is laid out at once, or in parts
// of 64 KiB where it is longer; the last few hundred laid out are kept, and an edit lays out
// again only the lines it touched. What Layout returns stays valid while a few hundred other
// segments are laid out, so a caller may hold one while it asks for its neighbours.
class LayoutCache {
public:
    // A piece of one line laid out at once: the whole line, or a part of a huge one.
    struct Segment {
        std::size_t line = 0;
        std::size_t part = 0;
        std::size_t from = 0; // bytes, without the CR LF
        std::size_t to = 0;
    };
    struct Laid {
        Segment segment;
        std::unique_ptr<QTextLayout> layout;
    };

    explicit LayoutCache(const ShownText& text);
    ~LayoutCache();

    void SetFont(const QFont& font);
    const QFont& Font() const noexcept { return font_; }
    void SetWidth(int width);
    // What an input method composes at the caret, shown but not yet in the text.
    void SetPreedit(std::size_t offset, const QString& preedit);
    const QString& Preedit() const noexcept { return preedit_; }
    std::size_t PreeditAt() const noexcept { return preeditAt_; }
    // Another text: nothing laid out is kept.
    void Reset();
    void Changed(const TextChange& change);

    std::size_t SegmentCount() const;
    std::size_t SegmentIndex(std::size_t line, std::size_t part) const;
    std::size_t SegmentIndex(const Segment& segment) const {
        return SegmentIndex(segment.line, segment.part);
    }
    Segment SegmentAt(std::size_t index) const;
    Segment SegmentOf(std::size_t offset) const;
    Laid& Layout(std::size_t index) const;

    // Screen units and bytes within one segment.
    int UnitOf(const Segment& segment, std::size_t offset) const {
        return text_.UnitsIn(segment.from, offset);
    }
    std::size_t ByteOf(const Segment& segment, int unit) const {
        return text_.ByteAfterUnits(segment.from, segment.to, unit);
    }

private:
    void Clear() const;
    void IndexLongLines() const;
    std::size_t PartsOf(std::size_t line) const;

    const ShownText& text_;
    QFont font_;
    int width_ = 1;
    QString preedit_;
    std::size_t preeditAt_ = 0;
    mutable std::vector<std::pair<std::size_t, std::size_t>> longLines_; // line, extra parts so far
    mutable bool longIndexed_ = false;
    mutable std::unordered_map<std::size_t, Laid> layouts_;
    mutable std::unordered_map<std::size_t, Laid> retired_; // the generation before, until the next
};

} // namespace skaldrun::ui
