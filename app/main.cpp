// Skaldrun: starts the application, creates its three windows and runs the event loop.

#include "app/CommandLine.h"
#include "app/Program.h"
#include "core/TextFiles.h"

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

    app::Program program(argc, argv);
    program.Show(command.playlist);
    return QApplication::exec();
}
