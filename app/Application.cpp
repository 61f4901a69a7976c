#include "app/Application.h"

#include <QFileInfo>
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

std::optional<QString> PlaylistArgument(const QStringList& arguments) {
    if (arguments.size() < 2 || arguments.at(1).isEmpty())
        return std::nullopt;
    return QFileInfo(arguments.at(1)).absoluteFilePath();
}

} // namespace skaldrun::app
