#include "ui/About/AboutForm.h"

#include "core/Version.h"
#include "ui/Widgets.h"
#include "ui_AboutForm.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace skaldrun::ui {

TAboutForm::TAboutForm(Shell& shell, QWidget* parent)
    : QDialog(parent, kDialogFlags)
    , ui_(std::make_unique<Ui::TAboutForm>())
    , shell_(shell) {
    ui_->setupUi(this);
    setFixedSize(size());
    ui_->Label4->setText(QString::fromLatin1(kMailAddress));
    ui_->Label5->setText(QString::fromLatin1(kSiteAddress));
    MarkAsLink(*ui_->Label4, QString::fromLatin1(kMailAddress));
    MarkAsLink(*ui_->Label5, QString::fromLatin1(kSiteAddress));
    // The caption beside the address opens the mail too, but a screen reader hears it as the
    // plain caption it is.
    for (QLabel* label : {ui_->Label4, ui_->Label5, ui_->Label6})
        label->installEventFilter(this);
    connect(ui_->Label4, &QLabel::linkActivated, this, &TAboutForm::Label4Click);
    connect(ui_->Label5, &QLabel::linkActivated, this, &TAboutForm::Label5Click);
    connect(ui_->CloseBitBtn, &QPushButton::clicked, this, &QDialog::accept);
    FormCreate();
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::FormCreate() {
    ui_->NameLabel->setText(ToQString(kApplicationTitle));
    ui_->VersionLabel->setText(
        QStringLiteral("Version %1 (build %2)").arg(ToQString(kVersionText)).arg(kBuildNumber));
}

void TAboutForm::showEvent(QShowEvent* event) {
    CenterOnScreen(*this); // at every showing, not only the first
    QDialog::showEvent(event);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == ui_->Label4 || watched == ui_->Label6) {
            Label4Click();
            return true;
        }
        if (watched == ui_->Label5) {
            Label5Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        return; // only OK and the close box close it
    QDialog::keyPressEvent(event);
}

void TAboutForm::Label4Click() {
    shell_.Open(QStringLiteral("mailto: ") + QString::fromLatin1(kMailAddress));
}

void TAboutForm::Label5Click() {
    shell_.Open(ui_->Label5->text());
}

} // namespace skaldrun::ui
