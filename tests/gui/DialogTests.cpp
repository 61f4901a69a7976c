#include "GuiTestSupport.h"
#include "core/Version.h"
#include "ui/About/AboutForm.h"
#include "ui/FileDialogs.h"
#include "ui/Param/ParamForm.h"
#include "ui/Shell.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace skaldrun;

namespace {

struct NoClipboard final : ClipboardService {
    void CopyRange(const TextDocument&, std::size_t, std::size_t) override {}
};

} // namespace

class DialogTests : public test::GuiTestBase {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void paramStartsTicked();
    void boxesChangeOptionsAtOnce();
    void cancelRestoresBoxesAndOptions();
    void cancelRestoresEachBoxFromItsOwnState();
    void closeBoxKeepsChanges();
    void escapeDoesNothing();
    void okReloadsTheLoadedPlaylist();
    void okAfterTheFileVanishedReportsAndCloses();
    void aboutTextsAndLinks();
    void checkBoxesToggleAcrossTheirWholeWidth();
    void fileDialogsOfferTheFilterLastChosen();

private:
    QCheckBox* Box(const char* name) const { return Child<QCheckBox>(param.get(), name); }
    QString WritePlaylist(const QByteArray& bytes) { return Write("p.m3u", bytes); }

    NoClipboard clipboard;
    std::unique_ptr<PlaylistController> controller;
    std::unique_ptr<ui::TParamForm> param;
};

void DialogTests::init() {
    options = {};
    errors.messages.clear();
    shell.requests.clear();
    NewFolder();
    controller = std::make_unique<PlaylistController>(options, messages, clipboard);
    param = std::make_unique<ui::TParamForm>(
        options, *controller, [this] { controller->LoadPlaylist(); }, errors);
    param->show();
    QVERIFY(QTest::qWaitForWindowExposed(param.get()));
}

void DialogTests::cleanup() {
    param.reset();
    QCOMPARE(QApplication::topLevelWidgets().size(), 0);
}

void DialogTests::paramStartsTicked() {
    for (const char* name : {"AutoOpenCheckBox", "AutoCopyCheckBox", "CounterShowCheckBox",
                             "TimeShowCheckBox", "DeleteDigitsCheckBox"})
        QVERIFY(Box(name)->isChecked());
    QVERIFY(Box("AutoCopyCheckBox")->isEnabled());
    QCOMPARE(param->windowTitle(), QStringLiteral("Параметры"));
    QCOMPARE(param->size(), QSize(296, 261));
    QVERIFY(param->findChild<QPushButton*>(QStringLiteral("OKBitBtn"))->isDefault());
}

void DialogTests::boxesChangeOptionsAtOnce() {
    Click(Box("CounterShowCheckBox"));
    Click(Box("TimeShowCheckBox"));
    Click(Box("DeleteDigitsCheckBox"));
    QCOMPARE(options, (ConvertOptions{false, false, false, true, true}));

    Click(Box("AutoOpenCheckBox"));
    QVERIFY(!options.AutoOpen);
    QVERIFY(!Box("AutoCopyCheckBox")->isEnabled());
    QVERIFY(Box("AutoCopyCheckBox")->isChecked());
    Click(Box("AutoOpenCheckBox"));
    QVERIFY(Box("AutoCopyCheckBox")->isEnabled());
    QVERIFY(options.AutoCopy);
}

void DialogTests::cancelRestoresBoxesAndOptions() {
    Click(Box("AutoCopyCheckBox"));
    Click(Box("AutoOpenCheckBox"));
    Click(Box("TimeShowCheckBox"));
    Click(param->findChild<QPushButton*>(QStringLiteral("CloseBitBtn")));
    QCOMPARE(param->result(), ui::TParamForm::ResultCancel);
    QVERIFY(!param->isVisible());
    QCOMPARE(options, ConvertOptions{});
    QVERIFY(Box("AutoCopyCheckBox")->isEnabled());

    // Shown again, the dialog takes the boxes as they were left.
    Click(Box("CounterShowCheckBox"));
    param->show();
    Click(Box("CounterShowCheckBox"));
    Click(param->findChild<QPushButton*>(QStringLiteral("CloseBitBtn")));
    QVERIFY(!Box("CounterShowCheckBox")->isChecked());
    QVERIFY(!options.CounterShow);
}

// Patterns in which every two boxes differ at least once, so a box restored from another's
// state shows up.
void DialogTests::cancelRestoresEachBoxFromItsOwnState() {
    const char* const names[] = {"CounterShowCheckBox", "TimeShowCheckBox", "DeleteDigitsCheckBox",
                                 "AutoOpenCheckBox", "AutoCopyCheckBox"};
    for (const int bit : {1, 2, 4}) {
        param->hide();
        bool shown[5];
        for (int i = 0; i < 5; ++i) {
            shown[i] = ((i + 1) & bit) != 0;
            Box(names[i])->setChecked(shown[i]);
        }
        param->show(); // the dialog takes this state as the one Cancel returns to
        for (const char* name : names)
            Box(name)->setChecked(!Box(name)->isChecked());
        Click(param->findChild<QPushButton*>(QStringLiteral("CloseBitBtn")));
        for (int i = 0; i < 5; ++i)
            QVERIFY2(Box(names[i])->isChecked() == shown[i], names[i]);
        QCOMPARE(options, (ConvertOptions{shown[0], shown[1], shown[2], shown[3], shown[4]}));
    }
}

void DialogTests::closeBoxKeepsChanges() {
    const QString path = WritePlaylist("#EXTM3U\r\n#EXTINF:5,a\r\n");
    controller->SetFileName(path.toStdString());
    controller->LoadPlaylist();
    Click(Box("TimeShowCheckBox"));
    param->close();
    QCOMPARE(param->result(), ui::TParamForm::ResultCancel);
    QVERIFY(!options.TimeShow);
    QCOMPARE(controller->Converted()->Text(), "1.a  <0:05>\r\n"); // nothing converted again
}

void DialogTests::escapeDoesNothing() {
    QTest::keyClick(param.get(), Qt::Key_Escape);
    QVERIFY(param->isVisible());
}

void DialogTests::okReloadsTheLoadedPlaylist() {
    // Without a playlist OK only closes.
    Click(param->findChild<QPushButton*>(QStringLiteral("OKBitBtn")));
    QCOMPARE(param->result(), ui::TParamForm::ResultOk);
    QVERIFY(!param->isVisible());
    QCOMPARE(controller->Converted()->Text(), "");

    const QString path = WritePlaylist("#EXTM3U\r\n#EXTINF:5,01-a\r\n");
    controller->SetFileName(path.toStdString());
    controller->LoadPlaylist();
    controller->Converted()->Replace(0, controller->Converted()->Size(), "edited");
    WritePlaylist("#EXTM3U\r\n#EXTINF:5,01-a\r\n#EXTINF:7,b\r\n");
    param->show();
    Click(Box("CounterShowCheckBox"));
    Click(param->findChild<QPushButton*>(QStringLiteral("OKBitBtn")));
    QCOMPARE(controller->Converted()->Text(), "a  <0:05>\r\nb  <0:07>\r\n");
}

void DialogTests::okAfterTheFileVanishedReportsAndCloses() {
    const QString path = WritePlaylist("#EXTM3U\r\n");
    controller->SetFileName(path.toStdString());
    controller->LoadPlaylist();
    QFile::remove(path);
    Click(param->findChild<QPushButton*>(QStringLiteral("OKBitBtn")));
    QCOMPARE(errors.messages.size(), 1U);
    QVERIFY(errors.messages.front().starts_with("Cannot open file"));
    QVERIFY(!param->isVisible());
    QCOMPARE(param->result(), ui::TParamForm::ResultOk);
}

void DialogTests::aboutTextsAndLinks() {
    ui::TAboutForm about(shell);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const auto label = [&](const char* name) {
        return about.findChild<QLabel*>(QString::fromLatin1(name));
    };
    QCOMPARE(label("NameLabel")->text(), QStringLiteral("Skaldrun"));
    QVERIFY(label("NameLabel")->font().bold());
    QCOMPARE(label("VersionLabel")->text(),
             QStringLiteral("Version %1 (build %2)").arg(kVersionText.data()).arg(kBuildNumber));
    QCOMPARE(test::UnnamedControls(&about), QStringList());
    QCOMPARE(test::UnnamedControls(param.get()), QStringList());
    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(label("Label5"));
    QCOMPARE(link->role(), QAccessible::Link);
    QCOMPARE(link->text(QAccessible::Name), QStringLiteral("https://skaldrun.org"));
    QCOMPARE(label("Label6")->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(label("Label4")->cursor().shape(), Qt::PointingHandCursor);
    QAccessibleInterface* caption = QAccessible::queryAccessibleInterface(label("Label6"));
    QCOMPARE(caption->role(), QAccessible::StaticText);
    QCOMPARE(caption->text(QAccessible::Name), QStringLiteral("e-mail:"));

    // A screen reader follows each link by its press action; the links wear the palette's colour.
    for (const char* name : {"Label4", "Label5"}) {
        QAccessibleActionInterface* actions =
            QAccessible::queryAccessibleInterface(label(name))->actionInterface();
        QVERIFY(actions != nullptr);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(label(name)->palette().color(QPalette::WindowText),
                 about.palette().color(QPalette::Link));
    }
    QCOMPARE(about.palette().color(QPalette::Link), QColor(Qt::blue));
    QCOMPARE(shell.requests, (QStringList{QStringLiteral("mailto: support@skaldrun.org"),
                                          QStringLiteral("https://skaldrun.org")}));
    shell.requests.clear();

    for (const char* name : {"Label6", "Label4", "Label5"})
        Click(label(name));
    QCOMPARE(shell.requests, (QStringList{QStringLiteral("mailto: support@skaldrun.org"),
                                          QStringLiteral("mailto: support@skaldrun.org"),
                                          QStringLiteral("https://skaldrun.org")}));
    QVERIFY(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Return);
    QVERIFY(!about.isVisible());
}

void DialogTests::checkBoxesToggleAcrossTheirWholeWidth() {
    // The copy box first: it is disabled once the automatic conversion is off.
    for (const char* name : {"AutoCopyCheckBox", "AutoOpenCheckBox", "CounterShowCheckBox",
                             "TimeShowCheckBox", "DeleteDigitsCheckBox"}) {
        QCheckBox* box = Box(name);
        const bool before = box->isChecked();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 2, box->height() / 2));
        QCOMPARE(box->isChecked(), !before);
    }
}

// Each dialog offers again the filter chosen in it, the second of its two here.
void DialogTests::fileDialogsOfferTheFilterLastChosen() {
    // What is remembered is the program's own; Windows' dialog has no widgets to drive.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const auto native =
        qScopeGuard([] { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, false); });
    ui::QtFileDialogs dialogs;
    using Ask = std::optional<QString> (ui::QtFileDialogs::*)(QWidget*);
    for (const Ask ask :
         {&ui::QtFileDialogs::AskOpenFileName, &ui::QtFileDialogs::AskSaveFileName}) {
        QString offered;
        const auto answer = [&](bool chooseSecond) {
            QTimer::singleShot(0, [&, chooseSecond] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog != nullptr);
                auto* filters = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                QVERIFY(filters != nullptr);
                offered = filters->currentText();
                if (!chooseSecond) {
                    dialog->reject();
                    return;
                }
                filters->setFocus();
                QTest::keyClick(filters, Qt::Key_Down);
                dialog->selectFile(Write("chosen", ""));
                static_cast<QDialog*>(dialog)->accept(); // as the Open or Save button does
            });
        };
        answer(true);
        QVERIFY((dialogs.*ask)(nullptr).has_value());
        const QString first = offered;
        answer(false);
        QVERIFY(!(dialogs.*ask)(nullptr).has_value());
        QVERIFY(offered != first);
        QVERIFY(offered.startsWith(QStringLiteral("All Files")));
    }
}

QTEST_MAIN(DialogTests)
#include "DialogTests.moc"
