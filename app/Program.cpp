#include "app/Program.h"

#include "core/Version.h"
#include "ui/Widgets.h"

#include <QFont>
#include <QIcon>

namespace skaldrun::app {

namespace {

// What comes before any window: the names, the icon, the faces and Qt's texts.
bool PrepareApplication(QTranslator& qtTexts) {
    QApplication::setApplicationName(ui::ToQString(kApplicationTitle));
    QApplication::setApplicationVersion(ui::ToQString(kVersionText));
    QApplication::setDesktopFileName(QStringLiteral("org.skaldrun.Skaldrun"));
    // The window's own sizes; larger ones come from the desktop entry's icon, which task bars
    // and switchers take by the desktop file's name. Decoding the 256-pixel image at every
    // start cost a fifth of the start-up.
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/skaldrun-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    // The layouts are drawn for "MS Sans Serif"; where it is missing, a face of Arial's widths
    // keeps their captions within the fixed sizes, where wider faces would cut them off.
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"),
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
    // Before any window: the program's own texts are Russian already.
    return InstallQtTranslations(qtTexts, QLocale());
}

} // namespace

Program::Program(int& argc, char** argv)
    : application_(argc, argv, errors_)
    , translated_(PrepareApplication(qtTexts_))
    , mainForm_(options_, {errors_, messages_, fileDialogs_, shell_})
    , paramForm_(
          options_, mainForm_.Controller(), [this] { mainForm_.LoadPlaylist(); }, errors_,
          &mainForm_)
    , aboutForm_(shell_, &mainForm_) {
    mainForm_.SetDialogs(&paramForm_, &aboutForm_);
}

void Program::Show(const std::optional<QString>& playlist) {
    mainForm_.adjustSize();
    ui::CenterOnScreen(mainForm_);
    mainForm_.show();
    if (playlist) {
        QMetaObject::invokeMethod(
            &mainForm_, [this, name = *playlist] { mainForm_.OpenPlaylist(name); },
            Qt::QueuedConnection);
    }
}

} // namespace skaldrun::app
