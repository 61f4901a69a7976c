#include "app/CommandLine.h"

#include "core/Errors.h"
#include "core/Version.h"
#include "ui/Widgets.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace skaldrun::app {

namespace {

// Qt's own options, which QApplication takes from the command line; known here so that they
// are not taken for unknown ones.
const char* const kQtValueOptions[] = {
    "platform",        "platformpluginpath",
    "platformtheme",   "plugin",
    "display",         "style",
    "stylesheet",      "session",
    "qwindowgeometry", "geometry",
    "qwindowtitle",    "title",
    "qwindowicon",     "name",
    "qmljsdebugger",   "fontengine",
};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

constexpr char kUsage[] = R"(Usage: skaldrun [OPTION]... [--] [PLAYLIST]
Shows an extended M3U playlist as a plain, numbered track list that can be edited, copied and
saved. PLAYLIST is opened once the window is shown; without it the window starts empty.

  -h, --help              show this help and exit
  -V, --version           show the version and exit
  --                      end of options: a name that starts with '-' follows

Qt's options that matter here:
  -platform NAME          the window system plugin: xcb, wayland, offscreen...
  -display DISPLAY        the X display to use
  -style STYLE            the widget style: Fusion, Windows...
  -reverse                lay the window out right to left
  -qwindowgeometry GEOM   the main window's size and place, as 800x600+0+0

The command skaldrun-convert converts without a window; see skaldrun-convert --help.
)";

// What was wrong, worded as getopt words it for skaldrun-convert: the option as it was typed.
QString UsageErrorText(const QCommandLineParser& parser, const QStringList& arguments) {
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) { // a value missing after an option of Qt's
        QString text = parser.errorText();
        if (text.endsWith(u'.'))
            text.chop(1);
        return text.isEmpty() ? text : text.front().toLower() + text.mid(1);
    }
    const QString& name = unknown.front();
    for (const QString& argument : arguments.mid(1)) {
        if (argument == QStringLiteral("--"))
            break;
        const QString typed = argument.section(u'=', 0, 0);
        if (typed.startsWith(u'-') &&
            typed.mid(typed.startsWith(QStringLiteral("--")) ? 2 : 1) == name)
            return QStringLiteral("unrecognized option '%1'").arg(typed);
    }
    return QStringLiteral("unrecognized option '--%1'").arg(name);
}

} // namespace

bool DisplayMissing(const QStringList& arguments) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const auto set = [](const char* name) { return !qEnvironmentVariableIsEmpty(name); };
    const bool platformChosen = arguments.contains(QStringLiteral("-platform")) ||
                                arguments.contains(QStringLiteral("--platform"));
    return !platformChosen && !set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY");
#else
    (void)arguments;
    return false;
#endif
}

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    for (const char* name : kQtValueOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), {}, QStringLiteral("v")));
    for (const char* name : kQtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.exitCode = kExitUsage;
        result.error = QStringLiteral("skaldrun: %1\nTry 'skaldrun --help' for more information.\n")
                           .arg(UsageErrorText(parser, arguments));
        return result;
    }
    if (parser.isSet(help)) {
        result.exitCode = 0;
        result.output = QString::fromUtf8(kUsage);
        return result;
    }
    if (parser.isSet(version)) {
        result.exitCode = 0;
        result.output = QString::fromStdString(VersionText("skaldrun"));
        return result;
    }
    const QStringList names = parser.positionalArguments();
    if (!names.isEmpty() && !names.first().isEmpty())
        result.playlist = QFileInfo(names.first()).absoluteFilePath();
    return result;
}

} // namespace skaldrun::app
