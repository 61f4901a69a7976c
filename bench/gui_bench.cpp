// Times the real main window (offscreen) on generated playlists against a bare QPlainTextEdit
// given the same text already in memory: open until shown, switch to the source view, Copy, and
// the peak resident memory. Each side runs in a process of its own, so that the peaks compare.
//
//     gui_bench [ENTRIES...]          default: 10000 100000 1000000

#include "core/Convert.h"
#include "core/PlaylistController.h"
#include "core/Services.h"
#include "core/TextFiles.h"
#include "ui/Main/MainForm.h"
#include "ui/Services.h"
#include "ui/ViewCodec.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

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
struct PrintErrors final : ErrorReporter {
    void Report(std::string_view m) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(m.size()), m.data());
    }
};

QByteArray MakePlaylist(int entries, const QByteArray& lineEnd) {
    QByteArray text = "#EXTM3U" + lineEnd;
    for (int i = 0; i < entries; ++i) {
        text += "#EXTINF:" + QByteArray::number(60 + (i * 37) % 900) + ",";
        text += i % 3 == 0 ? QByteArray("01-Artist Name - Opening Theme of the Record")
                           : QByteArray("Кино - 02 - Группа крови (live, 1988 remaster)");
        text += lineEnd + "D:\\Music\\Collection\\Album\\track.mp3" + lineEnd;
    }
    return text;
}

void WriteFile(const QString& path, std::string_view bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()))
        qFatal("cannot write %s", qPrintable(path));
}

QString ReadDecoded(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    const QByteArray bytes = file.readAll();
    ui::ViewCodec codec;
    return codec.Decode({bytes.constData(), static_cast<std::size_t>(bytes.size())});
}

double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

template <typename Step>
double TimeMs(Step&& step) {
    QElapsedTimer timer;
    timer.start();
    step();
    QApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// One side of one measurement; prints "open switch copy peak".
int RunWindow(const QString& playlist) {
    ConvertOptions options; // all on: shown, selected and copied after the load
    PrintErrors errors;
    NoMessages messages;
    NoShell shell;
    Answers answers;
    answers.path = playlist;
    ui::TMainForm form(options, {errors, messages, answers, shell});
    form.show();
    QApplication::processEvents();
    auto* combo = form.findChild<QComboBox*>(QStringLiteral("ConsistComboBox"));
    const auto pick = [combo](int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    };
    const double open = TimeMs(
        [&] { form.findChild<QToolButton*>(QStringLiteral("MP3OpenSpeedButton"))->click(); });
    const double peak = PeakMb();
    const double toSource = TimeMs([&] { pick(0); });
    pick(1);
    QApplication::processEvents();
    const double copy =
        TimeMs([&] { form.findChild<QToolButton*>(QStringLiteral("CopySpeedButton"))->click(); });
    std::printf("%f %f %f %f\n", open, toSource, copy, peak);
    return 0;
}

int RunBare(const QString& converted, const QString& source) {
    QPlainTextEdit view;
    QPlainTextEdit sourceView;
    view.resize(605, 393);
    sourceView.resize(605, 393);
    view.show();
    QApplication::processEvents();
    double open = 0;
    {
        const QString text = ReadDecoded(converted);
        open = TimeMs([&] { view.setPlainText(text); });
    }
    const double peak = PeakMb();
    const QString sourceText = ReadDecoded(source);
    const double toSource = TimeMs([&] {
        sourceView.setPlainText(sourceText);
        view.hide();
        sourceView.show();
    });
    sourceView.hide();
    view.show();
    view.selectAll();
    QApplication::processEvents();
    const double copy = TimeMs([&] { view.copy(); });
    std::printf("%f %f %f %f\n", open, toSource, copy, peak);
    return 0;
}

struct Figures {
    double open = 1e9, toSource = 1e9, copy = 1e9, peak = 1e9;
};

Figures RunChild(const QStringList& arguments, int runs) {
    Figures best;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), arguments);
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            qFatal("child %s failed", qPrintable(arguments.join(u' ')));
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 4)
            qFatal("child %s printed nothing", qPrintable(arguments.join(u' ')));
        best.open = std::min(best.open, f[0].toDouble());
        best.toSource = std::min(best.toSource, f[1].toDouble());
        best.copy = std::min(best.copy, f[2].toDouble());
        best.peak = std::min(best.peak, f[3].toDouble());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir runtime; // for Qt's per-user files, shared with the children
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--window"))
        return RunWindow(args[1]);
    if (args.size() == 3 && args[0] == QLatin1String("--bare"))
        return RunBare(args[1], args[2]);

    QList<int> sizes{10000, 100000, 1000000};
    if (!args.isEmpty()) {
        sizes.clear();
        for (const QString& a : args)
            sizes.append(a.toInt());
    }
    QTemporaryDir dir;
    std::printf("| entries | breaks | MB | open | bare | ratio | to source | bare | ratio | copy | "
                "bare copy | peak MB | bare peak MB | ratio |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const int entries : sizes) {
        for (const bool crlf : {true, false}) {
            const QString playlist = dir.filePath(QStringLiteral("list.m3u"));
            const QByteArray bytes = MakePlaylist(entries, crlf ? "\r\n" : "\n");
            WriteFile(playlist, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
            {
                // What the bare widget is given: the same texts the window ends up showing.
                const ViewText source = ReadTextFile(playlist.toStdString());
                ViewText converted;
                ConvertPlaylist(SplitLines(source), {}, converted);
                WriteFile(dir.filePath(QStringLiteral("source.txt")), source);
                WriteFile(dir.filePath(QStringLiteral("converted.txt")), converted);
            }
            const int runs = entries >= 1000000 ? 2 : 3;
            const Figures window = RunChild({QStringLiteral("--window"), playlist}, runs);
            const Figures bare =
                RunChild({QStringLiteral("--bare"), dir.filePath(QStringLiteral("converted.txt")),
                          dir.filePath(QStringLiteral("source.txt"))},
                         runs);
            std::printf("| %d | %s | %.1f | %.0f ms | %.0f ms | %.2f | %.0f ms | %.0f ms | %.2f | "
                        "%.0f ms | %.0f ms | %.0f | %.0f | %.2f |\n",
                        entries, crlf ? "CR LF" : "LF", static_cast<double>(bytes.size()) / 1e6,
                        window.open, bare.open, window.open / bare.open, window.toSource,
                        bare.toSource, window.toSource / bare.toSource, window.copy, bare.copy,
                        window.peak, bare.peak, window.peak / bare.peak);
            std::fflush(stdout);
        }
    }
    return 0;
}
