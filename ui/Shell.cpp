#include "ui/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace skaldrun::ui {

void DesktopShell::Open(const QString& request) {
    QDesktopServices::openUrl(QUrl(request));
}

} // namespace skaldrun::ui
