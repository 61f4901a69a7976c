#include "app/MessageBoxErrorReporter.h"

#include "core/Version.h"
#include "ui/Widgets.h"

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

    // File names and the system's reasons come in the system's own encoding, the ANSI code page
    // on Windows; read as UTF-8 there, a Russian reason showed as a row of replacement marks.
    const std::string text = ErrorBoxText(message);
    QMessageBox box(QMessageBox::Critical, ui::ToQString(kApplicationTitle),
                    QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok, ui::BoxOwner());
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

} // namespace skaldrun::app
