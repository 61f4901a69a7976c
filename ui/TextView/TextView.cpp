#include "ui/TextView/TextView.h"

#include "ui/TextView/TextViewAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>

namespace skaldrun::ui {

namespace {

constexpr int kMargin = 4;                     // around the text, as Qt's text views keep
constexpr std::size_t kPart = 64 * 1024;       // the most of one line laid out at once
constexpr std::size_t kLayoutCacheLimit = 512; // laid-out segments kept
constexpr std::size_t kBlockLines = 1024;      // lines per count of screen units
constexpr std::size_t kNoSegment = static_cast<std::size_t>(-1);

bool IsContinuation(char c) noexcept {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

// Text on the clipboard that is decoded only when someone asks for it: a snapshot of the
// view's pieces, which later edits leave alone. Bytes it shares with the view's owner are copied
// only when the owner is about to change them.
class LazyText final : public QMimeData {
public:
    LazyText(std::vector<TextBuffer::Span> spans, const ViewCodec& codec)
        : spans_(std::move(spans))
        , codec_(codec) {}

    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString& mimeType) const override {
        return mimeType == QLatin1String("text/plain");
    }
    void Detach() {
        for (TextBuffer::Span& span : spans_) {
            if (span.keep == nullptr) {
                auto own = std::make_shared<const std::string>(span.bytes);
                span.bytes = *own;
                span.keep = std::move(own);
            }
        }
    }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
        if (mimeType != QLatin1String("text/plain"))
            return QMimeData::retrieveData(mimeType, type);
        if (spans_.size() == 1)
            return codec_.DecodeSame(spans_.front().bytes);
        std::string bytes;
        for (const TextBuffer::Span& span : spans_)
            bytes.append(span.bytes);
        return codec_.DecodeSame(bytes);
    }

private:
    std::vector<TextBuffer::Span> spans_;
    ViewCodec codec_;
};

TextView::TextView(QWidget* parent)
    : QAbstractScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setAcceptDrops(true);
    static const bool readable = [] {
        QAccessible::installFactory(TextViewAccessibleFactory);
        return true;
    }();
    (void)readable;
}

TextView::~TextView() {
    DetachClipboards();
}

void TextView::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
}

void TextView::SetText(std::string_view bytes) {
    if (buffer_.Borrows(bytes)) {
        modified_ = false;
        return;
    }
    DetachClipboards();          // before the owner frees what they share
    if (buffer_.Equals(bytes)) { // the owner took the edits: share its copy
        buffer_.Rebase(bytes);
        modified_ = false;
        return;
    }
    buffer_.Borrow(bytes);
    codecChosen_ = false; // chosen when first needed: a hidden view never reads its text
    TextReplaced();
}

const ViewCodec& TextView::Codec() const {
    if (!codecChosen_) {
        std::string scratch;
        codec_.Choose(buffer_.Range(0, buffer_.Size(), scratch));
        codecChosen_ = true;
    }
    return codec_;
}

void TextView::TextReplaced() {
    caret_ = anchor_ = 0;
    preferredX_ = -1;
    top_ = {};
    undo_.clear();
    redo_.clear();
    modified_ = false;
    longIndexed_ = false;
    unitsCounted_ = false;
    DropLayouts();
    barStale_ = true; // the bar is set when next shown, so a hidden view indexes nothing
    viewport()->update();
}

void TextView::DropLayouts() const {
    layouts_.clear();
}

int TextView::WrapWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

// --- Segments: lines, and parts of lines too long to lay out at once --------------------------

std::size_t TextView::PartsOf(std::size_t line) const {
    const std::size_t length = buffer_.LineEnd(line) - buffer_.LineStart(line);
    return length <= kPart ? 1 : (length + kPart - 1) / kPart;
}

void TextView::IndexLongLines() const {
    if (longIndexed_)
        return;
    longLines_.clear();
    std::size_t extra = 0;
    for (const std::size_t line : buffer_.LinesLongerThan(kPart)) {
        extra += PartsOf(line) - 1;
        longLines_.emplace_back(line, extra);
    }
    longIndexed_ = true;
}

std::size_t TextView::SegmentCount() const {
    IndexLongLines();
    return buffer_.LineCount() + (longLines_.empty() ? 0 : longLines_.back().second);
}

std::size_t TextView::SegmentIndex(std::size_t line, std::size_t part) const {
    IndexLongLines();
    const auto after =
        std::lower_bound(longLines_.begin(), longLines_.end(), std::pair{line, std::size_t{0}});
    const std::size_t extraBefore = after == longLines_.begin() ? 0 : std::prev(after)->second;
    return line + extraBefore + part;
}

TextView::Segment TextView::SegmentAt(std::size_t index) const {
    IndexLongLines();
    // The first long line whose last segment is at or after index.
    const auto hit = std::lower_bound(
        longLines_.begin(), longLines_.end(), index,
        [](const auto& entry, std::size_t i) { return entry.first + entry.second < i; });
    const std::size_t extraBefore = hit == longLines_.begin() ? 0 : std::prev(hit)->second;
    Segment s;
    if (hit != longLines_.end() && hit->first + extraBefore <= index) {
        s.line = hit->first;
        s.part = index - hit->first - extraBefore;
    } else {
        s.line = index - extraBefore;
    }
    const std::size_t start = buffer_.LineStart(s.line);
    const std::size_t end = buffer_.LineEnd(s.line);
    const auto align = [&](std::size_t at) {
        at = std::min(at, end);
        if (Codec().Current() == ViewCodec::Encoding::Utf8)
            while (at < end && IsContinuation(buffer_.At(at)))
                ++at;
        return at;
    };
    s.from = s.part == 0 ? start : align(start + s.part * kPart);
    s.to = s.part + 1 >= PartsOf(s.line) ? end : align(start + (s.part + 1) * kPart);
    return s;
}

TextView::Segment TextView::SegmentOf(std::size_t offset) const {
    const std::size_t line = buffer_.LineOf(offset);
    std::size_t part = std::min((offset - buffer_.LineStart(line)) / kPart, PartsOf(line) - 1);
    Segment s = SegmentAt(SegmentIndex(line, part));
    if (offset < s.from && part > 0)
        s = SegmentAt(SegmentIndex(line, part - 1));
    return s;
}

TextView::Laid& TextView::Layout(std::size_t index) const {
    if (const auto hit = layouts_.find(index); hit != layouts_.end())
        return hit->second;
    if (layouts_.size() >= kLayoutCacheLimit)
        DropLayouts();
    const Segment segment = SegmentAt(index);
    std::string scratch;
    const QString text = Codec().DecodeSame(buffer_.Range(segment.from, segment.to, scratch));
    auto layout = std::make_unique<QTextLayout>(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    if (!preedit_.isEmpty() && caret_ >= segment.from && caret_ <= segment.to)
        layout->setPreeditArea(UnitOf(segment, caret_), preedit_);
    const int width = WrapWidth();
    qreal y = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return layouts_.emplace(index, Laid{segment, std::move(layout)}).first->second;
}

// --- Characters: screen units within a segment, and steps over whole characters --------------

int TextView::UnitOf(const Segment& segment, std::size_t offset) const {
    std::string scratch;
    return static_cast<int>(Codec().DecodedLength(buffer_.Range(segment.from, offset, scratch)));
}

std::size_t TextView::ByteOf(const Segment& segment, int unit) const {
    if (Codec().Current() != ViewCodec::Encoding::Utf8)
        return std::min(segment.from + static_cast<std::size_t>(std::max(unit, 0)), segment.to);
    std::size_t at = segment.from;
    for (int units = 0; at < segment.to && units < unit;) {
        const auto lead = static_cast<unsigned char>(buffer_.At(at));
        units += lead >= 0xF0 ? 2 : 1;
        at = NextCharacter(at);
    }
    return std::min(at, segment.to);
}

std::size_t TextView::NextCharacter(std::size_t offset) const {
    const std::size_t size = buffer_.Size();
    if (offset >= size)
        return size;
    if (buffer_.At(offset) == '\r' && offset + 1 < size && buffer_.At(offset + 1) == '\n')
        return offset + 2;
    ++offset;
    if (Codec().Current() == ViewCodec::Encoding::Utf8)
        while (offset < size && IsContinuation(buffer_.At(offset)))
            ++offset;
    return offset;
}

std::size_t TextView::PreviousCharacter(std::size_t offset) const {
    if (offset == 0)
        return 0;
    if (offset >= 2 && buffer_.At(offset - 2) == '\r' && buffer_.At(offset - 1) == '\n')
        return offset - 2;
    return CharacterStart(offset - 1);
}

std::size_t TextView::CharacterStart(std::size_t offset) const {
    offset = std::min(offset, buffer_.Size());
    if (Codec().Current() == ViewCodec::Encoding::Utf8)
        while (offset > 0 && offset < buffer_.Size() && IsContinuation(buffer_.At(offset)))
            --offset;
    if (offset > 0 && offset < buffer_.Size() && buffer_.At(offset - 1) == '\r' &&
        buffer_.At(offset) == '\n')
        --offset;
    return offset;
}

// --- Rows: the lines of the screen --------------------------------------------------------------

TextView::Row TextView::RowOf(std::size_t offset) const {
    const Segment segment = SegmentOf(offset);
    const std::size_t index = SegmentIndex(segment.line, segment.part);
    const QTextLayout& layout = *Layout(index).layout;
    int unit = UnitOf(segment, std::min(offset, segment.to));
    if (!preedit_.isEmpty() && offset == caret_)
        unit += static_cast<int>(preedit_.size());
    const QTextLine line = layout.lineForTextPosition(unit);
    return {index, line.isValid() ? line.lineNumber() : 0};
}

int TextView::RowCount(std::size_t segment) const {
    return std::max(1, Layout(segment).layout->lineCount());
}

bool TextView::NextRow(Row& row) const {
    if (row.row + 1 < RowCount(row.segment)) {
        ++row.row;
        return true;
    }
    if (row.segment + 1 >= SegmentCount())
        return false;
    row = {row.segment + 1, 0};
    return true;
}

bool TextView::PreviousRow(Row& row) const {
    if (row.row > 0) {
        --row.row;
        return true;
    }
    if (row.segment == 0)
        return false;
    row = {row.segment - 1, RowCount(row.segment - 1) - 1};
    return true;
}

int TextView::RowHeight(const Row& row) const {
    const QTextLayout& layout = *Layout(row.segment).layout;
    return row.row < layout.lineCount() ? qCeil(layout.lineAt(row.row).height())
                                        : fontMetrics().lineSpacing();
}

int TextView::VisibleRows() const {
    return std::max(1, (viewport()->height() - 2 * kMargin) / fontMetrics().lineSpacing());
}

std::size_t TextView::OffsetInRow(const Row& row, qreal x) const {
    const Laid& laid = Layout(row.segment);
    const QTextLine line = laid.layout->lineAt(row.row);
    if (!line.isValid())
        return laid.segment.from;
    int unit = line.xToCursor(x);
    // The end of a wrapped row is the start of the next: stay on this row, before its last blank.
    const int rowEnd = line.textStart() + line.textLength();
    if (unit >= rowEnd && row.row + 1 < laid.layout->lineCount())
        unit = std::max(line.textStart(), rowEnd - 1);
    return ByteOf(laid.segment, unit);
}

qreal TextView::XOf(std::size_t offset) const {
    const Row row = RowOf(offset);
    const Laid& laid = Layout(row.segment);
    return laid.layout->lineAt(row.row).cursorToX(UnitOf(laid.segment, offset));
}

std::size_t TextView::OffsetAt(const QPoint& point) const {
    ClampTop();
    Row row = top_;
    int y = kMargin - qFloor(Layout(top_.segment).layout->lineAt(top_.row).y());
    int rowTop = kMargin;
    for (;;) {
        const Laid& laid = Layout(row.segment);
        const QTextLine line = laid.layout->lineAt(row.row);
        rowTop = y + qFloor(line.y());
        if (point.y() < rowTop + qCeil(line.height()))
            break;
        Row next = row;
        if (!NextRow(next))
            break;
        if (next.segment != row.segment)
            y += qCeil(laid.layout->boundingRect().height());
        row = next;
    }
    return OffsetInRow(row, point.x() - kMargin);
}

// --- Scrolling ----------------------------------------------------------------------------------

// After an edit the top may name a segment or a row that is gone.
void TextView::ClampTop() const {
    top_.segment = std::min(top_.segment, SegmentCount() - 1);
    top_.row = std::clamp(top_.row, 0, RowCount(top_.segment) - 1);
}

// The last segment the top may be: the text's end then fills the view's bottom, and a text that
// fits in the view does not scroll at all.
std::size_t TextView::LastTopSegment() const {
    const int height = viewport()->height() - 2 * kMargin;
    std::size_t top = SegmentCount() - 1;
    for (int filled = qCeil(Layout(top).layout->boundingRect().height()); top > 0; --top) {
        filled += qCeil(Layout(top - 1).layout->boundingRect().height());
        if (filled > height)
            break;
    }
    return top;
}

void TextView::SyncScrollBar() {
    barStale_ = false;
    syncingBar_ = true;
    QScrollBar* bar = verticalScrollBar();
    ClampTop();
    const std::size_t last = LastTopSegment();
    if (top_.segment > last)
        top_ = {last, 0};
    bar->setRange(0, static_cast<int>(last));
    bar->setPageStep(VisibleRows());
    bar->setSingleStep(1);
    bar->setValue(static_cast<int>(top_.segment));
    syncingBar_ = false;
}

void TextView::scrollContentsBy(int, int) {
    if (syncingBar_)
        return;
    top_ = {static_cast<std::size_t>(verticalScrollBar()->value()), 0};
    viewport()->update();
}

// The top at which the text's last row stands at the view's bottom.
TextView::Row TextView::BottomTop() const {
    const int height = viewport()->height() - 2 * kMargin;
    const std::size_t last = SegmentCount() - 1;
    Row row{last, RowCount(last) - 1};
    for (int filled = RowHeight(row);;) {
        Row previous = row;
        if (!PreviousRow(previous) || filled + RowHeight(previous) > height)
            return row;
        filled += RowHeight(previous);
        row = previous;
    }
}

void TextView::ScrollRows(int rows) {
    ClampTop();
    if (rows > 0) { // never past the text's end
        const Row bottom = BottomTop();
        for (; rows > 0 && (top_.segment < bottom.segment ||
                            (top_.segment == bottom.segment && top_.row < bottom.row));
             --rows)
            NextRow(top_);
    }
    for (; rows < 0 && PreviousRow(top_); ++rows) {
    }
    SyncScrollBar();
    viewport()->update();
}

void TextView::EnsureVisible(std::size_t offset) {
    ClampTop();
    const Row target = RowOf(offset);
    const int height = viewport()->height() - 2 * kMargin;
    const auto before = [](const Row& a, const Row& b) {
        return a.segment < b.segment || (a.segment == b.segment && a.row < b.row);
    };
    if (before(target, top_)) {
        top_ = target;
    } else {
        int y = 0;
        bool shown = false;
        for (Row row = top_;;) {
            y += RowHeight(row);
            if (y > height)
                break;
            if (row.segment == target.segment && row.row == target.row) {
                shown = true;
                break;
            }
            if (!NextRow(row))
                break;
        }
        if (!shown) { // the rows that end with the target fill the view
            Row row = target;
            for (int filled = RowHeight(row);;) {
                Row previous = row;
                if (!PreviousRow(previous) || filled + RowHeight(previous) > height)
                    break;
                filled += RowHeight(previous);
                row = previous;
            }
            top_ = row;
        }
    }
    SyncScrollBar();
    viewport()->update();
}

// --- Painting -----------------------------------------------------------------------------------

void TextView::paintEvent(QPaintEvent*) {
    if (barStale_)
        SyncScrollBar();
    QPainter painter(viewport());
    const bool focused = hasFocus();
    const QPalette& colours = palette();
    painter.setPen(colours.color(QPalette::Text));
    const std::size_t selectionStart = SelectionStart();
    const std::size_t selectionEnd = SelectionEnd();
    const std::size_t segments = SegmentCount();
    ClampTop();
    qreal y = kMargin - Layout(top_.segment).layout->lineAt(top_.row).y();
    if (top_.row > 0) // the rows above the top stay out of the margin
        painter.setClipRect(viewport()->rect().adjusted(0, kMargin, 0, 0));
    for (std::size_t index = top_.segment; index < segments && y < viewport()->height(); ++index) {
        const Laid& laid = Layout(index);
        const Segment& segment = laid.segment;
        QList<QTextLayout::FormatRange> selections;
        if (focused && selectionStart < selectionEnd && selectionStart <= segment.to &&
            selectionEnd >= segment.from) {
            QTextLayout::FormatRange range;
            range.start = UnitOf(segment, std::max(selectionStart, segment.from));
            range.length = UnitOf(segment, std::min(selectionEnd, segment.to)) - range.start;
            range.format.setBackground(colours.brush(QPalette::Highlight));
            range.format.setForeground(colours.brush(QPalette::HighlightedText));
            if (range.length > 0)
                selections.append(range);
        }
        const QPointF origin(kMargin, y);
        laid.layout->draw(&painter, origin, selections);
        if (focused && caretShown_ && caret_ >= segment.from && caret_ <= segment.to &&
            SegmentOf(caret_).from == segment.from) {
            int unit = UnitOf(segment, caret_);
            if (!preedit_.isEmpty())
                unit += static_cast<int>(preedit_.size());
            laid.layout->drawCursor(&painter, origin, unit, 1);
        }
        y += laid.layout->boundingRect().height();
    }
}

void TextView::showEvent(QShowEvent* event) {
    if (barStale_)
        SyncScrollBar(); // before the first paint, so the bar is drawn as it is
    QAbstractScrollArea::showEvent(event);
}

void TextView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    DropLayouts();
    top_.row = 0;
    SyncScrollBar();
}

void TextView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        DropLayouts();
        top_.row = 0;
    }
    QAbstractScrollArea::changeEvent(event);
}

// --- Caret and selection ------------------------------------------------------------------------

void TextView::MoveCaret(std::size_t offset, bool extend, bool keepX) {
    caret_ = CharacterStart(offset);
    if (!extend)
        anchor_ = caret_;
    if (!keepX)
        preferredX_ = -1;
    RestartBlink();
    EnsureVisible(caret_);
    SelectionChanged();
}

void TextView::Select(std::size_t start, std::size_t end) {
    const std::size_t size = buffer_.Size();
    anchor_ = CharacterStart(std::min(end, size));
    caret_ = CharacterStart(std::min(start, size));
    preferredX_ = -1;
    viewport()->update();
}

void TextView::SelectionChanged() {
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent moved(this, CharacterOfByte(caret_));
        QAccessible::updateAccessibility(&moved);
    }
    if (selecting_ || caret_ == anchor_)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection()) {
        auto* text = new LazyText(buffer_.Snapshot(SelectionStart(), SelectionEnd()), Codec());
        clipboards_.emplace_back(text);
        clipboard->setMimeData(text, QClipboard::Selection);
    }
}

QString TextView::Decoded(std::size_t from, std::size_t to) const {
    std::string scratch;
    to = std::min(to, buffer_.Size());
    return Codec().DecodeSame(buffer_.Range(std::min(from, to), to, scratch));
}

void TextView::CopyToClipboard(std::size_t from, std::size_t to) {
    std::erase_if(clipboards_, [](const QPointer<LazyText>& p) { return p.isNull(); });
    auto* text = new LazyText(buffer_.Snapshot(from, std::min(to, buffer_.Size())), Codec());
    clipboards_.emplace_back(text);
    QGuiApplication::clipboard()->setMimeData(text, QClipboard::Clipboard);
}

void TextView::KeepOwnCopy() {
    DetachClipboards();
    buffer_.KeepOwnCopy();
}

void TextView::DetachClipboards() {
    for (const QPointer<LazyText>& text : clipboards_)
        if (text)
            text->Detach();
    clipboards_.clear();
}

void TextView::copy() {
    if (caret_ != anchor_)
        CopyToClipboard(SelectionStart(), SelectionEnd());
}

void TextView::selectAll() {
    anchor_ = 0;
    caret_ = buffer_.Size();
    RestartBlink();
    EnsureVisible(caret_);
    SelectionChanged();
}

std::size_t TextView::WordBoundary(std::size_t offset, bool forward) const {
    const Segment segment = SegmentOf(offset);
    const Laid& laid = Layout(SegmentIndex(segment.line, segment.part));
    const int unit = UnitOf(segment, offset);
    const int length = static_cast<int>(laid.layout->text().size());
    if (forward && unit >= length)
        return NextCharacter(offset);
    if (!forward && unit == 0)
        return PreviousCharacter(offset);
    const int next = forward ? laid.layout->nextCursorPosition(unit, QTextLayout::SkipWords)
                             : laid.layout->previousCursorPosition(unit, QTextLayout::SkipWords);
    return ByteOf(segment, next);
}

// --- Editing ------------------------------------------------------------------------------------

void TextView::Replace(std::size_t from, std::size_t to, std::string_view bytes, bool typing) {
    if (readOnly_)
        return;
    Step step{from, buffer_.Copy(from, to), std::string(bytes), caret_, anchor_, typing};
    const QString removedText =
        QAccessible::isActive() ? Codec().DecodeSame(step.removed) : QString();
    const std::size_t linesBefore = buffer_.LineCount();
    const std::size_t line = buffer_.LineOf(from);
    const bool oneLine = buffer_.LineOf(to) == line;
    buffer_.Replace(from, to, bytes);
    modified_ = true;
    redo_.clear();
    Step* last = undo_.empty() ? nullptr : &undo_.back();
    if (typing && last != nullptr && last->typing && step.removed.empty() &&
        last->at + last->inserted.size() == from)
        last->inserted += step.inserted;
    else
        undo_.push_back(std::move(step));

    longIndexed_ = false;
    if (unitsCounted_ && oneLine && buffer_.LineCount() == linesBefore &&
        buffer_.LineEnd(line) - buffer_.LineStart(line) <= kPart) {
        // One line changed: only its block's count.
        int units = 0;
        const std::size_t block = line / kBlockLines;
        const std::size_t end = std::min(buffer_.LineCount(), (block + 1) * kBlockLines);
        std::string scratch;
        for (std::size_t l = block * kBlockLines; l < end; ++l)
            units += static_cast<int>(Codec().DecodedLength(
                         buffer_.Range(buffer_.LineStart(l), buffer_.LineEnd(l), scratch))) +
                     (l + 1 < buffer_.LineCount() ? 1 : 0);
        blockUnits_[block] = units;
    } else {
        unitsCounted_ = false;
    }
    DropLayouts();
    if (QAccessible::isActive()) {
        const int at = CharacterOfByte(from);
        if (!removedText.isEmpty()) {
            QAccessibleTextRemoveEvent removed(this, at, removedText);
            QAccessible::updateAccessibility(&removed);
        }
        if (!bytes.empty()) {
            QAccessibleTextInsertEvent inserted(this, at, Codec().DecodeSame(bytes));
            QAccessible::updateAccessibility(&inserted);
        }
    }
}

void TextView::InsertText(const QString& text, bool typing) {
    if (readOnly_)
        return;
    const std::string bytes = Codec().Encode(text);
    const std::size_t from = SelectionStart();
    Replace(from, SelectionEnd(), bytes, typing && caret_ == anchor_);
    MoveCaret(from + bytes.size(), false);
}

void TextView::ReplaceWithText(std::size_t from, std::size_t to, const QString& text) {
    if (readOnly_)
        return;
    // A screen reader may name the ends in either order, or past the end.
    if (from > to)
        std::swap(from, to);
    to = CharacterStart(std::min(to, buffer_.Size()));
    from = CharacterStart(std::min(from, to));
    const std::string bytes = Codec().Encode(text);
    Replace(from, to, bytes);
    MoveCaret(from + bytes.size(), false);
}

void TextView::DeleteSelectionOr(bool forward) {
    if (readOnly_)
        return;
    std::size_t from = SelectionStart();
    std::size_t to = SelectionEnd();
    if (from == to) {
        if (forward)
            to = NextCharacter(to);
        else
            from = PreviousCharacter(from);
    }
    if (from == to)
        return;
    Replace(from, to, {});
    MoveCaret(from, false);
}

void TextView::undo() {
    if (readOnly_ || undo_.empty())
        return;
    Step step = std::move(undo_.back());
    undo_.pop_back();
    std::vector<Step> redo = std::move(redo_);
    Replace(step.at, step.at + step.inserted.size(), step.removed);
    undo_.pop_back(); // the step Replace recorded
    redo_ = std::move(redo);
    caret_ = step.caretBefore;
    anchor_ = step.anchorBefore;
    EnsureVisible(caret_);
    SelectionChanged();
    redo_.push_back(std::move(step));
}

void TextView::redo() {
    if (readOnly_ || redo_.empty())
        return;
    Step step = std::move(redo_.back());
    redo_.pop_back();
    std::vector<Step> redo = std::move(redo_);
    Replace(step.at, step.at + step.removed.size(), step.inserted);
    redo_ = std::move(redo);
    undo_.back().typing = false; // a redone run is not typed onto
    MoveCaret(step.at + step.inserted.size(), false);
}

void TextView::cut() {
    if (readOnly_ || caret_ == anchor_)
        return;
    copy();
    DeleteSelectionOr(true);
}

void TextView::paste() {
    if (readOnly_)
        return;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime != nullptr && mime->hasText())
        InsertText(mime->text(), false);
}

// --- Keys and the mouse -------------------------------------------------------------------------

bool TextView::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Editing keys are the view's, not the window's shortcuts'.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool edits = key == QKeySequence::Copy || key == QKeySequence::SelectAll ||
                           key == QKeySequence::Cut || key == QKeySequence::Paste ||
                           key == QKeySequence::Undo || key == QKeySequence::Redo ||
                           key->key() == Qt::Key_Home || key->key() == Qt::Key_End ||
                           key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace ||
                           (!key->text().isEmpty() && key->text().front().isPrint() &&
                            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0);
        if (edits) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TextView::keyPressEvent(QKeyEvent* event) {
    const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
    const auto vertical = [&](int rows) {
        if (preferredX_ < 0)
            preferredX_ = XOf(caret_);
        Row row = RowOf(caret_);
        bool moved = false;
        for (int i = 0; i < std::abs(rows); ++i)
            moved = (rows > 0 ? NextRow(row) : PreviousRow(row)) || moved;
        std::size_t target = OffsetInRow(row, preferredX_);
        if (!moved)
            target = rows > 0 ? buffer_.Size() : 0;
        if (std::abs(rows) > 1)
            ScrollRows(rows);
        MoveCaret(target, shift, moved);
    };
    const auto rowEdge = [&](bool end) {
        const Row row = RowOf(caret_);
        const Laid& laid = Layout(row.segment);
        const QTextLine line = laid.layout->lineAt(row.row);
        int unit = line.textStart();
        if (end) {
            unit += line.textLength();
            if (row.row + 1 < laid.layout->lineCount())
                unit = std::max(line.textStart(), unit - 1);
        }
        MoveCaret(ByteOf(laid.segment, unit), shift);
    };

    if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::Cut) {
        cut();
    } else if (event == QKeySequence::Paste) {
        paste();
    } else if (event == QKeySequence::Undo) {
        undo();
    } else if (event == QKeySequence::Redo ||
               (event->key() == Qt::Key_Y && event->modifiers() == Qt::ControlModifier) ||
               (event->key() == Qt::Key_Z &&
                event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier))) {
        redo();
    } else if (event == QKeySequence::MoveToStartOfDocument ||
               event == QKeySequence::SelectStartOfDocument) {
        MoveCaret(0, shift);
    } else if (event == QKeySequence::MoveToEndOfDocument ||
               event == QKeySequence::SelectEndOfDocument) {
        MoveCaret(buffer_.Size(), shift);
    } else if (event == QKeySequence::MoveToNextWord || event == QKeySequence::SelectNextWord) {
        MoveCaret(WordBoundary(caret_, true), shift);
    } else if (event == QKeySequence::MoveToPreviousWord ||
               event == QKeySequence::SelectPreviousWord) {
        MoveCaret(WordBoundary(caret_, false), shift);
    } else if (event == QKeySequence::MoveToNextChar || event == QKeySequence::SelectNextChar) {
        MoveCaret(!shift && caret_ != anchor_ ? SelectionEnd() : NextCharacter(caret_), shift);
    } else if (event == QKeySequence::MoveToPreviousChar ||
               event == QKeySequence::SelectPreviousChar) {
        MoveCaret(!shift && caret_ != anchor_ ? SelectionStart() : PreviousCharacter(caret_),
                  shift);
    } else if (event == QKeySequence::MoveToNextLine || event == QKeySequence::SelectNextLine) {
        vertical(1);
    } else if (event == QKeySequence::MoveToPreviousLine ||
               event == QKeySequence::SelectPreviousLine) {
        vertical(-1);
    } else if (event == QKeySequence::MoveToNextPage || event == QKeySequence::SelectNextPage) {
        vertical(VisibleRows());
    } else if (event == QKeySequence::MoveToPreviousPage ||
               event == QKeySequence::SelectPreviousPage) {
        vertical(-VisibleRows());
    } else if (event == QKeySequence::MoveToStartOfLine ||
               event == QKeySequence::SelectStartOfLine) {
        rowEdge(false);
    } else if (event == QKeySequence::MoveToEndOfLine || event == QKeySequence::SelectEndOfLine) {
        rowEdge(true);
    } else if (readOnly_) {
        event->ignore();
    } else if (event->key() == Qt::Key_Backspace) {
        DeleteSelectionOr(false);
    } else if (event->key() == Qt::Key_Delete) {
        DeleteSelectionOr(true);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        InsertText(QStringLiteral("\n"), false);
    } else if (!event->text().isEmpty() && event->text().front().isPrint() &&
               (event->modifiers() & Qt::ControlModifier) == 0) {
        InsertText(event->text(), true);
    } else {
        event->ignore();
    }
}

void TextView::mousePressEvent(QMouseEvent* event) {
    const std::size_t offset = OffsetAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        selecting_ = true;
        MoveCaret(offset, (event->modifiers() & Qt::ShiftModifier) != 0);
    } else if (event->button() == Qt::MiddleButton && !readOnly_ &&
               QGuiApplication::clipboard()->supportsSelection()) {
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Selection);
        if (mime != nullptr && mime->hasText()) {
            MoveCaret(offset, false);
            InsertText(mime->text(), false);
        }
    }
}

void TextView::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_ || (event->buttons() & Qt::LeftButton) == 0)
        return;
    const QPoint at = event->position().toPoint();
    if (at.y() < 0)
        ScrollRows(-1);
    else if (at.y() > viewport()->height())
        ScrollRows(1);
    MoveCaret(OffsetAt(at), true);
}

void TextView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && selecting_) {
        selecting_ = false;
        SelectionChanged(); // now the primary selection
    }
}

void TextView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const std::size_t offset = OffsetAt(event->position().toPoint());
    const Segment segment = SegmentOf(offset);
    const QString text = Layout(SegmentIndex(segment.line, segment.part)).layout->text();
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(UnitOf(segment, offset));
    const qsizetype start =
        words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
            ? words.position()
            : words.toPreviousBoundary();
    words.setPosition(std::max<qsizetype>(start, 0));
    const qsizetype end = words.toNextBoundary();
    anchor_ = ByteOf(segment, static_cast<int>(std::max<qsizetype>(start, 0)));
    caret_ = ByteOf(segment, static_cast<int>(end < 0 ? text.size() : end));
    selecting_ = false;
    EnsureVisible(caret_);
    SelectionChanged();
}

void TextView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    ScrollRows(-steps * QApplication::wheelScrollLines());
    event->accept();
}

void TextView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
    viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    viewport()->update();
}

void TextView::RestartBlink() {
    caretShown_ = true;
    const int period = QGuiApplication::styleHints()->cursorFlashTime() / 2;
    if (period > 0 && hasFocus())
        blink_.start(period, this);
    else
        blink_.stop();
}

void TextView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blink_.timerId())
        return QAbstractScrollArea::timerEvent(event);
    caretShown_ = !caretShown_;
    viewport()->update();
}

std::unique_ptr<QMenu> TextView::ContextMenu() {
    auto menu = std::make_unique<QMenu>();
    const auto add = [&](const char* text, QKeySequence::StandardKey keys, bool enabled,
                         void (TextView::*slot)()) {
        QString caption = QCoreApplication::translate("QWidgetTextControl", text);
        const QKeySequence sequence(keys);
        if (!sequence.isEmpty())
            caption += u'\t' + sequence.toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(caption, this, slot);
        action->setEnabled(enabled);
    };
    const bool selected = caret_ != anchor_;
    if (!readOnly_) {
        add("&Undo", QKeySequence::Undo, !undo_.empty(), &TextView::undo);
        add("&Redo", QKeySequence::Redo, !redo_.empty(), &TextView::redo);
        menu->addSeparator();
        add("Cu&t", QKeySequence::Cut, selected, &TextView::cut);
    }
    add("&Copy", QKeySequence::Copy, selected, &TextView::copy);
    if (!readOnly_) {
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        add("&Paste", QKeySequence::Paste, mime != nullptr && mime->hasText(), &TextView::paste);
        QAction* remove =
            menu->addAction(QCoreApplication::translate("QWidgetTextControl", "Delete"), this,
                            [this] { DeleteSelectionOr(true); });
        remove->setEnabled(selected);
    }
    menu->addSeparator();
    add("Select All", QKeySequence::SelectAll, buffer_.Size() > 0, &TextView::selectAll);
    return menu;
}

void TextView::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu = ContextMenu();
    menu->exec(event->globalPos());
}

// --- Input methods and drops
// ----------------------------------------------------------------------

void TextView::inputMethodEvent(QInputMethodEvent* event) {
    if (readOnly_) {
        event->ignore();
        return;
    }
    const bool hadPreedit = !preedit_.isEmpty();
    preedit_.clear();
    if (hadPreedit)
        DropLayouts();
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        if (event->replacementLength() > 0 && caret_ == anchor_) {
            // Characters around the caret that the input method takes back.
            const Segment segment = SegmentOf(caret_);
            const int unit = UnitOf(segment, caret_);
            anchor_ = ByteOf(segment, unit + event->replacementStart());
            caret_ = ByteOf(segment, unit + event->replacementStart() + event->replacementLength());
        }
        InsertText(event->commitString(), true);
    }
    preedit_ = event->preeditString();
    if (!preedit_.isEmpty())
        DropLayouts();
    viewport()->update();
    event->accept();
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const {
    const Segment segment = SegmentOf(caret_);
    switch (query) {
    case Qt::ImEnabled:
        return !readOnly_;
    case Qt::ImCursorRectangle:
        return CharacterRect(caret_).translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return UnitOf(segment, caret_);
    case Qt::ImAnchorPosition:
        return UnitOf(segment, std::clamp(anchor_, segment.from, segment.to));
    case Qt::ImSurroundingText: {
        std::string scratch;
        return Codec().DecodeSame(buffer_.Range(segment.from, segment.to, scratch));
    }
    case Qt::ImCurrentSelection: {
        std::string scratch;
        return Codec().DecodeSame(
            buffer_.Range(std::clamp(SelectionStart(), segment.from, segment.to),
                          std::clamp(SelectionEnd(), segment.from, segment.to), scratch));
    }
    case Qt::ImHints:
        return static_cast<int>(Qt::ImhMultiLine);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void TextView::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void TextView::dragMoveEvent(QDragMoveEvent* event) {
    if (!readOnly_ && event->mimeData()->hasText())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TextView::dropEvent(QDropEvent* event) {
    if (readOnly_ || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    MoveCaret(OffsetAt(event->position().toPoint()), false);
    InsertText(event->mimeData()->text(), false);
    event->acceptProposedAction();
}

QSize TextView::sizeHint() const {
    return {256, 192};
}

// --- Screen readers
// -------------------------------------------------------------------------------

int TextView::CharacterCount() const {
    if (!unitsCounted_) {
        const std::size_t lines = buffer_.LineCount();
        blockUnits_.assign((lines + kBlockLines - 1) / kBlockLines, 0);
        std::string scratch;
        for (std::size_t line = 0; line < lines; ++line)
            blockUnits_[line / kBlockLines] +=
                static_cast<int>(Codec().DecodedLength(
                    buffer_.Range(buffer_.LineStart(line), buffer_.LineEnd(line), scratch))) +
                (line + 1 < lines ? 1 : 0);
        unitsCounted_ = true;
    }
    int total = 0;
    for (const int units : blockUnits_)
        total += units;
    return total;
}

int TextView::CharacterOfByte(std::size_t offset) const {
    CharacterCount();
    offset = std::min(offset, buffer_.Size());
    const std::size_t line = buffer_.LineOf(offset);
    const std::size_t block = line / kBlockLines;
    int units = 0;
    for (std::size_t b = 0; b < block; ++b)
        units += blockUnits_[b];
    std::string scratch;
    for (std::size_t l = block * kBlockLines; l < line; ++l)
        units += static_cast<int>(Codec().DecodedLength(
                     buffer_.Range(buffer_.LineStart(l), buffer_.LineEnd(l), scratch))) +
                 1;
    return units + static_cast<int>(Codec().DecodedLength(
                       buffer_.Range(buffer_.LineStart(line), offset, scratch)));
}

std::size_t TextView::ByteOfCharacter(int offset) const {
    CharacterCount();
    int units = std::max(offset, 0);
    std::size_t block = 0;
    while (block + 1 < blockUnits_.size() && units >= blockUnits_[block]) {
        units -= blockUnits_[block];
        ++block;
    }
    const std::size_t lines = buffer_.LineCount();
    std::string scratch;
    for (std::size_t line = block * kBlockLines; line < lines; ++line) {
        const std::size_t start = buffer_.LineStart(line);
        const std::size_t end = buffer_.LineEnd(line);
        const int length =
            static_cast<int>(Codec().DecodedLength(buffer_.Range(start, end, scratch)));
        if (units <= length || line + 1 == lines) {
            Segment whole{line, 0, start, end};
            return ByteOf(whole, units);
        }
        units -= length + 1;
    }
    return buffer_.Size();
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

std::size_t TextView::ByteAtPoint(const QPoint& point) const {
    return OffsetAt(point);
}

} // namespace skaldrun::ui
