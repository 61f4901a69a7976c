#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace skaldrun::ui {

// Gives screen readers the text views' text, caret and selection, and the editable view's edits.
QAccessibleInterface* TextViewAccessibleFactory(const QString& className, QObject* object);

} // namespace skaldrun::ui
