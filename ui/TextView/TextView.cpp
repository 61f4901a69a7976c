#include "ui/TextView/TextView.h"

#include "ui/TextView/ClipboardText.h"
#include "ui/TextView/TextViewAccessible.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextLayout>
#include <algorithm>

namespace skaldrun::ui {

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
    layouts_.SetFont(font());
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            &TextView::ScrollBarAction);
    static const bool readable = [] {
        QAccessible::installFactory(TextViewAccessibleFactory);
        return true;
    }();
    (void)readable;
}

TextView::~TextView() = default;

void TextView::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
}

void TextView::SetDocument(std::shared_ptr<TextDocument> document) {
    if (document != nullptr && document == text_.Shared())
        return;
    text_.Show(std::move(document));
    layouts_.Reset();
    characters_.Reset();
    caret_ = anchor_ = 0;
    preferredX_ = -1;
    top_ = {};
    barStale_ = true; // the bar is set when next shown, so a hidden view indexes nothing
    viewport()->update();
}

int TextView::WrapWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

// --- Rows: the lines of the screen --------------------------------------------------------------

TextView::Row TextView::RowOf(std::size_t offset) const {
    const Segment segment = SegmentOf(offset);
    const std::size_t index = layouts_.SegmentIndex(segment.line, segment.part);
    const QTextLayout& layout = *Layout(index).layout;
    int unit = UnitOf(segment, std::min(offset, segment.to));
    if (!layouts_.Preedit().isEmpty() && offset == caret_)
        unit += static_cast<int>(layouts_.Preedit().size());
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

// The rows wholly on screen from the top, counted by their own heights: a page is that many,
// so the row cut off at the bottom is the next page's first.
int TextView::VisibleRows() const {
    ClampTop();
    const int height = viewport()->height() - 2 * kMargin;
    int rows = 0;
    int used = 0;
    for (Row row = top_;; ++rows) {
        used += RowHeight(row);
        if (used > height || !NextRow(row))
            break;
    }
    return std::max(rows, 1);
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
    bar->setPageStep(VisibleSegments()); // the handle shows the share of the lines on screen
    bar->setSingleStep(1);
    bar->setValue(static_cast<int>(top_.segment));
    syncingBar_ = false;
}

// The segments at least partly on screen.
int TextView::VisibleSegments() const {
    const int height = viewport()->height() - 2 * kMargin;
    int shown = 0;
    qreal y = -Layout(top_.segment).layout->lineAt(top_.row).y();
    for (std::size_t index = top_.segment; index < SegmentCount() && y < height; ++index) {
        y += Layout(index).layout->boundingRect().height();
        ++shown;
    }
    return std::max(shown, 1);
}

// Steps and pages of the scroll bar, its arrows and its trough, go by the rows on screen, so
// that wrapped lines are never stepped over.
void TextView::ScrollBarAction(int action) {
    int rows = 0;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        rows = 1;
        break;
    case QAbstractSlider::SliderSingleStepSub:
        rows = -1;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        rows = VisibleRows();
        break;
    case QAbstractSlider::SliderPageStepSub:
        rows = -VisibleRows();
        break;
    default:
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    bar->setSliderPosition(bar->value());
    ScrollRows(rows);
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
            if (!layouts_.Preedit().isEmpty())
                unit += static_cast<int>(layouts_.Preedit().size());
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
    layouts_.SetWidth(WrapWidth());
    top_.row = 0;
    SyncScrollBar();
}

void TextView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        layouts_.SetFont(font());
        top_.row = 0;
    }
    QAbstractScrollArea::changeEvent(event);
}

// --- Caret and selection ------------------------------------------------------------------------

void TextView::MoveCaret(std::size_t offset, bool extend, bool keepX) {
    caret_ = text_.CharacterStart(offset);
    if (!extend)
        anchor_ = caret_;
    if (!keepX)
        preferredX_ = -1;
    RestartBlink();
    EnsureVisible(caret_);
    SelectionChanged();
}

void TextView::Select(std::size_t anchor, std::size_t caret) {
    anchor_ = text_.CharacterStart(anchor);
    caret_ = text_.CharacterStart(caret);
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
    if (QGuiApplication::clipboard()->supportsSelection()) {
        PutOnClipboard(Document().Spans(SelectionStart(), SelectionEnd()), Codec(),
                       QClipboard::Selection);
    }
}

void TextView::CopyToClipboard(std::size_t from, std::size_t to) {
    PutOnClipboard(Document().Spans(from, to), Codec());
}

void TextView::copy() {
    if (caret_ != anchor_)
        CopyToClipboard(SelectionStart(), SelectionEnd());
}

void TextView::selectAll() {
    anchor_ = 0;
    caret_ = Size();
    RestartBlink();
    EnsureVisible(caret_);
    SelectionChanged();
}

std::size_t TextView::WordBoundary(std::size_t offset, bool forward) const {
    const Segment segment = SegmentOf(offset);
    const Laid& laid = Layout(layouts_.SegmentIndex(segment.line, segment.part));
    const int unit = UnitOf(segment, offset);
    const int length = static_cast<int>(laid.layout->text().size());
    if (forward && unit >= length)
        return text_.NextCharacter(offset);
    if (!forward && unit == 0 && segment.part > 0) { // a long line's cut is no word's end
        const std::size_t index = layouts_.SegmentIndex(segment) - 1;
        const Laid& before = Layout(index);
        const int end = static_cast<int>(before.layout->text().size());
        return ByteOf(before.segment,
                      before.layout->previousCursorPosition(end, QTextLayout::SkipWords));
    }
    if (!forward && unit == 0)
        return text_.PreviousCharacter(offset);
    const int next = forward ? laid.layout->nextCursorPosition(unit, QTextLayout::SkipWords)
                             : laid.layout->previousCursorPosition(unit, QTextLayout::SkipWords);
    return ByteOf(segment, next);
}

} // namespace skaldrun::ui
