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
    // Qt's installed texts, or those built into a program that has no Qt installed beside it.
    for (const QString& folder :
         {QLibraryInfo::path(QLibraryInfo::TranslationsPath), QStringLiteral(":/translations")}) {
        if (translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder))
            return QCoreApplication::installTranslator(&translator);
    }
    return false;
}

} // namespace skaldrun::app
