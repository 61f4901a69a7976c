// A long random run of the real window: thousands of user actions, with the window's invariants
// checked after every one. The seed is printed with any failure; SKALDRUN_SEED replays a run.

#include "GuiTestSupport.h"
#include "ui/About/AboutForm.h"
#include "ui/Main/MainForm.h"
#include "ui/Param/ParamForm.h"
#include "ui/ViewCodec.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sys/stat.h>

using namespace skaldrun;

namespace {

enum class Kind { Playlist, NotPlaylist, BadDuration, Unreadable };

bool Fails(Kind kind) {
    return kind == Kind::BadDuration || kind == Kind::Unreadable;
}

} // namespace

class RandomRunTests : public test::GuiTestBase {
    Q_OBJECT

private slots:
    void thousandsOfActionsKeepTheWindowConsistent();

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    void SetUpFiles();
    // Does one random action; returns its name and how many errors it must report.
    std::pair<const char*, std::size_t> Act();
    QString Invariants();
    // The list's reading is chosen from its bytes when it is loaded or another code page is
    // chosen, and kept whatever is typed into it later.
    void ListLoaded() {
        listCodec = ui::ViewCodec::For(form->Controller().Converted()->Text(), chosenPage);
    }

    std::mt19937 random;
    std::vector<std::pair<QString, Kind>> playlists;
    enum class Target { Writable, Unwritable, FullDisk };
    std::vector<std::pair<QString, Target>> saveTargets;
    std::map<std::string, Kind> kinds;
    CodePage chosenPage = CodePage::Auto; // in the Encoding menu
    std::optional<ui::ViewCodec> listCodec;

    std::unique_ptr<ui::TMainForm> form;
    ui::TParamForm* param = nullptr;
    ui::TAboutForm* about = nullptr;
};

void RandomRunTests::SetUpFiles() {
    const QString samples = QStringLiteral(SKALDRUN_SAMPLES_DIR "/");
    for (const char* name :
         {"ansi-cp1251.m3u", "cr-only.m3u", "iptv.m3u", "lf-with-options.m3u", "utf8-bom.m3u8"})
        playlists.emplace_back(samples + QString::fromLatin1(name), Kind::Playlist);
    playlists.emplace_back(Write("header.m3u", "#EXTM3U"), Kind::Playlist);
    playlists.emplace_back(samples + QStringLiteral("not-a-playlist.m3u"), Kind::NotPlaylist);
    playlists.emplace_back(Write("empty.m3u", ""), Kind::NotPlaylist);
    playlists.emplace_back(samples + QStringLiteral("bad-duration.m3u"), Kind::BadDuration);
    playlists.emplace_back(dir->filePath(QStringLiteral("missing.m3u")), Kind::Unreadable);
#ifndef _WIN32
    playlists.emplace_back(QStringLiteral("/dev/zero"), Kind::Unreadable);
#endif
    QDir(dir->path()).mkdir(QStringLiteral("folder.m3u"));
    playlists.emplace_back(dir->filePath(QStringLiteral("folder.m3u")), Kind::Unreadable);
#ifndef _WIN32
    const QString fifo = dir->filePath(QStringLiteral("fifo.m3u"));
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
    playlists.emplace_back(fifo, Kind::Unreadable);
#endif
    for (const auto& [path, kind] : playlists)
        kinds[QFile::encodeName(test::SystemPath(path)).toStdString()] = kind;

#ifdef _WIN32
    const Target full = Target::Writable; // no device there is always full
#else
    QFile::link(QStringLiteral("/dev/full"), dir->filePath(QStringLiteral("full.txt")));
    const Target full = Target::FullDisk;
#endif
    QDir(dir->path()).mkdir(QStringLiteral("taken.txt"));
    saveTargets = {{dir->filePath(QStringLiteral("out")), Target::Writable},
                   {dir->filePath(QStringLiteral("no/out")), Target::Unwritable},
                   {dir->filePath(QStringLiteral("full")), full},
                   {dir->filePath(QStringLiteral("taken")), Target::Unwritable}};
}

std::pair<const char*, std::size_t> RandomRunTests::Act() {
    auto* memo = ListView(form.get());
    switch (Pick(10)) {
    case 0:
    case 1: {
        if (Pick(10) == 0) {
            dialogs.openAnswers.push_back(QString());
            Click(OpenButton(form.get()));
            return {"cancel open", 0};
        }
        const auto& [path, kind] = playlists[static_cast<std::size_t>(Pick(int(playlists.size())))];
        dialogs.openAnswers.push_back(path);
        if (Pick(2) == 0)
            Click(OpenButton(form.get()));
        else
            test::Trigger(Child<QAction>(form.get(), "Open1"));
        ListLoaded();
        return {"open", Fails(kind) ? 1 : 0};
    }
    case 2: {
        auto* selector = ViewSelector(form.get());
        if (selector->isEnabled()) {
            selector->setFocus();
            QTest::keyClick(selector, Pick(2) == 0 ? Qt::Key_Up : Qt::Key_Down);
        }
        return {"pick a view", 0};
    }
    case 3:
        if (memo->isVisible()) {
            memo->setFocus();
            switch (Pick(4)) {
            case 0:
                QTest::keyClicks(memo, QStringLiteral("ab c"));
                break;
            case 1:
                QTest::keyClick(memo, Qt::Key_Return);
                break;
            case 2:
                QTest::keyClick(memo, Qt::Key_Backspace);
                break;
            default:
                test::Type(memo, QStringLiteral("Жё"));
            }
        }
        return {"edit", 0};
    case 4:
        if (memo->isVisible()) {
            memo->setFocus();
            const int length = memo->CharacterCount();
            test::SelectCharacters(memo, Pick(length + 1), Pick(length + 1));
        }
        return {"select", 0};
    case 5: {
        const bool enabled = form->Controller().ExportEnabled();
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        if (Pick(2) == 0)
            Click(CopyButton(form.get()));
        else
            test::Trigger(Child<QAction>(form.get(), "Copy1"));
        // The clipboard holds the selected part of the view, or all of it.
        const PlaylistController& c = form->Controller();
        if (enabled && !c.Converted()->Text().empty()) {
            const TextSelection selection = c.ConvertedSelection()->Get();
            const QString expected =
                listCodec->Decode(c.Converted()->Copy(selection.Start(), selection.End()));
            if (selection.Empty() || QGuiApplication::clipboard()->text() != expected)
                return {"copy (the clipboard does not hold the selection)", 99};
        }
        return {"copy", 0};
    }
    case 6: {
        auto* save = SaveButton(form.get());
        if (!save->isEnabled())
            return {"save (disabled)", 0};
        if (Pick(8) == 0) {
            dialogs.saveAnswers.push_back(QString());
            Click(save);
            return {"cancel save", 0};
        }
        const auto& [name, target] = saveTargets[static_cast<std::size_t>(Pick(4))];
        dialogs.saveAnswers.push_back(name);
        Click(save);
        // A full disk takes an empty text, which writes nothing.
        const bool fails =
            target == Target::Unwritable ||
            (target == Target::FullDisk && !form->Controller().Converted()->Text().empty());
        if (target == Target::Writable) {
            QFile saved(name + QStringLiteral(".txt"));
            saved.open(QIODevice::ReadOnly);
            // The file holds what the view shows, edits included, in the view's encoding; bytes
            // that a UTF-8 reading shows as U+FFFD stay as they were.
            const std::string bytes = saved.readAll().toStdString();
            if (listCodec->Decode(bytes) != listCodec->Decode(listCodec->Encode(memo->PlainText())))
                return {"save (the file does not hold the view's text)", 99};
        }
        return {"save", fails ? 1 : 0};
    }
    case 7: {
        const PlaylistController& c = form->Controller();
        const bool loaded = c.PlaylistLoaded();
        const bool reloadFails = loaded && Fails(kinds.at(c.FileName()));
        const int ending = Pick(3); // OK, Cancel, the close box
        const int toggles = Pick(4);
        std::vector<const char*> boxes;
        for (int i = 0; i < toggles; ++i) {
            static const char* const names[] = {"AutoOpenCheckBox", "AutoCopyCheckBox",
                                                "CounterShowCheckBox", "TimeShowCheckBox",
                                                "DeleteDigitsCheckBox"};
            boxes.push_back(names[Pick(5)]);
        }
        test::ActOnNextModal([this, boxes, ending](QWidget* modal) {
            for (const char* box : boxes)
                Click(Child<QCheckBox>(modal, box));
            if (ending == 0)
                Click(Child<QPushButton>(modal, "OKBitBtn"));
            else if (ending == 1)
                Click(Child<QPushButton>(modal, "CloseBitBtn"));
            else
                modal->close();
        });
        Click(Child<QToolButton>(form.get(), "ParamtrSpeedButton"));
        if (ending == 0 && loaded)
            ListLoaded();
        return {"parameters", ending == 0 && reloadFails ? 1 : 0};
    }
    case 8: {
        static const std::pair<const char*, CodePage> pages[] = {
            {"EncodingAuto", CodePage::Auto},
            {"EncodingUtf8", CodePage::Utf8},
            {"EncodingWindows1251", CodePage::Windows1251},
            {"EncodingWindows1252", CodePage::Windows1252},
            {"EncodingKoi8R", CodePage::Koi8R},
            {"EncodingCp866", CodePage::Cp866}};
        const auto& [name, page] = pages[Pick(6)];
        test::Trigger(Child<QAction>(form.get(), name));
        // Another page reads the list's bytes as they are now, edits included.
        if (page != chosenPage) {
            chosenPage = page;
            ListLoaded();
        }
        return {"encoding", 0};
    }
    default:
        test::ActOnNextModal([this](QWidget* modal) {
            Click(Child<QLabel>(modal, Pick(2) == 0 ? "Label4" : "Label5"));
            if (Pick(2) == 0)
                QTest::keyClick(modal, Qt::Key_Return);
            else
                modal->close();
        });
        test::Trigger(Child<QAction>(form.get(), "About1"));
        return {"about", 0};
    }
}

QString RandomRunTests::Invariants() {
    const PlaylistController& c = form->Controller();
    const bool sourceShown = SourceView(form.get())->isVisible();
    const bool convertedShown = ListView(form.get())->isVisible();
    if (sourceShown == convertedShown)
        return QStringLiteral("not exactly one view visible");
    if (convertedShown != (c.VisibleView() == ViewKind::Converted))
        return QStringLiteral("the visible view is not the controller's");
    const bool save = SaveButton(form.get())->isEnabled();
    const bool copy = CopyButton(form.get())->isEnabled();
    const bool menu = Child<QAction>(form.get(), "Copy1")->isEnabled();
    if (save != copy || copy != menu || save != c.ExportEnabled())
        return QStringLiteral("the export commands disagree");
    auto* selector = ViewSelector(form.get());
    if (selector->currentIndex() != c.SelectorIndex() ||
        selector->isEnabled() != c.SelectorEnabled())
        return QStringLiteral("the selector is not the controller's");
    const QString status = StatusText(form.get())->text();
    if (status != (c.StatusText() == kEmptyStatus
                       ? QStringLiteral("Пусто")
                       : QFile::decodeName(QByteArray::fromStdString(c.StatusText()))))
        return QStringLiteral("the status line is not the controller's");
    if (!c.PlaylistLoaded()) {
        if (c.SelectorEnabled() || c.SelectorIndex() != 0 || c.ExportEnabled() ||
            status != QStringLiteral("Пусто"))
            return QStringLiteral("a state without a playlist that no load or view choice leaves");
    } else {
        const bool converted = c.SelectorIndex() == 1;
        if (!c.SelectorEnabled() || converted != c.ExportEnabled() ||
            converted != (c.VisibleView() == ViewKind::Converted) ||
            status == QStringLiteral("Пусто"))
            return QStringLiteral("a loaded state that no load or view choice leaves");
    }
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        shown += w->isVisible() ? 1 : 0;
    if (shown != 1)
        return QStringLiteral("%1 windows shown").arg(shown);
    return {};
}

void RandomRunTests::thousandsOfActionsKeepTheWindowConsistent() {
    const unsigned seed = qEnvironmentVariableIsSet("SKALDRUN_SEED")
                              ? qEnvironmentVariable("SKALDRUN_SEED").toUInt()
                              : 20261207U;
    // First, so that a run that crashes still names its seed.
    qInfo("seed %u", seed);
    random.seed(seed);
    chosenPage = options.Encoding;
    SetUpFiles();
    form = std::make_unique<ui::TMainForm>(
        options, ui::TMainForm::Dependencies{errors, messages, dialogs, shell});
    param = new ui::TParamForm(
        options, form->Controller(), [f = form.get()] { f->LoadPlaylist(); }, errors, form.get());
    about = new ui::TAboutForm(shell, form.get());
    form->SetDialogs(param, about);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    ListLoaded();

#ifdef Q_OS_WIN
    constexpr int kActions = 300; // Wine opens a window in about half a second
#else
    constexpr int kActions = 3000;
#endif
    for (int step = 0; step < kActions; ++step) {
        const std::size_t before = errors.messages.size();
        const auto [action, expectedErrors] = Act();
        const std::size_t reported = errors.messages.size() - before;
        QString broken = Invariants();
        if (broken.isEmpty() && reported != expectedErrors)
            broken =
                QStringLiteral("%1 errors reported, %2 expected").arg(reported).arg(expectedErrors);
        if (!broken.isEmpty()) {
            const QString where = QStringLiteral("seed %1, step %2, after %3: %4")
                                      .arg(seed)
                                      .arg(step)
                                      .arg(QString::fromLatin1(action), broken);
            QFAIL(qPrintable(where));
        }
    }
    qInfo("seed %u: %d actions, %zu errors, %zu messages, %lld shell requests", seed, kActions,
          errors.messages.size(), messages.messages.size(),
          static_cast<long long>(shell.requests.size()));
    form.reset();
    QCOMPARE(QApplication::topLevelWidgets().size(), 0);
}

QTEST_MAIN(RandomRunTests)
#include "RandomRunTests.moc"
