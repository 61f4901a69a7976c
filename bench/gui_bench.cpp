// Times the real main window (offscreen) on generated playlists against bare QPlainTextEdits
// given the same texts already in memory: open until shown, switch to the source view, Ctrl+A
// and Ctrl+C typed in each view, one character typed at the top, middle and end, Ctrl+End, and
// the peak resident memory. Each side runs in a process of its own, so that the peaks compare.
//
//     gui_bench [ENTRIES...]          default: 10000 100000 1000000
//     gui_bench --title MIB           one entry whose title is MIB mebibytes long
//     gui_bench --reopen              saving an edited 10^6-entry list, then opening a small one
//     gui_bench --reader              screen-reader lookups in the list of 10^6 entries
//     gui_bench --startup             the program's start-up against a bare window's
//     xvfb-run -a gui_bench --clipboard   the peak after another program reads the clipboard
//                                     (needs xclip)

#include "app/Program.h"
#include "core/Convert.h"
#include "core/ErrorReporter.h"
#include "core/MessageService.h"
#include "core/PlaylistController.h"
#include "core/TextFiles.h"
#include "ui/FileDialogs.h"
#include "ui/Main/MainForm.h"
#include "ui/Shell.h"
#include "ui/TextView/TextView.h"
#include "ui/ViewCodec.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

using namespace skaldrun;

struct Answers final : ui::FileDialogs {
    QString path;
    std::optional<QString> savePath;
    std::optional<QString> AskOpenFileName(QWidget*) override { return path; }
    std::optional<QString> AskSaveFileName(QWidget*) override { return savePath; }
    std::optional<Export> exportAnswer;
    std::optional<Export> AskExportFileName(QWidget*) override { return exportAnswer; }
};
struct NoShell final : ui::Shell {
    bool Open(const QString&) override { return true; }
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
    const std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return ui::ViewCodec::For(text).Decode(text);
}

// The process's own peak resident memory. Not getrusage's: Linux keeps there the peak of the
// process that forked it too, which was the benchmark's parent holding the playlist.
double StatusMb(const QByteArray& field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').front().toDouble() / 1024.0;
    }
    return 0;
}

double PeakMb() {
    return StatusMb("VmHWM:");
}

// What the process holds now.
double ResidentMb() {
    return StatusMb("VmRSS:");
}

// Clears the peak, so that the next PeakMb tells the peak of what follows.
void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The time of a step until the window has handled its events and the view is painted again.
template <typename Step>
double TimeMs(Step&& step, QAbstractScrollArea* painted = nullptr) {
    QElapsedTimer timer;
    timer.start();
    step();
    QApplication::processEvents();
    if (painted != nullptr)
        painted->viewport()->grab(); // paints it whether or not the window is exposed
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// A key typed into a widget, as the keyboard delivers it.
void Key(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
         const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(widget, &release);
}

void SelectAllAndCopy(QWidget* view) {
    view->setFocus();
    Key(view, Qt::Key_A, Qt::ControlModifier);
    Key(view, Qt::Key_C, Qt::ControlModifier);
}

void TypeOne(QWidget* view) {
    Key(view, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
}

// What both sides report, in this order.
constexpr int kFigures = 10;
struct Figures {
    double open = 1e9, toSource = 1e9, copySource = 1e9, copyList = 1e9, typeTop = 1e9,
           typeMiddle = 1e9, typeEnd = 1e9, scrollEnd = 1e9, peakOpen = 1e9, peak = 1e9;
    double* begin() { return &open; }
};

void Print(const Figures& f) {
    std::printf("%f %f %f %f %f %f %f %f %f %f\n", f.open, f.toSource, f.copySource, f.copyList,
                f.typeTop, f.typeMiddle, f.typeEnd, f.scrollEnd, f.peakOpen, f.peak);
}

// The real main window with the desktop's services answered here: all options on, so a list is
// shown, selected and copied after its load; the open dialog names playlist.
struct BenchWindow {
    explicit BenchWindow(const QString& playlist = {}) {
        answers.path = playlist;
        form.show();
        QApplication::processEvents();
    }
    // The click on Open, until the events it made are handled.
    void Open() {
        form.findChild<QToolButton*>(QStringLiteral("MP3OpenSpeedButton"))->click();
        QApplication::processEvents();
    }
    ui::TextView* List() { return form.findChild<ui::TextView*>(QStringLiteral("TextMemo")); }

    ConvertOptions options;
    PrintErrors errors;
    NoMessages messages;
    NoShell shell;
    Answers answers;
    ui::TMainForm form{options, {errors, messages, answers, shell}};
};

// One side of one measurement: the real window.
int RunWindow(const QString& playlist) {
    BenchWindow window(playlist);
    ui::TMainForm& form = window.form;
    auto* combo = form.findChild<QComboBox*>(QStringLiteral("ConsistComboBox"));
    auto* list = form.findChild<ui::TextView*>(QStringLiteral("TextMemo"));
    auto* source = form.findChild<ui::TextView*>(QStringLiteral("MP3Memo"));
    const auto pick = [combo](int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    };
    Figures f;
    f.open = TimeMs(
        [&] { form.findChild<QToolButton*>(QStringLiteral("MP3OpenSpeedButton"))->click(); }, list);
    f.peakOpen = PeakMb();
    f.toSource = TimeMs([&] { pick(0); }, source);
    f.copySource = TimeMs([&] { SelectAllAndCopy(source); }, source);
    pick(1);
    QApplication::processEvents();
    f.copyList = TimeMs([&] { SelectAllAndCopy(list); }, list);
    const auto typeAt = [&](std::size_t offset) {
        list->Select(offset, offset);
        list->MakeVisible(offset);
        QApplication::processEvents();
        return TimeMs([&] { TypeOne(list); }, list);
    };
    f.typeTop = typeAt(0);
    f.typeMiddle = typeAt(list->Size() / 2);
    f.typeEnd = typeAt(list->Size());
    list->Select(0, 0);
    list->MakeVisible(0);
    QApplication::processEvents();
    f.scrollEnd = TimeMs([&] { Key(list, Qt::Key_End, Qt::ControlModifier); }, list);
    f.peak = PeakMb();
    Print(f);
    return 0;
}

// After a big list, typed in and saved: the save's time and the memory it adds, then the memory
// once a small list is opened instead.
int RunReopen(const QString& big, const QString& small, const QString& saved) {
    BenchWindow window;
    ui::TMainForm& form = window.form;
    Answers& answers = window.answers;
    auto* open = form.findChild<QToolButton*>(QStringLiteral("MP3OpenSpeedButton"));
    auto* list = form.findChild<ui::TextView*>(QStringLiteral("TextMemo"));
    double saveMs = 0;
    double saveMb = 0;
    if (big != small) {
        answers.path = big;
        open->click();
        QApplication::processEvents();
        list->Select(list->Size() / 2, list->Size() / 2);
        TypeOne(list);
        QApplication::processEvents();
        answers.savePath = saved;
        const double before = ResidentMb();
        ResetPeak();
        saveMs = TimeMs(
            [&] { form.findChild<QToolButton*>(QStringLiteral("MP3SaveSpeedButton"))->click(); });
        saveMb = PeakMb() - before;
    }
    answers.path = small;
    open->click();
    QApplication::processEvents();
    std::printf("%f %f %f\n", saveMs, saveMb, ResidentMb());
    return 0;
}

// What a screen reader asks of the list of a big playlist: the character, word and row at, before
// and after an offset in its middle, each timed alone; prints the slowest in milliseconds.
int RunReader(const QString& playlist) {
    QAccessible::setActive(true);
    BenchWindow window(playlist);
    window.Open();
    ui::TextView* list = window.List();
    QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(list)->textInterface();
    int middle = 0;
    double slowest = TimeMs([&] { middle = text->characterCount() / 2; }); // the first count
    int start = 0;
    int end = 0;
    for (const auto type :
         {QAccessible::CharBoundary, QAccessible::WordBoundary, QAccessible::LineBoundary}) {
        slowest =
            std::max(slowest, TimeMs([&] { text->textAtOffset(middle, type, &start, &end); }));
        slowest =
            std::max(slowest, TimeMs([&] { text->textBeforeOffset(middle, type, &start, &end); }));
        slowest =
            std::max(slowest, TimeMs([&] { text->textAfterOffset(middle, type, &start, &end); }));
    }
    slowest = std::max(slowest, TimeMs([&] { text->characterCount(); }));
    slowest = std::max(slowest, TimeMs([&] { text->setCursorPosition(middle + 7); }));
    std::printf("%f\n", slowest);
    return 0;
}

// Under a real X11 display: the peak after a big list is opened (and so copied), and after
// another program has read all of the clipboard.
int RunClipboard(const QString& playlist) {
    BenchWindow window(playlist);
    window.Open();
    const double afterOpen = PeakMb();
    // Counted by another process, so that this one holds nothing of what xclip reads.
    // The event loop runs free meanwhile, as the program's does, to answer xclip at once.
    QProcess reader;
    QEventLoop loop;
    QObject::connect(&reader, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&reader, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    reader.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"), QStringLiteral("xclip -o -selection clipboard | wc -c")});
    loop.exec();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const double read = reader.readAllStandardOutput().trimmed().toDouble();
    std::printf("%f %f %f %f\n", afterOpen, PeakMb(), read / 1e6, ms);
    return 0;
}

// The other side: bare QPlainTextEdits given the same texts already decoded.
int RunBare(const QString& converted, const QString& source) {
    QPlainTextEdit view;
    QPlainTextEdit sourceView;
    view.resize(605, 393);
    sourceView.resize(605, 393);
    view.show();
    QApplication::processEvents();
    Figures f;
    {
        const QString text = ReadDecoded(converted);
        f.open = TimeMs([&] { view.setPlainText(text); }, &view);
    }
    f.peakOpen = PeakMb();
    {
        const QString sourceText = ReadDecoded(source);
        f.toSource = TimeMs(
            [&] {
                sourceView.setPlainText(sourceText);
                view.hide();
                sourceView.show();
            },
            &sourceView);
    }
    f.copySource = TimeMs([&] { SelectAllAndCopy(&sourceView); }, &sourceView);
    sourceView.hide();
    view.show();
    QApplication::processEvents();
    f.copyList = TimeMs([&] { SelectAllAndCopy(&view); }, &view);
    const auto typeAt = [&](int position) {
        QTextCursor cursor(view.document());
        cursor.setPosition(position);
        view.setTextCursor(cursor);
        QApplication::processEvents();
        return TimeMs([&] { TypeOne(&view); }, &view);
    };
    const int characters = view.document()->characterCount() - 1;
    f.typeTop = typeAt(0);
    f.typeMiddle = typeAt(characters / 2);
    f.typeEnd = typeAt(characters + 2);
    view.moveCursor(QTextCursor::Start);
    QApplication::processEvents();
    f.scrollEnd = TimeMs([&] { Key(&view, Qt::Key_End, Qt::ControlModifier); }, &view);
    f.peak = PeakMb();
    Print(f);
    return 0;
}

Figures RunChild(const QStringList& arguments, int runs) {
    Figures best;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), arguments);
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            qFatal("child %s failed", qPrintable(arguments.join(u' ')));
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != kFigures)
            qFatal("child %s printed nothing", qPrintable(arguments.join(u' ')));
        double* out = best.begin();
        for (int i = 0; i < kFigures; ++i)
            out[i] = std::min(out[i], f[i].toDouble());
    }
    return best;
}

// One entry whose title is megabytes long: the open until shown, and the peak memory.
void RunLongTitle(const QTemporaryDir& dir, int megabytes) {
    const QString playlist = dir.filePath(QStringLiteral("title.m3u"));
    QByteArray bytes = "#EXTM3U\r\n#EXTINF:185,";
    const QByteArray words = "Кино - Группа крови, live ";
    bytes.reserve(static_cast<qsizetype>(megabytes) * 1024 * 1024 + 64);
    while (bytes.size() < static_cast<qsizetype>(megabytes) * 1024 * 1024)
        bytes += words;
    bytes += "\r\nD:\\Music\\track.mp3\r\n";
    WriteFile(playlist, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
    const Figures f = RunChild({QStringLiteral("--window"), playlist}, 1);
    std::printf("\nOne title of %d MiB (file %.0f MB): open %.0f ms, peak %.0f MB (%.2f times the "
                "file), copy %.0f ms, typing at the end %.1f ms, to the end %.1f ms\n",
                megabytes, static_cast<double>(bytes.size()) / 1e6, f.open, f.peak,
                f.peak * 1024 * 1024 / static_cast<double>(bytes.size()), f.copyList, f.typeEnd,
                f.scrollEnd);
}

QList<QByteArray> RunFigures(const QStringList& arguments) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        qFatal("child %s failed", qPrintable(arguments.join(u' ')));
    return child.readAllStandardOutput().trimmed().split(' ');
}

// 10^6 entries typed in and saved, then a list of four lines opened, against a fresh window
// that opened only the small one.
void RunReopenPair(const QTemporaryDir& dir) {
    const QString big = dir.filePath(QStringLiteral("big.m3u"));
    const QString small = dir.filePath(QStringLiteral("small.m3u"));
    const QByteArray bytes = MakePlaylist(1000000, "\r\n");
    WriteFile(big, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
    WriteFile(small, "#EXTM3U\r\n#EXTINF:61,First Song\r\n#EXTINF:62,Second\r\n");
    const QString saved = dir.filePath(QStringLiteral("saved"));
    const QList<QByteArray> after =
        RunFigures({QStringLiteral("--reopen-child"), big, small, saved});
    const QList<QByteArray> fresh =
        RunFigures({QStringLiteral("--reopen-child"), small, small, saved});
    std::printf("10^6 entries (%.0f MB), one character typed, saved: save %.0f ms, peak %.1f MB "
                "above what was held; a small list opened after it: %.0f MB resident, a fresh "
                "window with it: %.0f MB\n",
                static_cast<double>(bytes.size()) / 1e6, after[0].toDouble(), after[1].toDouble(),
                after[2].toDouble(), fresh[2].toDouble());
}

} // namespace

// From a process's start until its window is on screen: the program's own start-up, or a bare
// Qt main window of the same size. Prints the milliseconds since the process began.
int RunStartup(int argc, char** argv, std::string_view kind) {
    const auto shown = [](QWidget& window) {
        window.show();
        while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed())
            QApplication::processEvents();
        QApplication::processEvents(); // painted
        std::printf("shown\n");
        std::fflush(stdout);
        std::_Exit(0); // the end of the process is no part of its start
    };
    if (kind != "program") {
        QApplication application(argc, argv);
        QMainWindow window;
        window.resize(605, 393);
        // The floor of any window that shows a word: the fonts found and one face loaded.
        QLabel caption(QStringLiteral("Файл"));
        if (kind == "caption")
            window.setCentralWidget(&caption);
        shown(window);
    }
    app::Program program(argc, argv);
    program.Show({});
    shown(program.MainForm());
    return 0;
}

// The program's start-up against a bare window's and one with a caption, in turn, medians of
// several runs.
void RunStartupPair() {
    const QStringList kinds = {QStringLiteral("program"), QStringLiteral("bare"),
                               QStringLiteral("caption")};
    std::vector<std::vector<double>> times(kinds.size());
    for (int run = 0; run < 15; ++run) {
        for (qsizetype kind = 0; kind < kinds.size(); ++kind) {
            QProcess child;
            QElapsedTimer timer;
            timer.start();
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--startup-child"), kinds[kind]});
            if (!child.waitForReadyRead(10000))
                qFatal("the start-up child showed nothing");
            times[static_cast<std::size_t>(kind)].push_back(
                static_cast<double>(timer.nsecsElapsed()) / 1e6);
            child.waitForFinished();
        }
    }
    for (auto& t : times)
        std::sort(t.begin(), t.end());
    const double ours = times[0][7];
    const double bare = times[1][7];
    const double caption = times[2][7];
    std::printf("Start-up until the window is on screen: %.1f ms, a bare QMainWindow %.1f ms "
                "(%.2f times), one with a caption %.1f ms (%.2f times), medians of 15\n",
                ours, bare, ours / bare, caption, ours / caption);
}

int main(int argc, char** argv) {
    // Offscreen, but where the clipboard is measured: that needs a display another program reads.
    if (!(argc > 1 && std::string_view(argv[1]).starts_with("--clipboard")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::string_view(argv[1]) == "--startup-child")
        return RunStartup(argc, argv, argv[2]);
    const QTemporaryDir runtime; // for Qt's per-user files, shared with the children
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QApplication app(argc, argv);
    if (argc == 2 && std::string_view(argv[1]) == "--startup") {
        RunStartupPair();
        return 0;
    }
    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--window"))
        return RunWindow(args[1]);
    if (args.size() == 3 && args[0] == QLatin1String("--bare"))
        return RunBare(args[1], args[2]);
    if (args.size() == 2 && args[0] == QLatin1String("--clipboard-child"))
        return RunClipboard(args[1]);
    if (args.size() == 2 && args[0] == QLatin1String("--reader-child"))
        return RunReader(args[1]);
    if (args.size() == 4 && args[0] == QLatin1String("--reopen-child"))
        return RunReopen(args[1], args[2], args[3]);

    QTemporaryDir dir;
    if (args.size() == 2 && args[0] == QLatin1String("--title")) {
        RunLongTitle(dir, args[1].toInt());
        return 0;
    }
    if (args.size() == 1 && args[0] == QLatin1String("--reopen")) {
        RunReopenPair(dir);
        return 0;
    }
    if (args.size() == 1 && args[0] == QLatin1String("--clipboard")) {
        const QString big = dir.filePath(QStringLiteral("big.m3u"));
        const QByteArray bytes = MakePlaylist(1000000, "\r\n");
        WriteFile(big, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
        const QList<QByteArray> f = RunFigures({QStringLiteral("--clipboard-child"), big});
        std::printf("10^6 entries: peak %.0f MiB after the open, %.0f MiB after xclip read %.0f MB "
                    "of the clipboard (%.2f times) in %.0f ms\n",
                    f[0].toDouble(), f[1].toDouble(), f[2].toDouble(),
                    f[1].toDouble() / f[0].toDouble(), f[3].toDouble());
        return 0;
    }
    if (args.size() == 1 && args[0] == QLatin1String("--reader")) {
        const QString big = dir.filePath(QStringLiteral("big.m3u"));
        const QByteArray bytes = MakePlaylist(1000000, "\r\n");
        WriteFile(big, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
        const QList<QByteArray> f = RunFigures({QStringLiteral("--reader-child"), big});
        std::printf("10^6 entries: the slowest screen-reader lookup took %.2f ms\n",
                    f[0].toDouble());
        return 0;
    }
    QList<int> sizes{10000, 100000, 1000000};
    if (!args.isEmpty()) {
        sizes.clear();
        for (const QString& a : args)
            sizes.append(a.toInt());
    }
    std::printf("| entries | breaks | MB | open | bare | ratio | to source | bare | ratio | "
                "Ctrl+A, C source | bare | Ctrl+A, C list | bare | type top/middle/end | bare | "
                "to end | bare | peak MB | bare peak MB |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const int entries : sizes) {
        for (const bool crlf : {true, false}) {
            const QString playlist = dir.filePath(QStringLiteral("list.m3u"));
            const QByteArray bytes = MakePlaylist(entries, crlf ? "\r\n" : "\n");
            WriteFile(playlist, {bytes.constData(), static_cast<std::size_t>(bytes.size())});
            {
                // What the bare widget is given: the same texts the window ends up showing.
                const CrLfText source = ReadTextFile(playlist.toStdString());
                CrLfText converted;
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
                        "%.1f ms | %.0f ms | %.1f ms | %.0f ms | %.1f/%.1f/%.1f ms | "
                        "%.0f/%.0f/%.0f ms | %.1f ms | %.0f ms | %.0f | %.0f |\n",
                        entries, crlf ? "CR LF" : "LF", static_cast<double>(bytes.size()) / 1e6,
                        window.open, bare.open, window.open / bare.open, window.toSource,
                        bare.toSource, window.toSource / bare.toSource, window.copySource,
                        bare.copySource, window.copyList, bare.copyList, window.typeTop,
                        window.typeMiddle, window.typeEnd, bare.typeTop, bare.typeMiddle,
                        bare.typeEnd, window.scrollEnd, bare.scrollEnd, window.peak, bare.peak);
            std::fflush(stdout);
        }
    }
    return 0;
}
