#include "app/Application.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace skaldrun::app {

Application::Application(int& argc, char** argv, ErrorReporter& reporter)
    : QApplication(argc, argv)
    , reporter_(reporter) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    Guarded(reporter_, [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

bool InstallQtTranslations(QTranslator& translator, const QLocale& locale) {
    if (!translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(&translator);
}

} // namespace skaldrun::app
