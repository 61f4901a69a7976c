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

    const std::string text = ErrorBoxText(message);
    QMessageBox box(QMessageBox::Critical, ui::ToQString(kApplicationTitle), ui::ToQString(text),
                    QMessageBox::Ok, ui::BoxOwner());
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

} // namespace skaldrun::app
