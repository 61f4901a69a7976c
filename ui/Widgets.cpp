#include "ui/Widgets.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace skaldrun::ui {

QWidget* BoxOwner() {
    QWidget* owner = QApplication::activeModalWidget();
    return owner != nullptr ? owner : QApplication::activeWindow();
}

void CenterOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

} // namespace skaldrun::ui
