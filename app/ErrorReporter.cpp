#include "app/ErrorReporter.h"

#include "core/Version.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace skaldrun::app {

void MessageBoxErrorReporter::Report(std::string_view message) {
    // An open menu or a drag would otherwise keep the mouse while the box is up.
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();

    const std::string text = ErrorBoxText(message);
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr)
        owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Critical,
                    QString::fromUtf8(kApplicationTitle.data(),
                                      static_cast<qsizetype>(kApplicationTitle.size())),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

} // namespace skaldrun::app
