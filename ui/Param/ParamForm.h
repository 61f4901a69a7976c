#pragma once

#include "core/ConvertOptions.h"
#include "core/ErrorReporter.h"
#include "core/PlaylistController.h"

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class TParamForm;
}

namespace skaldrun::ui {

// Edits the five options; Cancel restores them as they were shown, OK converts the current
// playlist again.
class TParamForm final : public QDialog {
    Q_OBJECT
public:
    enum ModalResult { ResultOk = 1, ResultCancel = 2 };

    // reload converts the current playlist again, through the same path as the main window's
    // Open, so the window is up to date before any box.
    TParamForm(ConvertOptions& options, PlaylistController& controller,
               std::function<void()> reload, ErrorReporter& errors, QWidget* parent = nullptr);
    ~TParamForm() override;

    void reject() override; // the close box: result 2, nothing restored, nothing converted

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void CounterShowCheckBoxClick();
    void TimeShowCheckBoxClick();
    void DeleteDigitsCheckBoxClick();
    void AutoOpenCheckBoxClick();
    void AutoCopyCheckBoxClick();
    void CloseBitBtnClick();
    void OKBitBtnClick();

    std::unique_ptr<Ui::TParamForm> ui_;
    ConvertOptions& options_;
    PlaylistController& controller_;
    std::function<void()> reload_;
    ErrorReporter& errors_;
    // The boxes as the dialog was shown, for Cancel to put back.
    ConvertOptions ParamSnapshot_;
};

} // namespace skaldrun::ui
