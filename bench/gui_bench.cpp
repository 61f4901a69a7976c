// Times opening a playlist of 10^5 entries in the real window (offscreen) until the converted
// view shows it, against a bare QPlainTextEdit::setPlainText of the same converted text.

#include "app/ErrorReporter.h"
#include "core/PlaylistController.h"
#include "ui/Main/MainForm.h"
#include "ui/Services.h"
#include "ui/ViewCodec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace skaldrun;

struct Answers final : ui::FileDialogs {
    QString path;
    std::optional<QString> AskOpenFileName(QWidget*) override { return path; }
    std::optional<QString> AskSaveFileName(QWidget*) override { return std::nullopt; }
};
struct NoShell final : ui::Shell {
    void Open(const QString&) override {}
};
struct NoMessages final : MessageService {
    void ShowMessage(std::string_view) override {}
};
struct PrintErrors final : app::ErrorReporter {
    void Report(std::string_view m) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(m.size()), m.data());
    }
};

QByteArray MakePlaylist(int entries) {
    QByteArray text = "#EXTM3U\r\n";
    for (int i = 0; i < entries; ++i) {
        text += "#EXTINF:" + QByteArray::number(60 + (i * 37) % 900) + ",";
        text += i % 3 == 0 ? QByteArray("01-Artist Name - Opening Theme of the Record")
                           : QByteArray("Кино - 02 - Группа крови (live, 1988 remaster)");
        text += "\r\nD:\\Music\\Collection\\Album\\track.mp3\r\n";
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    Answers answers;
    answers.path = dir.filePath(QStringLiteral("bench.m3u"));
    QFile file(answers.path);
    file.open(QIODevice::WriteOnly);
    file.write(MakePlaylist(entries));
    file.close();

    double bestOpen = 1e9;
    double bestBare = 1e9;
    for (int run = 0; run < 5; ++run) {
        ConvertOptions options;
        options.AutoCopy = std::getenv("NO_COPY") == nullptr;
        PrintErrors errors;
        NoMessages messages;
        NoShell shell;
        ui::TMainForm form(options, {errors, messages, answers, shell});
        form.show();
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        form.findChild<QToolButton*>(QStringLiteral("MP3OpenSpeedButton"))->click();
        QApplication::processEvents();
        bestOpen = std::min(bestOpen, static_cast<double>(timer.nsecsElapsed()) / 1e6);

        ui::ViewCodec codec;
        const QString converted = codec.Decode(form.Controller().ConvertedText());
        QPlainTextEdit bare;
        bare.resize(605, 393);
        bare.show();
        QApplication::processEvents();
        timer.restart();
        bare.setPlainText(converted);
        QApplication::processEvents();
        bestBare = std::min(bestBare, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("entries %d: open until shown %.1f ms, bare setPlainText %.1f ms, ratio %.2f\n",
                entries, bestOpen, bestBare, bestOpen / bestBare);
    return 0;
}
