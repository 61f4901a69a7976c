#pragma once

#include "ui/Shell.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TAboutForm;
}

namespace skaldrun::ui {

// The program's name and version, and links to the maker's address and site.
class TAboutForm final : public QDialog {
    Q_OBJECT
public:
    TAboutForm(Shell& shell, QWidget* parent = nullptr);
    ~TAboutForm() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void Label4Click();
    void Label5Click();

    std::unique_ptr<Ui::TAboutForm> ui_;
    Shell& shell_;
};

} // namespace skaldrun::ui
