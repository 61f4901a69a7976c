#pragma once

#include "app/Application.h"
#include "app/MessageBoxErrorReporter.h"
#include "app/MessageDialog.h"
#include "core/ConvertOptions.h"
#include "ui/About/AboutForm.h"
#include "ui/FileDialogs.h"
#include "ui/Main/MainForm.h"
#include "ui/Param/ParamForm.h"
#include "ui/Shell.h"

#include <QString>
#include <QTranslator>
#include <optional>

namespace skaldrun::app {

// The running program: the application, Qt's texts in the user's language, the three windows
// and the services they share, made in the order the program starts them.
class Program {
public:
    Program(int& argc, char** argv);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Shows the main window in the middle of the screen; a playlist named on the command line
    // opens once the window is up, as if chosen in the open dialog.
    void Show(const std::optional<QString>& playlist);
    ui::TMainForm& MainForm() noexcept { return mainForm_; }

private:
    MessageBoxErrorReporter errors_;
    Application application_;
    QTranslator qtTexts_;
    bool translated_; // Qt's texts are in the user's language; set before any window is made
    ConvertOptions options_;
    MessageDialogService messages_;
    ui::QtFileDialogs fileDialogs_;
    ui::DesktopShell shell_;
    ui::TMainForm mainForm_;
    ui::TParamForm paramForm_;
    ui::TAboutForm aboutForm_;
};

} // namespace skaldrun::app
