#pragma once

#include "ui/TextView/TextBuffer.h"
#include "ui/ViewCodec.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPointer>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QMenu;
class QTextLayout;

namespace skaldrun::ui {

class LazyText;

// A view of a byte text of any size: only the lines on screen are decoded and laid out, wrapped
// at word boundaries to the view's width. Read-only, it shows bytes its owner keeps; editable, it
// holds them in a buffer that edits in place, with undo. The caret and the selection are byte
// offsets that never split a character or a CR LF; a typed or pasted line break is CR LF.
class TextView final : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(bool readOnly READ isReadOnly WRITE setReadOnly)
public:
    explicit TextView(QWidget* parent = nullptr);
    ~TextView() override;

    bool isReadOnly() const noexcept { return readOnly_; }
    void setReadOnly(bool readOnly);

    // Shows bytes that their owner keeps unchanged and alive until the next call, or the view's
    // end, whichever comes first. An editable
    // view copies them at its first edit. The same bytes as those shown change nothing, caret
    // and undo included.
    void SetText(std::string_view bytes);
    std::string Text() const { return buffer_.Copy(0, buffer_.Size()); }
    std::size_t Size() const noexcept { return buffer_.Size(); }
    // Edited since the text was last set or this was cleared.
    bool IsModified() const noexcept { return modified_; }
    void ClearModified() noexcept { modified_ = false; }

    // The selection in bytes; the caret is at its start when set here, so the view stays put.
    std::size_t SelectionStart() const noexcept { return std::min(caret_, anchor_); }
    std::size_t SelectionEnd() const noexcept { return std::max(caret_, anchor_); }
    std::size_t CaretOffset() const noexcept { return caret_; }
    void Select(std::size_t start, std::size_t end);
    // Puts bytes from..to on the clipboard, decoded only when another program asks for them.
    void CopyToClipboard(std::size_t from, std::size_t to);
    // Copies the owner's bytes that the view and its clipboard text share, before the owner
    // changes or frees them while keeping the view's text.
    void KeepOwnCopy();

    // The text as the screen shows it, line breaks as "\n"; for tests and screen readers.
    QString PlainText() const { return Decoded(0, Size()); }
    QString SelectedText() const { return Decoded(SelectionStart(), SelectionEnd()); }
    QString Decoded(std::size_t from, std::size_t to) const;
    // How the bytes are shown, chosen from all of them when first needed.
    const ViewCodec& Codec() const;

    // Whole characters of screen text, for screen readers: offsets in UTF-16 units of the text
    // PlainText gives, mapped to bytes through per-block counts, never a walk over the text.
    int CharacterCount() const;
    std::size_t ByteOfCharacter(int offset) const;
    int CharacterOfByte(std::size_t offset) const;
    QRect CharacterRect(std::size_t offset) const;
    std::size_t ByteAtPoint(const QPoint& point) const;
    // Replaces the bytes from..to with screen text, as a paste does.
    void ReplaceWithText(std::size_t from, std::size_t to, const QString& text);
    void MakeVisible(std::size_t offset) { EnsureVisible(offset); }

    QSize sizeHint() const override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

public slots:
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    void selectAll();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class LazyText;

    // A piece of one line laid out at once: the whole line, or a 64 KiB part of a huge one.
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
    // A place on screen: a segment's index and a row of its layout.
    struct Row {
        std::size_t segment = 0;
        int row = 0;
    };
    struct Step {
        std::size_t at = 0;
        std::string removed;
        std::string inserted;
        std::size_t caretBefore = 0;
        std::size_t anchorBefore = 0;
        bool typing = false;
    };

    void TextReplaced();
    void IndexLongLines() const;
    std::size_t SegmentCount() const;
    std::size_t SegmentIndex(std::size_t line, std::size_t part) const;
    Segment SegmentAt(std::size_t index) const;
    Segment SegmentOf(std::size_t offset) const;
    std::size_t PartsOf(std::size_t line) const;
    Laid& Layout(std::size_t index) const;
    void DropLayouts() const;
    int WrapWidth() const;

    // Screen text and bytes within one segment.
    int UnitOf(const Segment& segment, std::size_t offset) const;
    std::size_t ByteOf(const Segment& segment, int unit) const;
    std::size_t NextCharacter(std::size_t offset) const;
    std::size_t PreviousCharacter(std::size_t offset) const;
    std::size_t CharacterStart(std::size_t offset) const;

    Row RowOf(std::size_t offset) const;
    int RowCount(std::size_t segment) const;
    bool NextRow(Row& row) const;
    bool PreviousRow(Row& row) const;
    std::size_t OffsetInRow(const Row& row, qreal x) const;
    qreal XOf(std::size_t offset) const;
    std::size_t OffsetAt(const QPoint& point) const;
    int RowHeight(const Row& row) const;
    int VisibleRows() const;

    void MoveCaret(std::size_t offset, bool extend, bool keepX = false);
    void EnsureVisible(std::size_t offset);
    void ScrollRows(int rows);
    void SyncScrollBar();
    std::size_t LastTopSegment() const;
    Row BottomTop() const;
    void ClampTop() const;
    void SelectionChanged();
    void Replace(std::size_t from, std::size_t to, std::string_view bytes, bool typing = false);
    void InsertText(const QString& text, bool typing);
    void DeleteSelectionOr(bool forward);
    std::size_t WordBoundary(std::size_t offset, bool forward) const;
    void DetachClipboards();
    std::unique_ptr<QMenu> ContextMenu();
    void RestartBlink();

    TextBuffer buffer_;
    mutable ViewCodec codec_;
    mutable bool codecChosen_ = true;
    bool readOnly_ = false;
    bool modified_ = false;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
    qreal preferredX_ = -1;
    mutable Row top_;
    QString preedit_;

    mutable std::vector<std::pair<std::size_t, std::size_t>> longLines_; // line, extra parts so far
    mutable bool longIndexed_ = false;
    mutable std::unordered_map<std::size_t, Laid> layouts_;
    mutable std::vector<int> blockUnits_; // screen units per block of lines, for screen readers
    mutable bool unitsCounted_ = false;

    std::vector<Step> undo_;
    std::vector<Step> redo_;
    std::vector<QPointer<LazyText>> clipboards_;
    QBasicTimer blink_;
    bool caretShown_ = true;
    bool selecting_ = false;
    bool syncingBar_ = false;
    bool barStale_ = true;
};

} // namespace skaldrun::ui
