#include "app/MessageDialog.h"

#include "core/Version.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace skaldrun::app {

MessageDialog::MessageDialog(const QString& text, QWidget* parent)
    : QDialog(parent, ui::kDialogFlags)
    , text_(new QLabel(text, this))
    , ok_(new QPushButton(QStringLiteral("OK"), this)) {
    setObjectName(QStringLiteral("MessageDialog"));
    setWindowTitle(ui::ToQString(kApplicationTitle));
    setFont(QApplication::font("QMessageBox"));

    text_->setObjectName(QStringLiteral("MessageText"));
    text_->setTextFormat(Qt::PlainText);
    // One line as long as it fits in half the screen; a longer text wraps at words to that
    // width. (A word-wrapping label left to itself picks a much narrower width.)
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const int limit = screen->availableGeometry().width() / 2;
        const QFontMetrics metrics(text_->font());
        if (metrics.boundingRect(QRect(0, 0, limit, 0), 0, text).width() > limit) {
            text_->setWordWrap(true);
            text_->setFixedWidth(limit);
        }
    }

    ok_->setObjectName(QStringLiteral("OKButton"));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(ok_, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString MessageDialog::ClipboardText() const {
    const QString rule(27, u'-');
    const QString crlf = QStringLiteral("\r\n");
    QString button = ok_->text();
    button.remove(u'&');
    return rule + crlf + windowTitle() + crlf + rule + crlf + text_->text() + crlf + rule + crlf +
           button + QStringLiteral("   ") + crlf + rule + crlf;
}

void MessageDialog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QApplication::beep();
        QGuiApplication::clipboard()->setText(ClipboardText());
        return;
    }
    QDialog::keyPressEvent(event); // Enter presses OK; Escape rejects, which closes as well
}

void MessageDialogService::ShowMessage(std::string_view text) {
    MessageDialog dialog(ui::ToQString(text), ui::BoxOwner());
    dialog.adjustSize();
    ui::CenterOnScreen(dialog);
    dialog.exec();
}

} // namespace skaldrun::app
