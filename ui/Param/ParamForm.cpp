#include "ui/Param/ParamForm.h"

#include "ui/Widgets.h"
#include "ui_ParamForm.h"

#include <QKeyEvent>

namespace skaldrun::ui {

TParamForm::TParamForm(ConvertOptions& options, PlaylistController& controller,
                       std::function<void()> reload, ErrorReporter& errors, QWidget* parent)
    : QDialog(parent, kDialogFlags)
    , ui_(std::make_unique<Ui::TParamForm>())
    , options_(options)
    , controller_(controller)
    , reload_(std::move(reload))
    , errors_(errors) {
    ui_->setupUi(this);
    setFixedSize(size());

    // toggled, not clicked: a handler runs on every change of state, also one the program
    // makes, and never when the state stays.
    const auto bind = [this](QCheckBox* box, void (TParamForm::*handler)()) {
        connect(box, &QCheckBox::toggled, this,
                [this, handler] { Guarded(errors_, [&] { (this->*handler)(); }); });
    };
    bind(ui_->CounterShowCheckBox, &TParamForm::CounterShowCheckBoxClick);
    bind(ui_->TimeShowCheckBox, &TParamForm::TimeShowCheckBoxClick);
    bind(ui_->DeleteDigitsCheckBox, &TParamForm::DeleteDigitsCheckBoxClick);
    bind(ui_->AutoOpenCheckBox, &TParamForm::AutoOpenCheckBoxClick);
    bind(ui_->AutoCopyCheckBox, &TParamForm::AutoCopyCheckBoxClick);

    connect(ui_->CloseBitBtn, &QPushButton::clicked, this, [this] {
        setResult(ResultCancel);
        Guarded(errors_, [this] { CloseBitBtnClick(); });
        done(ResultCancel);
    });
    connect(ui_->OKBitBtn, &QPushButton::clicked, this, [this] {
        setResult(ResultOk);
        Guarded(errors_, [this] { OKBitBtnClick(); });
        done(ResultOk); // also after a failed reload, once its error was shown
    });
    FormCreate();
}

TParamForm::~TParamForm() = default;

void TParamForm::FormCreate() {
    ui_->CounterShowCheckBox->setChecked(options_.CounterShow);
    ui_->TimeShowCheckBox->setChecked(options_.TimeShow);
    ui_->DeleteDigitsCheckBox->setChecked(options_.DeleteDigits);
}

void TParamForm::showEvent(QShowEvent* event) {
    CenterOnScreen(*this); // at every showing, not only the first
    FormShow();
    QDialog::showEvent(event);
}

void TParamForm::FormShow() {
    ParamSnapshot_ = {.CounterShow = ui_->CounterShowCheckBox->isChecked(),
                      .TimeShow = ui_->TimeShowCheckBox->isChecked(),
                      .DeleteDigits = ui_->DeleteDigitsCheckBox->isChecked(),
                      .AutoOpen = ui_->AutoOpenCheckBox->isChecked(),
                      .AutoCopy = ui_->AutoCopyCheckBox->isChecked()};
}

void TParamForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        return; // no button is the cancel button, so Escape leaves the dialog open
    QDialog::keyPressEvent(event);
}

void TParamForm::reject() {
    done(ResultCancel);
}

void TParamForm::CounterShowCheckBoxClick() {
    options_.CounterShow = ui_->CounterShowCheckBox->isChecked();
}

void TParamForm::TimeShowCheckBoxClick() {
    options_.TimeShow = ui_->TimeShowCheckBox->isChecked();
}

void TParamForm::DeleteDigitsCheckBoxClick() {
    options_.DeleteDigits = ui_->DeleteDigitsCheckBox->isChecked();
}

void TParamForm::AutoOpenCheckBoxClick() {
    options_.AutoOpen = ui_->AutoOpenCheckBox->isChecked();
    ui_->AutoCopyCheckBox->setEnabled(options_.AutoOpen); // keeps its tick while disabled
}

void TParamForm::AutoCopyCheckBoxClick() {
    options_.AutoCopy = ui_->AutoCopyCheckBox->isChecked();
}

void TParamForm::CloseBitBtnClick() {
    ui_->AutoOpenCheckBox->setChecked(ParamSnapshot_.AutoOpen);
    ui_->AutoCopyCheckBox->setChecked(ParamSnapshot_.AutoCopy);
    ui_->CounterShowCheckBox->setChecked(ParamSnapshot_.CounterShow);
    ui_->TimeShowCheckBox->setChecked(ParamSnapshot_.TimeShow);
    ui_->DeleteDigitsCheckBox->setChecked(ParamSnapshot_.DeleteDigits);
}

void TParamForm::OKBitBtnClick() {
    if (controller_.PlaylistLoaded())
        reload_();
}

} // namespace skaldrun::ui
