#include "ui/Main/MainForm.h"

#include "core/TextFiles.h"
#include "core/Version.h"
#include "ui/TextView/ClipboardText.h"
#include "ui/Widgets.h"
#include "ui_MainForm.h"

#include <QActionGroup>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMimeData>
#include <QShortcut>
#include <QSignalBlocker>
#include <algorithm>

namespace skaldrun::ui {

namespace {

// The status is the program's own word or a file name, which is in the system's encoding: the
// ANSI code page on Windows, where the word decoded alike came out as mojibake.
QString StatusToScreen(const std::string& status) {
    if (status == kEmptyStatus)
        return ToQString(kEmptyStatus);
    return QFile::decodeName(QByteArray(status.data(), static_cast<qsizetype>(status.size())));
}

// Named as the system writes names: Qt's dialogs give "C:/Music/a.m3u" on Windows too, and the
// status line showed it so.
std::string FileNameToBytes(const QString& name) {
    const QByteArray encoded = QFile::encodeName(QDir::toNativeSeparators(name));
    return {encoded.constData(), static_cast<std::size_t>(encoded.size())};
}

// The wait cursor while a command reads, converts or writes, restored on every path.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// The normal arrow over a wait cursor, while a box waits for the user.
class ArrowCursor {
public:
    ArrowCursor()
        : active_(QGuiApplication::overrideCursor() != nullptr) {
        if (active_)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowCursor() {
        if (active_)
            QGuiApplication::restoreOverrideCursor();
    }
    ArrowCursor(const ArrowCursor&) = delete;
    ArrowCursor& operator=(const ArrowCursor&) = delete;

private:
    bool active_;
};

} // namespace

// The controller's clipboard: a range of the document the list view shows, decoded as the view
// reads it, and only when another program asks for it.
class TMainForm::ViewClipboard final : public ClipboardService {
public:
    explicit ViewClipboard(TMainForm& form)
        : form_(form) {}
    void CopyRange(const TextDocument& document, std::size_t from, std::size_t to) override {
        PutOnClipboard(document.Spans(from, to), form_.ui_->TextMemo->Codec());
    }

private:
    TMainForm& form_;
};

// The arrow, not the wait cursor, while a message waits for the user.
class TMainForm::WindowMessages final : public MessageService {
public:
    explicit WindowMessages(TMainForm& form)
        : form_(form) {}
    void ShowMessage(std::string_view text) override {
        const ArrowCursor arrow;
        form_.dependencies_.messages.ShowMessage(text);
    }

private:
    TMainForm& form_;
};

TMainForm::TMainForm(ConvertOptions& options, Dependencies dependencies, QWidget* parent)
    : QMainWindow(parent)
    , ui_(std::make_unique<Ui::TMainForm>())
    , options_(options)
    , dependencies_(dependencies)
    , clipboard_(std::make_unique<ViewClipboard>(*this))
    , messages_(std::make_unique<WindowMessages>(*this))
    , controller_(options, *messages_, *clipboard_) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setCentralWidget(ui_->ClientArea);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ui_->TextMemo->hide();
    MakeDropDownList(*ui_->ConsistComboBox);

    SharpenImages(findChildren<QAction*>());
    // The tool bar shows the menu's commands, and Save, which has no menu entry.
    ui_->MP3OpenSpeedButton->setDefaultAction(ui_->Open1);
    ui_->MP3SaveSpeedButton->setDefaultAction(ui_->SaveAction);
    ui_->CopySpeedButton->setDefaultAction(ui_->Copy1);
    ui_->ParamtrSpeedButton->setDefaultAction(ui_->Parametr1);
    ui_->ExportSpeedButton->setDefaultAction(ui_->Export1);
    Bind(ui_->Open1, &TMainForm::Open1Click);
    Bind(ui_->Export1, &TMainForm::Export1Click);
    Bind(ui_->SaveAction, &TMainForm::MP3SaveSpeedButtonClick);
    Bind(ui_->Copy1, &TMainForm::CopySpeedButtonClick);
    Bind(ui_->Parametr1, &TMainForm::Parametr1Click);
    Bind(ui_->About1, &TMainForm::About1Click);
    Bind(ui_->Exit1, &TMainForm::Exit1Click);
    Bind(ui_->N3, &TMainForm::N3Click);
    Bind(ui_->N4, &TMainForm::N4Click);
    Bind(ui_->N5, &TMainForm::N5Click);
    Bind(ui_->N2, &TMainForm::N2Click);
    // Keys for the commands people reach for; the menus keep the captions they have.
    for (const auto& [keys, action] :
         {std::pair{QKeySequence(Qt::CTRL | Qt::Key_O), ui_->Open1},
          std::pair{QKeySequence(Qt::CTRL | Qt::Key_E), ui_->Export1},
          std::pair{QKeySequence(Qt::CTRL | Qt::Key_S), ui_->SaveAction},
          std::pair{QKeySequence(Qt::CTRL | Qt::Key_Q), ui_->Exit1}}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, action, [action = action] {
            if (action->isEnabled())
                action->trigger();
        });
    }
    // Settings > Encoding: one code page at a time, kept with the parameters for the run.
    auto* pages = new QActionGroup(this);
    for (const auto& [action, page] : {std::pair{ui_->EncodingAuto, CodePage::Auto},
                                       std::pair{ui_->EncodingUtf8, CodePage::Utf8},
                                       std::pair{ui_->EncodingWindows1251, CodePage::Windows1251},
                                       std::pair{ui_->EncodingWindows1252, CodePage::Windows1252},
                                       std::pair{ui_->EncodingKoi8R, CodePage::Koi8R},
                                       std::pair{ui_->EncodingCp866, CodePage::Cp866}}) {
        pages->addAction(action);
        action->setChecked(page == options_.Encoding);
        connect(action, &QAction::triggered, this,
                [this, page = page] { Handle([this, page] { EncodingClick(page); }); });
    }
    EncodingClick(options_.Encoding);
    connect(ui_->ConsistComboBox, &QComboBox::activated, this,
            [this](int index) { Handle([this, index] { ConsistComboBoxChange(index); }); });
    // A file dropped anywhere opens; the views see only drags of plain text.
    setAcceptDrops(true);
    ui_->MP3Memo->viewport()->installEventFilter(this);
    ui_->TextMemo->viewport()->installEventFilter(this);
    // The list keeps its encoding: what it cannot hold is refused with a word, not saved as '?'.
    connect(ui_->TextMemo, &TextView::textNotKept, this,
            [this](const QString& characters, const QString& encoding) {
                messages_->ShowMessage(
                    QStringLiteral("Символы «%1» нельзя сохранить в кодировке списка (%2), "
                                   "текст не вставлен.")
                        .arg(characters, encoding)
                        .toStdString());
            });
    controller_.SetObserver(this);
    FormCreate();
}

TMainForm::~TMainForm() {
    controller_.SetObserver(nullptr);
}

void TMainForm::SetDialogs(QDialog* paramForm, QDialog* aboutForm) {
    paramForm_ = paramForm;
    aboutForm_ = aboutForm;
}

void TMainForm::OpenPlaylist(const QString& fileName) {
    Handle([&] {
        dependencies_.fileDialogs.OfferOpenFileName(fileName);
        controller_.SetFileName(FileNameToBytes(fileName));
        LoadPlaylist();
    });
}

void TMainForm::LoadPlaylist() {
    const WaitCursor busy; // a command that may take a while
    controller_.LoadPlaylist();
}

void TMainForm::Bind(QAction* action, void (TMainForm::*handler)()) {
    connect(action, &QAction::triggered, this,
            [this, handler] { Handle([&] { (this->*handler)(); }); });
}

template <typename Handler>
void TMainForm::Handle(Handler&& handler) {
    Guarded(dependencies_.errors, handler);
}

void TMainForm::FormCreate() {
    {
        const QSignalBlocker quiet(ui_->ConsistComboBox);
        ui_->ConsistComboBox->setCurrentIndex(0);
    }
    options_.CounterShow = true;
    options_.TimeShow = true;
    options_.DeleteDigits = true;
    setWindowTitle(ToQString(kApplicationTitle) + u' ' + ToQString(kVersionText));
    setWindowIconText(ToQString(kApplicationTitle)); // what task bars and window lists show
    PlaceStatus();
}

void TMainForm::Open1Click() {
    const std::optional<QString> name = dependencies_.fileDialogs.AskOpenFileName(this);
    if (!name)
        return;
    controller_.SetFileName(FileNameToBytes(*name));
    LoadPlaylist();
}

// The list made again from the playlist in the chosen shape; a name without an extension gets
// the shape's.
void TMainForm::Export1Click() {
    const std::optional<FileDialogs::Export> chosen =
        dependencies_.fileDialogs.AskExportFileName(this);
    if (!chosen)
        return;
    QString fileName = chosen->fileName;
    const QString& filter = ExportFilters().value(chosen->shape);
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += filter.mid(filter.lastIndexOf(u'.')).chopped(1);
    const WaitCursor busy; // a command that may take a while
    controller_.ExportList(static_cast<ListFormat>(chosen->shape), FileNameToBytes(fileName),
                           ui_->MP3Memo->Codec().Page());
}

void TMainForm::MP3SaveSpeedButtonClick() {
    const std::optional<QString> name = dependencies_.fileDialogs.AskSaveFileName(this);
    if (!name)
        return;
    const WaitCursor busy; // a command that may take a while
    SaveConvertedText(FileNameToBytes(*name), *controller_.Converted());
}

void TMainForm::CopySpeedButtonClick() {
    const WaitCursor busy; // a command that may take a while
    controller_.CopyConverted();
}

void TMainForm::ConsistComboBoxChange(int index) {
    const WaitCursor busy; // a command that may take a while
    controller_.SelectView(index);
}

void TMainForm::Parametr1Click() {
    if (paramForm_ != nullptr)
        paramForm_->exec();
}

// Both views show the same bytes in the chosen code page; Save keeps the bytes.
void TMainForm::EncodingClick(CodePage page) {
    options_.Encoding = page;
    ui_->MP3Memo->SetCodePage(page);
    ui_->TextMemo->SetCodePage(page);
}

void TMainForm::About1Click() {
    if (aboutForm_ != nullptr)
        aboutForm_->exec();
}

void TMainForm::Exit1Click() {
    close();
}

// Help > check for a new version: the site compares the build number.
void TMainForm::N3Click() {
    OpenPage(QStringLiteral("/software.htm?name=skaldr&update=1&build=%1").arg(kBuildNumber));
}

// Help > the maker's other programs.
void TMainForm::N4Click() {
    OpenPage(QStringLiteral("/software.htm"));
}

// Help > the home page.
void TMainForm::N5Click() {
    OpenPage(QString());
}

// Help > support.
void TMainForm::N2Click() {
    OpenPage(QStringLiteral("/support/"));
}

// Where the desktop has no browser, the user gets the address to open by hand (Ctrl+C copies
// the message), instead of a menu item that does nothing.
void TMainForm::OpenPage(const QString& pathAndQuery) {
    const QString address = QString::fromLatin1(kSiteAddress) + pathAndQuery;
    if (!dependencies_.shell.Open(address))
        messages_->ShowMessage(
            QStringLiteral("Не удалось открыть браузер: на этом компьютере не настроена программа "
                           "для веб-страниц. Адрес страницы: %1")
                .arg(address)
                .toStdString());
}

void TMainForm::StateChanged(unsigned changes) {
    if ((changes & SourceTextChanged) != 0)
        ui_->MP3Memo->SetDocument(controller_.Source());
    if ((changes & ConvertedTextChanged) != 0)
        ui_->TextMemo->SetDocument(controller_.Converted(), controller_.ConvertedSelection());
    if ((changes & VisibleViewChanged) != 0) {
        const bool converted = controller_.VisibleView() == ViewKind::Converted;
        ui_->MP3Memo->setVisible(!converted);
        ui_->TextMemo->setVisible(converted);
    }
    if ((changes & ExportEnabledChanged) != 0) {
        const bool enabled = controller_.ExportEnabled(); // the buttons follow their actions
        ui_->SaveAction->setEnabled(enabled);
        ui_->Copy1->setEnabled(enabled);
    }
    if ((changes & LoadedChanged) != 0)
        ui_->Export1->setEnabled(controller_.PlaylistLoaded());
    if ((changes & SelectorChanged) != 0) {
        const QSignalBlocker quiet(ui_->ConsistComboBox);
        ui_->ConsistComboBox->setCurrentIndex(controller_.SelectorIndex());
        ui_->ConsistComboBox->setEnabled(controller_.SelectorEnabled());
    }
    if ((changes & StatusChanged) != 0) {
        ui_->Label1->setText(StatusToScreen(controller_.StatusText()));
        ui_->TotalLabel->setText(QString::fromStdString(controller_.TotalText()));
        PlaceStatus();
    }
}

// The total keeps the right of the status line; the status text grows with its text from the
// left and is cut before the total, or at the line's edge when there is none.
void TMainForm::PlaceStatus() {
    constexpr int kGap = 6;
    QLabel& status = *ui_->Label1;
    QLabel& total = *ui_->TotalLabel;
    const int right = ui_->StatusPanel->width() - kGap;
    total.adjustSize();
    total.move(right - total.width(), total.y());
    total.setVisible(!total.text().isEmpty());
    status.adjustSize();
    if (total.isVisible())
        status.resize(std::min(status.width(), total.x() - kGap - status.x()), status.height());
}

// A drag that brings URLs is the window's, wherever it is: a local file is opened (the first of
// several), anything else is refused; a view never inserts a dropped file's address.
bool TMainForm::TakeDrag(QDropEvent* event, bool drop) {
    const QMimeData* mime = event->mimeData();
    if (mime == nullptr || !mime->hasUrls())
        return false;
    const QList<QUrl> urls = mime->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) {
        event->ignore();
        return true;
    }
    event->acceptProposedAction();
    if (drop) {
        // Opened once the drop is over, so that no box holds up the program the file came from.
        const QString fileName = urls.front().toLocalFile();
        QMetaObject::invokeMethod(
            this, [this, fileName] { OpenPlaylist(fileName); }, Qt::QueuedConnection);
    }
    return true;
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    TakeDrag(event, false);
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event) {
    TakeDrag(event, false);
}

void TMainForm::dropEvent(QDropEvent* event) {
    TakeDrag(event, true);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->MP3Memo->viewport() || watched == ui_->TextMemo->viewport()) {
        const QEvent::Type type = event->type();
        if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)
            return TakeDrag(static_cast<QDropEvent*>(event), type == QEvent::Drop);
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace skaldrun::ui
