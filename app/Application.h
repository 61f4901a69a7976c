#pragma once

#include "app/ErrorReporter.h"

#include <QApplication>

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

} // namespace skaldrun::app
