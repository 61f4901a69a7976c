#pragma once

#include "ui/TextView/CharacterIndex.h"
#include "ui/TextView/LayoutCache.h"
#include "ui/TextView/ShownText.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

class QMenu;

namespace skaldrun::ui {

// A view of a document of any size: only the lines on screen are decoded and laid out, wrapped
// at word boundaries to the view's width. Editable, it edits the document it shows, with the
// document's undo. The caret and the selection are byte offsets that never split a character
// or a CR LF; a typed or pasted line break is CR LF.
class TextView final : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(bool readOnly READ isReadOnly WRITE setReadOnly)
public:
    explicit TextView(QWidget* parent = nullptr);
    ~TextView() override;

    bool isReadOnly() const noexcept { return readOnly_; }
    void setReadOnly(bool readOnly);

    // Shows a document, shared with whoever else holds it. The same document again changes
    // nothing, caret included.
    void SetDocument(std::shared_ptr<TextDocument> document);
    // Shows a document of its own that holds these bytes.
    void SetText(std::string bytes) {
        SetDocument(std::make_shared<TextDocument>(std::move(bytes)));
    }
    const TextDocument& Document() const noexcept { return text_.Document(); }
    std::string Text() const { return Document().Text(); }
    std::size_t Size() const noexcept { return text_.Size(); }
    bool IsModified() const noexcept { return Document().IsModified(); }

    std::size_t SelectionStart() const noexcept { return std::min(caret_, anchor_); }
    std::size_t SelectionEnd() const noexcept { return std::max(caret_, anchor_); }
    std::size_t CaretOffset() const noexcept { return caret_; }
    // Sets the selection without scrolling: it runs from anchor to the caret.
    void Select(std::size_t anchor, std::size_t caret);
    // Puts bytes from..to on the clipboard, decoded only when another program asks for them.
    void CopyToClipboard(std::size_t from, std::size_t to);

    // The text as the screen shows it, line breaks as "\n"; for tests and screen readers.
    QString PlainText() const { return Decoded(0, Size()); }
    QString SelectedText() const { return Decoded(SelectionStart(), SelectionEnd()); }
    QString Decoded(std::size_t from, std::size_t to) const { return text_.Decoded(from, to); }
    const ViewCodec& Codec() const { return text_.Codec(); }

    // Whole characters of screen text, for screen readers: offsets in UTF-16 units of the text
    // PlainText gives.
    int CharacterCount() const { return characters_.CharacterCount(); }
    std::size_t ByteOfCharacter(int offset) const { return characters_.ByteOfCharacter(offset); }
    int CharacterOfByte(std::size_t offset) const { return characters_.CharacterOfByte(offset); }
    QRect CharacterRect(std::size_t offset) const;
    std::size_t ByteAtPoint(const QPoint& point) const { return OffsetAt(point); }
    // The unit of text around offset, in bytes: a character as a reader sees it, a word, a row
    // of the screen or a line (each without its break), or all of the text.
    enum class TextUnit { Character, Word, Row, Line, All };
    std::pair<std::size_t, std::size_t> UnitAt(std::size_t offset, TextUnit unit) const;
    // The units before and after the one around offset; empty at the text's ends.
    std::pair<std::size_t, std::size_t> UnitBefore(std::size_t offset, TextUnit unit) const;
    std::pair<std::size_t, std::size_t> UnitAfter(std::size_t offset, TextUnit unit) const;
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
    static constexpr int kMargin = 4; // around the text, as Qt's text views keep
    using Segment = LayoutCache::Segment;
    using Laid = LayoutCache::Laid;
    // A place on screen: a segment's index and a row of its layout.
    struct Row {
        std::size_t segment = 0;
        int row = 0;
    };

    Laid& Layout(std::size_t index) const { return layouts_.Layout(index); }
    std::size_t SegmentCount() const { return layouts_.SegmentCount(); }
    Segment SegmentOf(std::size_t offset) const { return layouts_.SegmentOf(offset); }
    int UnitOf(const Segment& s, std::size_t offset) const { return layouts_.UnitOf(s, offset); }
    std::size_t ByteOf(const Segment& s, int unit) const { return layouts_.ByteOf(s, unit); }
    int WrapWidth() const;

    Row RowOf(std::size_t offset) const;
    int RowCount(std::size_t segment) const;
    bool NextRow(Row& row) const;
    bool PreviousRow(Row& row) const;
    std::size_t OffsetInRow(const Row& row, qreal x) const;
    qreal XOf(std::size_t offset) const;
    std::size_t OffsetAt(const QPoint& point) const;
    int RowHeight(const Row& row) const;
    int VisibleRows() const;
    int VisibleSegments() const;
    void ScrollBarAction(int action);

    void MoveCaret(std::size_t offset, bool extend, bool keepX = false);
    void EnsureVisible(std::size_t offset);
    void ScrollRows(int rows);
    void SyncScrollBar();
    std::size_t LastTopSegment() const;
    Row BottomTop() const;
    void ClampTop() const;
    void SelectionChanged();

    void Replace(std::size_t from, std::size_t to, std::string_view bytes, bool typing = false);
    void Changed(const TextChange& change);
    void InsertText(const QString& text, bool typing);
    void DeleteSelectionOr(bool forward);
    std::size_t WordBoundary(std::size_t offset, bool forward) const;
    std::size_t NextCursor(std::size_t offset) const;
    std::size_t PreviousCursor(std::size_t offset) const;
    bool RightToLeft(std::size_t offset) const;
    std::unique_ptr<QMenu> ContextMenu();
    void RestartBlink();

    // What a click took: a place, a word or a line; a drag extends by the same.
    enum class ClickUnit { Character, Word, Line };
    std::pair<std::size_t, std::size_t> WordAt(std::size_t offset) const;
    std::pair<std::size_t, std::size_t> LineAt(std::size_t offset) const;
    void ExtendByUnit(std::size_t offset);
    void AutoScroll();
    void DragSelection();

    ShownText text_;
    mutable LayoutCache layouts_{text_};
    CharacterIndex characters_{text_};
    bool readOnly_ = false;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
    qreal preferredX_ = -1;
    mutable Row top_;

    QBasicTimer blink_;
    bool caretShown_ = true;
    bool selecting_ = false;
    ClickUnit clickUnit_ = ClickUnit::Character;
    std::pair<std::size_t, std::size_t> clicked_;
    QBasicTimer tripleClick_;
    QPoint tripleClickAt_;
    QPoint pressedAt_;
    QPoint dragAt_;
    QBasicTimer autoScroll_;
    bool dragPending_ = false;
    std::pair<std::size_t, std::size_t> draggedFrom_;
    bool droppedHere_ = false;
    bool syncingBar_ = false;
    bool barStale_ = true;
};

} // namespace skaldrun::ui
