#include "ui/TextView/TextViewAccessible.h"

#include "ui/TextView/TextView.h"

#include <QAccessibleWidget>

namespace skaldrun::ui {

namespace {

class TextViewAccessible final : public QAccessibleWidget,
                                 public QAccessibleTextInterface,
                                 public QAccessibleEditableTextInterface {
public:
    explicit TextViewAccessible(TextView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        if (type == QAccessible::EditableTextInterface && !View()->isReadOnly())
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = View()->isReadOnly();
        s.editable = !View()->isReadOnly();
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    // QAccessibleTextInterface
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (selectionIndex != 0 || View()->SelectionStart() == View()->SelectionEnd())
            return;
        *startOffset = View()->CharacterOfByte(View()->SelectionStart());
        *endOffset = View()->CharacterOfByte(View()->SelectionEnd());
    }
    int selectionCount() const override {
        return View()->SelectionStart() == View()->SelectionEnd() ? 0 : 1;
    }
    void addSelection(int startOffset, int endOffset) override {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int) override {
        const std::size_t caret = View()->CaretOffset();
        View()->Select(caret, caret);
    }
    void setSelection(int, int startOffset, int endOffset) override {
        View()->Select(View()->ByteOfCharacter(startOffset), View()->ByteOfCharacter(endOffset));
    }
    int cursorPosition() const override { return View()->CharacterOfByte(View()->CaretOffset()); }
    void setCursorPosition(int position) override {
        const std::size_t offset = View()->ByteOfCharacter(position);
        View()->Select(offset, offset);
        View()->MakeVisible(offset);
    }
    QString text(int startOffset, int endOffset) const override {
        const std::size_t from = View()->ByteOfCharacter(startOffset);
        const std::size_t to = View()->ByteOfCharacter(endOffset);
        if (to <= from)
            return {};
        return View()->Decoded(from, to);
    }
    int characterCount() const override { return View()->CharacterCount(); }
    QRect characterRect(int offset) const override {
        const QRect rect = View()->CharacterRect(View()->ByteOfCharacter(offset));
        if (rect.isEmpty())
            return {};
        return QRect(View()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        return View()->CharacterOfByte(
            View()->ByteAtPoint(View()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int startIndex, int) override {
        View()->MakeVisible(View()->ByteOfCharacter(startIndex));
    }
    // Looked up around the offset alone, never through the whole text.
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                             int* endOffset) const override {
        return Unit(View()->UnitBefore(View()->ByteOfCharacter(offset), UnitOf(type)), startOffset,
                    endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                            int* endOffset) const override {
        return Unit(View()->UnitAfter(View()->ByteOfCharacter(offset), UnitOf(type)), startOffset,
                    endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                         int* endOffset) const override {
        return Unit(View()->UnitAt(View()->ByteOfCharacter(offset), UnitOf(type)), startOffset,
                    endOffset);
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override {
        replaceText(startOffset, endOffset, QString());
    }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString& text) override {
        View()->ReplaceWithText(View()->ByteOfCharacter(startOffset),
                                View()->ByteOfCharacter(endOffset), text);
    }

private:
    TextView* View() const { return static_cast<TextView*>(widget()); }

    static TextView::TextUnit UnitOf(QAccessible::TextBoundaryType type) {
        switch (type) {
        case QAccessible::CharBoundary:
            return TextView::TextUnit::Character;
        case QAccessible::WordBoundary:
            return TextView::TextUnit::Word;
        case QAccessible::LineBoundary:
            return TextView::TextUnit::Row;
        case QAccessible::SentenceBoundary:
        case QAccessible::ParagraphBoundary:
            return TextView::TextUnit::Line;
        case QAccessible::NoBoundary:
            break;
        }
        return TextView::TextUnit::All;
    }
    QString Unit(std::pair<std::size_t, std::size_t> bytes, int* startOffset,
                 int* endOffset) const {
        *startOffset = View()->CharacterOfByte(bytes.first);
        *endOffset = View()->CharacterOfByte(bytes.second);
        return View()->Decoded(bytes.first, bytes.second);
    }
};

} // namespace

namespace {
std::function<void(const QAccessibleEvent&)>& Listener() {
    static std::function<void(const QAccessibleEvent&)> listener;
    return listener;
}
} // namespace

bool ScreenReadersListen() {
    return Listener() != nullptr || QAccessible::isActive();
}

void TellScreenReaders(QAccessibleEvent& event) {
    if (Listener() != nullptr)
        Listener()(event);
    QAccessible::updateAccessibility(&event);
}

void ListenAsAScreenReader(std::function<void(const QAccessibleEvent&)> listener) {
    Listener() = std::move(listener);
}

QAccessibleInterface* TextViewAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("skaldrun::ui::TextView") && object->isWidgetType())
        return new TextViewAccessible(static_cast<TextView*>(object));
    return nullptr;
}

} // namespace skaldrun::ui
