#pragma once

#include "ui/TextView/CharacterIndex.h"
#include "ui/TextView/EditModel.h"
#include "ui/TextView/LayoutCache.h"
#include "ui/TextView/ShownText.h"
#include "ui/TextView/TextRows.h"
#include "ui/TextView/TextUnits.h"
#include "ui/TextView/ViewGeometry.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>

class QMenu;

namespace skaldrun::ui {

// A view of a document of any size: only the lines on screen are decoded and laid out, wrapped
// at word boundaries to the view's width. Editable, it edits the document it shows, with the
// document's undo. The caret and the selection are byte offsets that never split a character
// or a CR LF; a typed or pasted line break is CR LF. The widget maps events to its EditModel's
// operations and paints; where rows stand is its ViewGeometry's.
class TextView final : public QAbstractScrollArea,
                       private TextDocument::Watcher,
                       private SelectionModel::Watcher,
                       private EditModel::Listener {
    Q_OBJECT
    Q_PROPERTY(bool readOnly READ isReadOnly WRITE setReadOnly)
public:
    explicit TextView(QWidget* parent = nullptr);
    ~TextView() override;

    bool isReadOnly() const noexcept { return model_.ReadOnly(); }
    void setReadOnly(bool readOnly);

    // Shows a document, shared with whoever else holds it, and its selection where its owner
    // holds one. The same document again changes nothing, caret included.
    void SetDocument(std::shared_ptr<TextDocument> document,
                     std::shared_ptr<SelectionModel> selection = nullptr);
    // Shows a document of its own that holds these bytes.
    void SetText(std::string bytes) {
        SetDocument(std::make_shared<TextDocument>(std::move(bytes)));
    }
    const TextDocument& Document() const noexcept { return text_.Document(); }
    std::string Text() const { return Document().Text(); }
    std::size_t Size() const noexcept { return text_.Size(); }
    bool IsModified() const noexcept { return Document().IsModified(); }
    const EditModel& Model() const noexcept { return model_; }

    std::size_t SelectionStart() const noexcept { return model_.Selection().Start(); }
    std::size_t SelectionEnd() const noexcept { return model_.Selection().End(); }
    std::size_t CaretOffset() const noexcept { return model_.Caret(); }
    // Sets the selection without scrolling: it runs from anchor to the caret.
    void Select(std::size_t anchor, std::size_t caret) { model_.Select(anchor, caret); }
    // Puts bytes from..to on the clipboard, decoded only when another program asks for them.
    void CopyToClipboard(std::size_t from, std::size_t to);

    // The text as the screen shows it, line breaks as "\n"; for tests and screen readers.
    QString PlainText() const { return Decoded(0, Size()); }
    QString SelectedText() const { return Decoded(SelectionStart(), SelectionEnd()); }
    QString Decoded(std::size_t from, std::size_t to) const { return text_.Decoded(from, to); }
    const ViewCodec& Codec() const { return text_.Codec(); }
    // Shows the same bytes in the code page the user chose (Auto: as they choose), from the top.
    void SetCodePage(CodePage page);

    // Whole characters of screen text, for screen readers: offsets in UTF-16 units of the text
    // PlainText gives.
    int CharacterCount() const { return characters_.CharacterCount(); }
    std::size_t ByteOfCharacter(int offset) const { return characters_.ByteOfCharacter(offset); }
    int CharacterOfByte(std::size_t offset) const { return characters_.CharacterOfByte(offset); }
    QRect CharacterRect(std::size_t offset) const { return geometry_.CharacterRect(offset); }
    std::size_t ByteAtPoint(const QPoint& point) const { return geometry_.OffsetAt(point); }
    using TextUnit = TextUnits::Unit;
    std::pair<std::size_t, std::size_t> UnitAt(std::size_t offset, TextUnit unit) const {
        return units_.UnitAt(offset, unit);
    }
    std::pair<std::size_t, std::size_t> UnitBefore(std::size_t offset, TextUnit unit) const {
        return units_.UnitBefore(offset, unit);
    }
    std::pair<std::size_t, std::size_t> UnitAfter(std::size_t offset, TextUnit unit) const {
        return units_.UnitAfter(offset, unit);
    }
    // Replaces the bytes from..to with screen text, as a paste does.
    void ReplaceWithText(std::size_t from, std::size_t to, const QString& text) {
        model_.Replace(from, to, text);
    }
    void MakeVisible(std::size_t offset);

    QSize sizeHint() const override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

signals:
    // Typed, pasted or dropped text was refused: the text's encoding cannot keep these.
    void textNotKept(const QString& characters, const QString& encoding);

public slots:
    void undo() { model_.Undo(); }
    void redo() { model_.Redo(); }
    void cut();
    void copy();
    void paste();
    void selectAll() { model_.SelectAll(); }

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
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void TextChanged(const TextChange& change) override;
    void SelectionMoved() override;
    void CaretMoved() override;
    void NotKept(const QString& characters) override {
        emit textNotKept(characters, Codec().Name());
    }

    int WrapWidth() const;
    void ScrollBarAction(int action);
    void ScrollRows(int rows);
    void TurnPage(bool down, bool extend);
    void SyncScrollBar();
    void ShareAsPrimary();
    std::unique_ptr<QMenu> ContextMenu();
    void RestartBlink();
    void AutoScroll();
    void FollowMouse();
    void EndDropCaret();
    void DragSelection();

    ShownText text_;
    mutable LayoutCache layouts_{text_};
    TextRows rows_{layouts_};
    TextUnits units_{text_, layouts_, rows_};
    ViewGeometry geometry_{layouts_, rows_, [this] { return viewport()->height(); }};
    CharacterIndex characters_{text_};
    EditModel model_{text_, units_, rows_, *this};

    QBasicTimer blink_;
    bool caretShown_ = true;
    bool selecting_ = false;
    QBasicTimer tripleClick_;
    QPoint tripleClickAt_;
    QPoint pressedAt_;
    QPoint dragAt_;
    QBasicTimer autoScroll_;
    bool dragPending_ = false;
    bool followingMouse_ = false;          // the caret goes where the mouse is, unscrolled
    std::optional<std::size_t> dropCaret_; // where dragged text would go
    bool focusedByPress_ = false;          // the selection was hidden until the press now under way
    std::pair<std::size_t, std::size_t> draggedFrom_;
    bool droppedHere_ = false;
    int wheelTurned_ = 0;      // rows times 120 the wheel has turned that are not scrolled yet
    std::optional<int> pageY_; // where the caret stood on screen when paging began
    bool paging_ = false;
    TextSelection toldSelection_; // as screen readers last heard it
    bool syncingBar_ = false;
    bool barStale_ = true;
};

} // namespace skaldrun::ui
