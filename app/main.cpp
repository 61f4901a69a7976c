// Skaldrun: starts the application, creates its three windows and runs the event loop.

#include "app/Application.h"
#include "app/ErrorReporter.h"
#include "app/MessageDialog.h"
#include "core/ConvertOptions.h"
#include "core/Version.h"
#include "core/platform/FileSystem.h"
#include "ui/About/AboutForm.h"
#include "ui/Main/MainForm.h"
#include "ui/Param/ParamForm.h"
#include "ui/Services.h"
#include "ui/Widgets.h"

#include <QFont>
#include <QIcon>
#include <QTranslator>

int main(int argc, char** argv) {
    using namespace skaldrun;
    platform::IgnoreFileSizeSignal();

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
    // keeps their captions within the fixed sizes.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    QTranslator qtTexts; // before any window: the program's own texts are Russian already
    app::InstallQtTranslations(qtTexts, QLocale());

    ConvertOptions options;
    app::MessageDialogService messages;
    ui::QtFileDialogs fileDialogs;
    ui::DesktopShell shell;

    ui::TMainForm mainForm(options, {errors, messages, fileDialogs, shell});
    ui::TParamForm paramForm(
        options, mainForm.Controller(), [&mainForm] { mainForm.ReloadPlaylist(); }, errors,
        &mainForm);
    ui::TAboutForm aboutForm(shell, &mainForm);
    mainForm.SetDialogs(&paramForm, &aboutForm);

    mainForm.adjustSize();
    ui::CenterOnScreen(mainForm);
    mainForm.show();
    if (const std::optional<QString> playlist = app::PlaylistArgument(QApplication::arguments())) {
        // Once the window is up, as if chosen in the open dialog.
        QMetaObject::invokeMethod(
            &mainForm, [&mainForm, name = *playlist] { mainForm.OpenPlaylist(name); },
            Qt::QueuedConnection);
    }
    return QApplication::exec();
}
