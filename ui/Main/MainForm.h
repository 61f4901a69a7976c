#pragma once

#include "core/ConvertOptions.h"
#include "core/ErrorReporter.h"
#include "core/PlaylistController.h"
#include "ui/FileDialogs.h"
#include "ui/Shell.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QDialog;

namespace Ui {
class TMainForm;
}

namespace skaldrun::ui {

// The main window: mirrors the playlist controller and forwards the user's commands to it.
class TMainForm final : public QMainWindow, private StateObserver {
    Q_OBJECT
public:
    // What the window asks of the desktop around it; tests hand in their own.
    struct Dependencies {
        ErrorReporter& errors;
        MessageService& messages;
        FileDialogs& fileDialogs;
        Shell& shell;
    };

    TMainForm(ConvertOptions& options, Dependencies dependencies, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The dialogs are created after this window and shown from its commands.
    void SetDialogs(QDialog* paramForm, QDialog* aboutForm);
    PlaylistController& Controller() noexcept { return controller_; }
    // Loads the file the controller names, as Open does after its dialog and the parameters'
    // OK does again.
    void LoadPlaylist();
    // Opens a playlist named on the command line or dropped on the window, exactly as if it had
    // been chosen in the open dialog.
    void OpenPlaylist(const QString& fileName);

private:
    class ViewClipboard;
    class WindowMessages;

    void FormCreate();
    void Open1Click();
    void Export1Click();
    void MP3SaveSpeedButtonClick();
    void CopySpeedButtonClick();
    void ConsistComboBoxChange(int index);
    void Parametr1Click();
    void EncodingClick(CodePage page);
    void About1Click();
    void Exit1Click();
    void N3Click();
    void N4Click();
    void N5Click();
    void N2Click();

    // Runs the handler under the error guard whenever the action is triggered.
    void Bind(QAction* action, void (TMainForm::*handler)());
    // Runs a handler under the error guard; the views are brought up to date before any error
    // box appears.
    template <typename Handler>
    void Handle(Handler&& handler);

    void StateChanged(unsigned changes) override;
    void PlaceStatus();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool TakeDrag(QDropEvent* event, bool drop);
    void OpenPage(const QString& pathAndQuery);

    std::unique_ptr<Ui::TMainForm> ui_;
    ConvertOptions& options_;
    Dependencies dependencies_;
    std::unique_ptr<ViewClipboard> clipboard_;
    std::unique_ptr<WindowMessages> messages_;
    PlaylistController controller_;
    QDialog* paramForm_ = nullptr;
    QDialog* aboutForm_ = nullptr;
};

} // namespace skaldrun::ui
