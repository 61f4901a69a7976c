#pragma once

#include "core/ConvertOptions.h"
#include "core/ErrorReporter.h"
#include "core/MessageService.h"
#include "core/PlaylistController.h"
#include "core/platform/ErrorText.h"
#include "ui/FileDialogs.h"
#include "ui/Shell.h"
#include "ui/TextView/TextView.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace skaldrun::test {

// Answers the file dialogs from a queue; a null answer (or none left) is a cancelled dialog.
class FakeFileDialogs final : public ui::FileDialogs {
public:
    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;

    std::optional<QString> AskOpenFileName(QWidget*) override { return Next(openAnswers); }
    std::optional<QString> AskSaveFileName(QWidget*) override { return Next(saveAnswers); }
    std::deque<Export> exportAnswers; // a null name cancels
    std::optional<Export> AskExportFileName(QWidget*) override {
        if (exportAnswers.empty())
            return std::nullopt;
        const Export answer = exportAnswers.front();
        exportAnswers.pop_front();
        return answer.fileName.isNull() ? std::nullopt : std::optional(answer);
    }
    void OfferOpenFileName(const QString& name) override { offered = name; }
    QString offered; // what the open dialog would offer next

private:
    static std::optional<QString> Next(std::deque<QString>& answers) {
        if (answers.empty())
            return std::nullopt;
        const QString answer = answers.front();
        answers.pop_front();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }
};

class RecordingShell final : public ui::Shell {
public:
    QStringList requests;
    bool opens = true; // false: as a desktop without a browser
    bool Open(const QString& request) override {
        requests.append(request);
        return opens;
    }
};

// True while the wait cursor is what the user sees.
inline bool WaitCursorShown() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

class RecordingMessages final : public MessageService {
public:
    std::vector<std::string> messages;
    bool waitCursorSeen = false; // over any message shown
    void ShowMessage(std::string_view text) override {
        messages.emplace_back(text);
        waitCursorSeen = waitCursorSeen || WaitCursorShown();
    }
};

class RecordingErrors final : public ErrorReporter {
public:
    std::vector<std::string> messages;
    bool waitCursorSeen = false;        // over any box shown
    std::function<void()> whileShown{}; // looks at the windows while the box would be up
    void Report(std::string_view message) override {
        messages.emplace_back(message);
        waitCursorSeen = waitCursorSeen || WaitCursorShown();
        if (whileShown)
            whileShown();
    }
};

// What every window test needs: a fresh folder, the sample playlists, the recording services
// and a few ways to reach and press controls.
class GuiTestBase : public QObject {
protected:
    // A new empty folder for the next test.
    void NewFolder() { dir = std::make_unique<QTemporaryDir>(); }

    QString Write(const char* name, const QByteArray& bytes) const {
        const QString path = dir->filePath(QString::fromLatin1(name));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }
    static QString Sample(const char* name) {
        return QStringLiteral(SKALDRUN_SAMPLES_DIR "/") + QString::fromLatin1(name);
    }
    template <typename T>
    static T* Child(const QObject* parent, const char* name) {
        T* child = parent->findChild<T*>(QString::fromLatin1(name));
        if (child == nullptr)
            qFatal("no child %s", name);
        return child;
    }
    static void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

    // The main window's controls, by the names its layout gives them.
    static ui::TextView* SourceView(const QObject* form) {
        return Child<ui::TextView>(form, "MP3Memo");
    }
    static ui::TextView* ListView(const QObject* form) {
        return Child<ui::TextView>(form, "TextMemo");
    }
    static QComboBox* ViewSelector(const QObject* form) {
        return Child<QComboBox>(form, "ConsistComboBox");
    }
    static QLabel* StatusText(const QObject* form) { return Child<QLabel>(form, "Label1"); }
    static QToolButton* OpenButton(const QObject* form) {
        return Child<QToolButton>(form, "MP3OpenSpeedButton");
    }
    static QToolButton* SaveButton(const QObject* form) {
        return Child<QToolButton>(form, "MP3SaveSpeedButton");
    }
    static QToolButton* CopyButton(const QObject* form) {
        return Child<QToolButton>(form, "CopySpeedButton");
    }

    std::unique_ptr<QTemporaryDir> dir = std::make_unique<QTemporaryDir>();
    ConvertOptions options;
    FakeFileDialogs dialogs;
    RecordingShell shell;
    RecordingMessages messages;
    RecordingErrors errors;
};

// Selects the characters from..to of a text view's screen text, the caret at from.
inline void SelectCharacters(ui::TextView* view, int from, int to) {
    view->Select(view->ByteOfCharacter(to), view->ByteOfCharacter(from));
}

// The controls under root whose accessible name is empty.
inline QStringList UnnamedControls(QWidget* root) {
    QStringList unnamed;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const bool control = (w->inherits("QAbstractButton") || w->inherits("QComboBox") ||
                              w->inherits("skaldrun::ui::TextView") || w->inherits("QLabel")) &&
                             !w->objectName().startsWith(QLatin1String("qt_")); // Qt's own
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
        if (control && (accessible == nullptr || accessible->text(QAccessible::Name).isEmpty()))
            unnamed.append(w->objectName());
    }
    return unnamed;
}

// Waits for the next modal window and hands it to act, which must close it. The modal call the
// test makes next returns once it is closed.
inline void ActOnNextModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

// The same, closing the window with a key after inspect has looked at it, as a user would.
inline void CloseNextModal(std::function<void(QWidget*)> inspect, Qt::Key key = Qt::Key_Return) {
    ActOnNextModal([inspect = std::move(inspect), key](QWidget* modal) {
        inspect(modal);
        QTest::keyClick(modal, key);
    });
}

// Types any text, one key event a character (QTest::keyClicks knows only ASCII).
inline void Type(QWidget* widget, const QString& text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Triggers a menu command the way the menu would: only when it exists and is enabled.
inline bool Trigger(QAction* action) {
    if (action == nullptr || !action->isEnabled())
        return false;
    action->trigger();
    return true;
}

// A file fault as the window words it: the name as the system writes it, and the system's own
// reason, POSIX's words here and the Windows message of the code there, in its ANSI code page.
enum class Fault { Missing = 2, MissingFolder = 3, Folder = 5 }; // Windows' codes
inline QString FaultText([[maybe_unused]] Fault fault, [[maybe_unused]] const char* posix) {
#ifdef Q_OS_WIN
    const std::string text = platform::ErrorText(static_cast<int>(fault));
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
#else
    return QString::fromLatin1(posix);
#endif
}
inline QString SystemPath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace skaldrun::test
