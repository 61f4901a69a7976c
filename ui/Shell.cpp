#include "ui/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace skaldrun::ui {

bool DesktopShell::Open(const QString& request) {
    return QDesktopServices::openUrl(QUrl(request));
}

} // namespace skaldrun::ui
