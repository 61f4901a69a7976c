#pragma once

#include "core/ErrorReporter.h"

#include <QApplication>
#include <QLocale>

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

} // namespace skaldrun::app
