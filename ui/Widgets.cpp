#include "ui/Widgets.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QWidget>
#include <algorithm>

namespace skaldrun::ui {

namespace {

// Styles such as Fusion open a combo box's list over the control, as a menu; this one never.
class DropDownStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

class DropDownItem final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kHeight = 16;
    static constexpr int kIndent = 2;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kHeight};
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        const QPalette& palette = option.palette;
        painter->fillRect(option.rect, selected ? palette.highlight() : palette.base());
        painter->setPen(selected ? palette.color(QPalette::HighlightedText)
                                 : palette.color(QPalette::Text));
        painter->setFont(option.font);
        painter->drawText(option.rect.adjusted(kIndent, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }
};

constexpr char kLinkAddress[] = "skaldrunLinkAddress";

// A link a screen reader can follow: its press action does what a click does.
class LinkLabelAccessible final : public QAccessibleWidget {
public:
    explicit LinkLabelAccessible(QWidget* label)
        : QAccessibleWidget(label, QAccessible::Link) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return Address();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << pressAction();
    }
    void doAction(const QString& actionName) override {
        if (actionName == pressAction())
            emit static_cast<QLabel*>(widget())->linkActivated(Address());
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    QString Address() const { return widget()->property(kLinkAddress).toString(); }
};

QAccessibleInterface* LinkLabels(const QString& className, QObject* object) {
    if (className == QLatin1String("QLabel") && object->property(kLinkAddress).isValid())
        return new LinkLabelAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

QWidget* BoxOwner() {
    QWidget* owner = QApplication::activeModalWidget();
    return owner != nullptr ? owner : QApplication::activeWindow();
}

// The client area is placed, not the frame: the frame is unknown before a window is first shown,
// so placing it would land the window elsewhere at each later showing.
void CenterOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen())
        window.setGeometry(
            QRect(screen->availableGeometry().center() - window.rect().center(), window.size()));
}

void MarkAsLink(QLabel& label, const QString& address) {
    static const bool installed = [] {
        QAccessible::installFactory(LinkLabels);
        return true;
    }();
    (void)installed;
    label.setProperty(kLinkAddress, address);
    // The palette's link colour, so the link stays readable on a dark desktop.
    QPalette palette = label.palette();
    palette.setBrush(QPalette::WindowText, palette.brush(QPalette::Link));
    label.setPalette(palette);
    QFont font = label.font();
    font.setUnderline(true);
    label.setFont(font);
    // Setting the text already made the plain label's interface; the next query makes the link.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(&label))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void MakeDropDownList(QComboBox& box) {
    auto* style = new DropDownStyle;
    style->setParent(&box);
    box.setStyle(style);
    box.setItemDelegate(new DropDownItem(&box));
}

} // namespace skaldrun::ui

namespace skaldrun::ui {

void SharpenImages(const QList<QAction*>& actions) {
    for (QAction* action : actions) {
        QIcon icon = action->icon();
        const QList<QSize> sizes = icon.availableSizes();
        if (sizes.isEmpty())
            continue;
        const QSize base = *std::min_element(
            sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
        const QImage small = icon.pixmap(base, 1.0).toImage();
        for (const double scale : {1.25, 1.5, 1.75, 2.0})
            icon.addPixmap(QPixmap::fromImage(
                small.scaled(base * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
        action->setIcon(icon);
    }
}

} // namespace skaldrun::ui
