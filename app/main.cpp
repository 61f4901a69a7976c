// Skaldrun: starts the application, creates its three windows and runs the event loop.

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/MessageBoxErrorReporter.h"
#include "app/MessageDialog.h"
#include "core/ConvertOptions.h"
#include "core/TextFiles.h"
#include "core/Version.h"
#include "ui/About/AboutForm.h"
#include "ui/FileDialogs.h"
#include "ui/Main/MainForm.h"
#include "ui/Param/ParamForm.h"
#include "ui/Shell.h"
#include "ui/Widgets.h"

#include <QFont>
#include <QIcon>
#include <QTranslator>
#include <cstdio>

namespace {

bool Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream) ==
               static_cast<std::size_t>(bytes.size()) &&
           std::fflush(stream) == 0;
}

} // namespace

int main(int argc, char** argv) {
    using namespace skaldrun;
    IgnoreFileSizeSignal();

    // Before any window, so that help and version need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const app::CommandLine command = app::ParseCommandLine(arguments);
    if (command.exitCode) {
        const bool printed = Print(stdout, command.output) && Print(stderr, command.error);
        return printed ? *command.exitCode : 1;
    }
    if (app::DisplayMissing(arguments)) {
        Print(stderr, QStringLiteral("skaldrun: no display found (neither DISPLAY nor "
                                     "WAYLAND_DISPLAY is set); skaldrun-convert converts "
                                     "playlists without one.\n"));
        return 1;
    }

    app::MessageBoxErrorReporter errors;
    app::Application application(argc, argv, errors);
    QApplication::setApplicationName(ui::ToQString(kApplicationTitle));
    QApplication::setApplicationVersion(ui::ToQString(kVersionText));
    QApplication::setDesktopFileName(QStringLiteral("org.skaldrun.Skaldrun"));
    QIcon icon;
    for (const int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/skaldrun-%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    // The layouts are drawn for "MS Sans Serif"; where it is missing, a face of Arial's widths
    // keeps their captions within the fixed sizes, where wider faces would cut them off.
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"),
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
    QTranslator qtTexts; // before any window: the program's own texts are Russian already
    app::InstallQtTranslations(qtTexts, QLocale());

    ConvertOptions options;
    app::MessageDialogService messages;
    ui::QtFileDialogs fileDialogs;
    ui::DesktopShell shell;

    ui::TMainForm mainForm(options, {errors, messages, fileDialogs, shell});
    ui::TParamForm paramForm(
        options, mainForm.Controller(), [&mainForm] { mainForm.LoadPlaylist(); }, errors,
        &mainForm);
    ui::TAboutForm aboutForm(shell, &mainForm);
    mainForm.SetDialogs(&paramForm, &aboutForm);

    mainForm.adjustSize();
    ui::CenterOnScreen(mainForm);
    mainForm.show();
    if (command.playlist) {
        // Once the window is up, as if chosen in the open dialog.
        QMetaObject::invokeMethod(
            &mainForm, [&mainForm, name = *command.playlist] { mainForm.OpenPlaylist(name); },
            Qt::QueuedConnection);
    }
    return QApplication::exec();
}
