#pragma once

#include "app/ErrorReporter.h"

#include <QApplication>
#include <QLocale>
#include <optional>

class QTranslator;

namespace skaldrun::app {

// The last net: a failure that slipped past a handler's guard is reported here rather than
// unwinding through the event loop.
class Application final : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv, ErrorReporter& reporter);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    ErrorReporter& reporter_;
};

// Loads Qt's own texts (file dialogs, the views' context menu) for the locale's language from
// Qt's translations folder and installs them; false when that language has none.
bool InstallQtTranslations(QTranslator& translator, const QLocale& locale);

// The playlist named on the command line once Qt has taken its own options: the first
// argument, made absolute as the open dialog would give it. Anything after it is ignored.
std::optional<QString> PlaylistArgument(const QStringList& arguments);

} // namespace skaldrun::app
