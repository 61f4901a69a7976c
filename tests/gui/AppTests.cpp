// What app/ adds around the windows: the command line, the message dialog and Qt's own texts.

#include "GuiTestSupport.h"
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/MessageDialog.h"
#include "core/Version.h"
#include "support/ManualOptions.h"
#include "ui/Main/MainForm.h"
#include "ui/platform/LargeCopies.h"

#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLibraryInfo>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <optional>

using namespace skaldrun;

class AppTests : public test::GuiTestBase {
    Q_OBJECT

private slots:
    void commandLineNamesThePlaylist();
    void helpVersionAndBadOptionsNeedNoDisplay();
    void theManualAgreesWithTheHelp();
    void messageOfOneLineStaysOnOneLine();
    void messageDialogCopiesAFramedText();
    void qtTextsFollowTheLanguage();
    void quittingAfterACopyWaitsForNoReader();
};

// The playlist the command line names, whatever Qt's own options around it.
void AppTests::commandLineNamesThePlaylist() {
    const auto absolute = [](const char* name) {
        return std::optional(QDir::current().absoluteFilePath(QString::fromUtf8(name)));
    };
    const struct {
        QStringList arguments;
        std::optional<QString> playlist;
    } cases[] = {
        {{QStringLiteral("skaldrun")}, std::nullopt},
        {{QStringLiteral("skaldrun"), QString()}, std::nullopt},
        {{QStringLiteral("skaldrun"), QStringLiteral("a.m3u"), QStringLiteral("ignored")},
         absolute("a.m3u")},
        {{QStringLiteral("skaldrun"), QStringLiteral("--"), QStringLiteral("-x.m3u")},
         absolute("-x.m3u")},
        {{QStringLiteral("skaldrun"), QStringLiteral("-platform"), QStringLiteral("offscreen"),
          QStringLiteral("-reverse"), QStringLiteral("a.m3u")},
         absolute("a.m3u")},
    };
    for (const auto& c : cases) {
        const app::CommandLine command = app::ParseCommandLine(c.arguments);
        QVERIFY(!command.exitCode);
        QCOMPARE(command.playlist, c.playlist);
    }
}

void AppTests::messageOfOneLineStaysOnOneLine() {
    app::MessageDialog dialog(QStringLiteral("Ошибка: Этот файл не Winamp плейлист"));
    dialog.adjustSize();
    const auto* text = dialog.findChild<QLabel*>(QStringLiteral("MessageText"));
    QVERIFY(text->height() < 2 * text->fontMetrics().lineSpacing());
    QVERIFY(text->width() >= text->fontMetrics().horizontalAdvance(text->text()));
}

// Run as a user would type them, where no window system is reachable.
void AppTests::helpVersionAndBadOptionsNeedNoDisplay() {
    const QString version = QStringLiteral("skaldrun (Skaldrun) %1\nbuild %2\n")
                                .arg(QString::fromUtf8(kVersionText))
                                .arg(kBuildNumber);
    const struct {
        QStringList arguments;
        int exitCode;
        QString out;
        QString err;
    } cases[] = {
        {{QStringLiteral("--help")}, 0, QStringLiteral("Usage: skaldrun [OPTION]..."), {}},
        {{QStringLiteral("-h")}, 0, QStringLiteral("Usage: skaldrun [OPTION]..."), {}},
        {{QStringLiteral("--version")}, 0, version, {}},
        {{QStringLiteral("-V"), QStringLiteral("a.m3u")}, 0, version, {}},
        {{QStringLiteral("--bogus")},
         64,
         {},
         QStringLiteral("skaldrun: unrecognized option '--bogus'\n"
                        "Try 'skaldrun --help' for more information.\n")},
        {{QStringLiteral("-x")},
         64,
         {},
         QStringLiteral("skaldrun: unrecognized option '-x'\n"
                        "Try 'skaldrun --help' for more information.\n")},
#ifndef Q_OS_WIN // Windows always has its desktop
        // No display at all: one line that says so, before Qt would abort.
        {{QStringLiteral("a.m3u")},
         1,
         {},
         QStringLiteral("skaldrun: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                        "skaldrun-convert converts playlists without one.\n")},
#endif
    };
    // The system's text; Windows' text streams end their lines with CR LF.
    const auto text = [](QByteArray bytes) {
#ifdef Q_OS_WIN
        bytes.replace("\r\n", "\n");
#endif
        return QString::fromLocal8Bit(bytes);
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    for (const auto& c : cases) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(SKALDRUN_APP_EXE), c.arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), c.exitCode);
        QVERIFY2(text(process.readAllStandardOutput()).startsWith(c.out),
                 qPrintable(c.arguments.join(' ')));
        QCOMPARE(text(process.readAllStandardError()), c.err);
    }
}

// The manual names the options --help names and no other, with every exit status.
void AppTests::theManualAgreesWithTheHelp() {
    QProcess process;
    process.start(QStringLiteral(SKALDRUN_APP_EXE), {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(20000));
    const std::string help = process.readAllStandardOutput().toStdString();
    const std::set<std::string> options = test::OptionsNamed(help, false);
    QVERIFY(options.size() >= 8);
    QVERIFY(test::OptionsNamed(test::ManualSection(SKALDRUN_MANUAL, "OPTIONS"), true) == options);
    QVERIFY(test::OptionsNamed(test::ManualSection(SKALDRUN_MANUAL, "SYNOPSIS"), true) ==
            test::OptionsNamed(help.substr(0, help.find('\n')), false));
    const std::string statuses = test::ManualSection(SKALDRUN_MANUAL, "EXIT STATUS");
    for (const char* status : {".B 0\n", ".B 1\n", ".B 64\n"})
        QVERIFY2(statuses.find(status) != std::string::npos, status);
}

void AppTests::qtTextsFollowTheLanguage() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(folder + QStringLiteral("/qtbase_ru.qm")) &&
        !QFile::exists(QStringLiteral(":/translations/qtbase_ru.qm"))) // built in on Windows
        QSKIP("Qt's Russian texts are not installed");
    QTranslator translator;
    QVERIFY(app::InstallQtTranslations(translator, QLocale(QLocale::Russian)));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
    QCoreApplication::removeTranslator(&translator);
}

void AppTests::messageDialogCopiesAFramedText() {
    app::MessageDialogService service;
    QString copied;
    test::CloseNextModal(
        [&](QWidget* modal) {
            QCOMPARE(modal->windowTitle(), QStringLiteral("Skaldrun"));
            QTest::keyClick(modal, Qt::Key_C, Qt::ControlModifier);
            copied = QGuiApplication::clipboard()->text();
        },
        Qt::Key_Escape);
    service.ShowMessage("Ошибка: Этот файл не Winamp плейлист");
    const QString rule(27, u'-');
    QCOMPARE(copied, rule + "\r\nSkaldrun\r\n" + rule +
                         "\r\nОшибка: Этот файл не Winamp плейлист\r\n" + rule + "\r\nOK   \r\n" +
                         rule + "\r\n");
}

// The end waits only for readers still taking a large copy; after a copy no one is reading,
// Exit ends the program at once.
void AppTests::quittingAfterACopyWaitsForNoReader() {
    ui::TMainForm form(options, {errors, messages, dialogs, shell});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    dialogs.openAnswers.push_back(Sample("ansi-cp1251.m3u"));
    Click(OpenButton(&form));
    ViewSelector(&form)->setFocus();
    QTest::keyClick(ViewSelector(&form), Qt::Key_Down);
    QGuiApplication::clipboard()->clear();
    Click(CopyButton(&form));
    QVERIFY(!QGuiApplication::clipboard()->text().isEmpty());

    const int waits = ui::LargeCopyEndWaits();
    QTimer::singleShot(0, &form, [&] { test::Trigger(Child<QAction>(&form, "Exit1")); });
    QTimer stuck; // should Exit not end the program
    connect(&stuck, &QTimer::timeout, qApp, &QCoreApplication::quit);
    stuck.start(20000);
    QApplication::exec();
    QVERIFY(!form.isVisible());
    QCOMPARE(ui::LargeCopyEndWaits(), waits);
    QVERIFY(errors.messages.empty());
}

QTEST_MAIN(AppTests)
#include "AppTests.moc"
