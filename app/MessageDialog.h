#pragma once

#include "core/MessageService.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace skaldrun::app {

// The program's own message window: the text, one OK button that is both default and cancel,
// and Ctrl+C copying a framed copy of what it shows.
class MessageDialog final : public QDialog {
    Q_OBJECT
public:
    MessageDialog(const QString& text, QWidget* parent = nullptr);

    // The text Ctrl+C puts on the clipboard.
    QString ClipboardText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* text_;
    QPushButton* ok_;
};

// The controller's message service: each message gets a fresh dialog, shown modally.
class MessageDialogService final : public MessageService {
public:
    void ShowMessage(std::string_view text) override;
};

} // namespace skaldrun::app
