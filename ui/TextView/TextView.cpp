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

namespace {
constexpr int kMargin = ViewGeometry::kMargin;
} // namespace

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
    text_.Document().Watch(*this);
    model_.Shared()->Watch(*this);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            &TextView::ScrollBarAction);
    static const bool readable = [] {
        QAccessible::installFactory(TextViewAccessibleFactory);
        return true;
    }();
    (void)readable;
}

TextView::~TextView() {
    text_.Document().Unwatch(*this);
    model_.Shared()->Unwatch(*this);
}

void TextView::setReadOnly(bool readOnly) {
    model_.SetReadOnly(readOnly);
    setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
}

void TextView::SetDocument(std::shared_ptr<TextDocument> document,
                           std::shared_ptr<SelectionModel> selection) {
    if (document == nullptr || document != text_.Shared()) {
        text_.Document().Unwatch(*this);
        text_.Show(std::move(document));
        text_.Document().Watch(*this);
        layouts_.Reset();
        characters_.Reset();
        geometry_.SetTop({});
        barStale_ = true; // the bar is set when next shown, so a hidden view indexes nothing
        if (selection == nullptr)
            selection = std::make_shared<SelectionModel>();
    }
    if (selection != nullptr && selection != model_.Shared()) {
        model_.Shared()->Unwatch(*this);
        model_.Share(std::move(selection));
        model_.Shared()->Watch(*this);
        toldSelection_ = model_.Selection();
    }
    viewport()->update();
}

void TextView::SetCodePage(CodePage page) {
    if (page == text_.ChosenPage())
        return;
    text_.SetCodePage(page);
    layouts_.Reset();
    characters_.Reset();
    geometry_.SetTop({});
    barStale_ = true;
    // A caret that was between two bytes of a character in the old reading is at its start now.
    const TextSelection selection = model_.Selection();
    model_.Select(text_.CharacterStart(selection.anchor), text_.CharacterStart(selection.caret));
    viewport()->update();
}

// What the view keeps per line follows the change, whoever made it; screen readers hear what
// went and came.
void TextView::TextChanged(const TextChange& change) {
    layouts_.Changed(change);
    characters_.Changed(change);
    model_.Follow(change);
    barStale_ = true; // another view's edit scrolls nothing here, yet the lines changed
    viewport()->update();
    if (!ScreenReadersListen())
        return;
    const int at = CharacterOfByte(change.at);
    if (change.removed != 0) {
        std::string removed;
        for (const TextSpan& span : change.removedBytes)
            removed.append(span.bytes);
        QAccessibleTextRemoveEvent event(this, at, Codec().Decode(removed));
        TellScreenReaders(event);
    }
    if (change.inserted != 0) {
        QAccessibleTextInsertEvent event(this, at, Decoded(change.at, change.at + change.inserted));
        TellScreenReaders(event);
    }
}

void TextView::SelectionMoved() {
    if (!paging_)
        pageY_.reset();
    viewport()->update();
    const TextSelection now = model_.Selection();
    const TextSelection before = std::exchange(toldSelection_, now);
    if (!ScreenReadersListen())
        return;
    // As the stock box: a selection that comes, goes or moves is told, then the caret.
    if (now.Empty() != before.Empty() || !now.Empty()) {
        QAccessibleTextSelectionEvent selected(this, CharacterOfByte(now.anchor),
                                               CharacterOfByte(now.caret));
        TellScreenReaders(selected);
    }
    QAccessibleTextCursorEvent moved(this, CharacterOfByte(now.caret));
    TellScreenReaders(moved);
}

// The user put the caret there: it shows, and what it selects is X11's primary selection once
// the mouse lets go.
void TextView::CaretMoved() {
    RestartBlink();
    if (!followingMouse_)
        MakeVisible(CaretOffset());
    if (!selecting_)
        ShareAsPrimary();
}

void TextView::ShareAsPrimary() {
    const TextSelection& selection = model_.Selection();
    if (!selection.Empty() && QGuiApplication::clipboard()->supportsSelection())
        PutOnClipboard(Document().Spans(selection.Start(), selection.End()), Codec(),
                       QClipboard::Selection);
}

void TextView::CopyToClipboard(std::size_t from, std::size_t to) {
    PutOnClipboard(Document().Spans(from, to), Codec());
}

void TextView::copy() {
    if (SelectionStart() != SelectionEnd())
        CopyToClipboard(SelectionStart(), SelectionEnd());
}

void TextView::cut() {
    if (isReadOnly() || SelectionStart() == SelectionEnd())
        return;
    copy();
    model_.DeleteSelectionOr(true);
}

int TextView::WrapWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

// --- Scrolling ----------------------------------------------------------------------------------

void TextView::SyncScrollBar() {
    barStale_ = false;
    syncingBar_ = true;
    QScrollBar* bar = verticalScrollBar();
    const std::size_t last = geometry_.LastTopSegment();
    if (geometry_.Top().segment > last)
        geometry_.SetTop({last, 0});
    bar->setRange(0, static_cast<int>(last));
    bar->setPageStep(geometry_.VisibleSegments()); // the handle shows the share on screen
    bar->setSingleStep(1);
    bar->setValue(static_cast<int>(geometry_.Top().segment));
    syncingBar_ = false;
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
        rows = geometry_.PageRows();
        break;
    case QAbstractSlider::SliderPageStepSub:
        rows = -geometry_.PageRows();
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
    geometry_.SetTop({static_cast<std::size_t>(verticalScrollBar()->value()), 0});
    viewport()->update();
}

void TextView::ScrollRows(int rows) {
    geometry_.ScrollRows(rows);
    SyncScrollBar();
    viewport()->update();
}

void TextView::MakeVisible(std::size_t offset) {
    geometry_.EnsureVisible(offset);
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
    const TextSelection& selection = model_.Selection();
    const std::size_t selectionStart = selection.Start();
    const std::size_t selectionEnd = selection.End();
    const std::size_t caret = selection.caret;
    const std::size_t segments = layouts_.SegmentCount();
    const Row top = geometry_.Top();
    qreal y = geometry_.TopSegmentY();
    for (std::size_t index = top.segment; index < segments && y < viewport()->height(); ++index) {
        const LayoutCache::Laid& laid = layouts_.Layout(index);
        const LayoutCache::Segment& segment = laid.segment;
        QList<QTextLayout::FormatRange> selections;
        if (focused && selectionStart < selectionEnd && selectionStart <= segment.to &&
            selectionEnd >= segment.from) {
            QTextLayout::FormatRange range;
            range.start = layouts_.UnitOf(segment, std::max(selectionStart, segment.from));
            range.length =
                layouts_.UnitOf(segment, std::min(selectionEnd, segment.to)) - range.start;
            range.format.setBackground(colours.brush(QPalette::Highlight));
            range.format.setForeground(colours.brush(QPalette::HighlightedText));
            if (range.length > 0)
                selections.append(range);
        }
        const QPointF origin(kMargin, y);
        laid.layout->draw(&painter, origin, selections);
        if (focused && caretShown_ && caret >= segment.from && caret <= segment.to &&
            layouts_.SegmentOf(caret).from == segment.from) {
            int unit = layouts_.UnitOf(segment, caret);
            if (!layouts_.Preedit().isEmpty() && caret == layouts_.PreeditAt())
                unit += static_cast<int>(layouts_.Preedit().size());
            laid.layout->drawCursor(&painter, origin, unit, 1);
        }
        if (dropCaret_ && *dropCaret_ >= segment.from && *dropCaret_ <= segment.to &&
            layouts_.SegmentOf(*dropCaret_).from == segment.from)
            laid.layout->drawCursor(&painter, origin, layouts_.UnitOf(segment, *dropCaret_), 1);
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
    geometry_.SetTop({geometry_.Top().segment, 0});
    SyncScrollBar();
}

void TextView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        layouts_.SetFont(font());
        geometry_.SetTop({geometry_.Top().segment, 0});
    }
    QAbstractScrollArea::changeEvent(event);
}

// --- Focus and the caret's blink ----------------------------------------------------------------

void TextView::focusInEvent(QFocusEvent* event) {
    focusedByPress_ = QGuiApplication::mouseButtons() != Qt::NoButton;
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
    viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event) {
    focusedByPress_ = false;
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

} // namespace skaldrun::ui
