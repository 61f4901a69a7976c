#pragma once

#include <functional>

class QAccessibleEvent;
class QAccessibleInterface;
class QObject;
class QString;

namespace skaldrun::ui {

// Gives screen readers the text views' text, caret and selection, and the editable view's edits.
QAccessibleInterface* TextViewAccessibleFactory(const QString& className, QObject* object);

// Whether a screen reader may hear what the views tell: only then are offsets counted for it.
bool ScreenReadersListen();
// Tells screen readers, and a listener of the tests' own where the platform has no bridge.
void TellScreenReaders(QAccessibleEvent& event);
void ListenAsAScreenReader(std::function<void(const QAccessibleEvent&)> listener);

} // namespace skaldrun::ui
