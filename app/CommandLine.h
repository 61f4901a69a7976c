#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace skaldrun::app {

// What the command line asks for. With an exit code the program prints text and ends without a
// window (help, version, a bad option); otherwise it opens the playlist, if one is named.
struct CommandLine {
    std::optional<int> exitCode;
    QString output; // for standard output
    QString error;  // for standard error
    std::optional<QString> playlist;
};

// Whether the window would have nowhere to show: no platform chosen and neither an X11 nor a
// Wayland display named. Qt would abort there with advice that does not fit.
bool DisplayMissing(const QStringList& arguments);

// Reads the arguments as given to main, Qt's own options included, before any window or
// display exists. The playlist is made absolute as the open dialog would give it; an empty name
// opens nothing, and anything after the first name is ignored.
CommandLine ParseCommandLine(const QStringList& arguments);

} // namespace skaldrun::app
