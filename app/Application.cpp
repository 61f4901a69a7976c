#include "app/Application.h"

namespace skaldrun::app {

Application::Application(int& argc, char** argv, ErrorReporter& reporter)
    : QApplication(argc, argv)
    , reporter_(reporter) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    Guarded(reporter_, [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace skaldrun::app
