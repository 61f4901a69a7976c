// The text view and a stock QPlainTextEdit side by side: the same text, the same keys, and after
// every key the same text, caret and anchor. The views are wide enough that no line wraps, so
// only what does not depend on line breaking is compared.

#include "GuiTestSupport.h"
#include "ui/TextView/TextView.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTextBlock>
#include <vector>

using namespace skaldrun;

namespace {

struct Key {
    int key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    QString text = {};
};

QString Name(const Key& k) {
    if (!k.text.isEmpty())
        return QStringLiteral("'%1'").arg(k.text);
    return QKeySequence(k.key | k.modifiers).toString();
}

// Texts with what a caret gets wrong: combining marks, emoji with modifiers, flags, a word
// joined by an apostrophe, right-to-left words, Cyrillic, punctuation, empty lines.
const char* const kTexts[] = {
    "1.Cafe\xCC\x81 - Intro  <3:05>\r\n2.\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD "
    "\xF0\x9F\x87\xB7\xF0\x9F\x87\xBA flags  <1:00>\r\n3.Don't stop, me-now  <2:00>",
    "1.\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D  <0:05>\r\n\r\n"
    "2.\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE - \xD0\x93\xD1\x80\xD1\x83\xD0\xBF\xD0\xBF\xD0\xB0  "
    "<4:05>\r\n",
    "",
};

const std::vector<Key>& KeySet() {
    static const std::vector<Key> keys = [] {
        std::vector<Key> k;
        for (const Qt::KeyboardModifiers m :
             {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
              Qt::KeyboardModifiers(Qt::ControlModifier),
              Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)}) {
            for (const int key :
                 {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End})
                k.push_back({key, m});
        }
        for (const Qt::KeyboardModifiers m :
             {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ControlModifier)}) {
            k.push_back({Qt::Key_Backspace, m});
            k.push_back({Qt::Key_Delete, m});
        }
        k.push_back({Qt::Key_K, Qt::ControlModifier});
        k.push_back({Qt::Key_A, Qt::ControlModifier});
        k.push_back({Qt::Key_Return});
        k.push_back({Qt::Key_X, Qt::NoModifier, QStringLiteral("x")});
        k.push_back({Qt::Key_Space, Qt::NoModifier, QStringLiteral(" ")});
        k.push_back({Qt::Key_Z, Qt::ControlModifier});
        k.push_back({Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier});
        return k;
    }();
    return keys;
}

} // namespace

class SideBySideTests : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyKeyAloneFromEveryPlace();
    void randomRunsFromAFixedSeed();

private:
    void Show(const char* bytes) {
        ours->SetText(bytes);
        stock->setPlainText(ours->PlainText());
    }
    void PlaceBoth(int anchor, int position) {
        ours->Select(ours->ByteOfCharacter(anchor), ours->ByteOfCharacter(position));
        QTextCursor cursor = stock->textCursor();
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        stock->setTextCursor(cursor);
    }
    void Press(const Key& k) {
        QTest::keyClick(ours, static_cast<Qt::Key>(k.key), k.modifiers);
        QTest::keyClick(stock, static_cast<Qt::Key>(k.key), k.modifiers);
    }
    // The difference after a key, or an empty string.
    QString Compare() const {
        const QString ourText = ours->PlainText();
        const QString stockText = stock->toPlainText();
        const QTextCursor cursor = stock->textCursor();
        const int caret = ours->CharacterOfByte(ours->CaretOffset());
        const int anchor = ours->CharacterOfByte(ours->CaretOffset() == ours->SelectionStart()
                                                     ? ours->SelectionEnd()
                                                     : ours->SelectionStart());
        if (ourText != stockText)
            return QStringLiteral("text %1, stock %2").arg(ourText, stockText);
        if (caret != cursor.position() || anchor != cursor.anchor())
            return QStringLiteral("caret %1 anchor %2, stock %3 %4")
                .arg(caret)
                .arg(anchor)
                .arg(cursor.position())
                .arg(cursor.anchor());
        return {};
    }

    std::unique_ptr<QWidget> window;
    ui::TextView* ours = nullptr;
    QPlainTextEdit* stock = nullptr;
};

void SideBySideTests::init() {
    window = std::make_unique<QWidget>();
    auto* layout = new QHBoxLayout(window.get());
    ours = new ui::TextView;
    stock = new QPlainTextEdit;
    stock->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(ours);
    layout->addWidget(stock);
    window->resize(2400, 300);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void SideBySideTests::cleanup() {
    window.reset();
}

void SideBySideTests::everyKeyAloneFromEveryPlace() {
    QStringList differences;
    for (const char* const& text : kTexts) {
        Show(text);
        const int length = static_cast<int>(ours->PlainText().size());
        for (const Key& k : KeySet()) {
            // From a caret, and from a selection made either way round.
            for (const int selected : {0, 3, -3}) {
                for (int position = 0; position <= length; ++position) {
                    Show(text);
                    PlaceBoth(std::clamp(position - selected, 0, length), position);
                    if (!Compare().isEmpty())
                        continue; // inside a character, where no caret stops
                    Press(k);
                    const QString difference = Compare();
                    if (!difference.isEmpty())
                        differences.append(QStringLiteral("%1 at %2 (%3 selected) of text %4: %5")
                                               .arg(Name(k))
                                               .arg(position)
                                               .arg(selected)
                                               .arg(&text - kTexts)
                                               .arg(difference));
                }
            }
        }
    }
    for (const QString& d : differences.mid(0, 40))
        qWarning().noquote() << d;
    QCOMPARE(differences.size(), 0);
}

void SideBySideTests::randomRunsFromAFixedSeed() {
    QRandomGenerator random(30);
    const std::vector<Key>& keys = KeySet();
    QStringList differences;
    for (int run = 0; run < 40 && differences.isEmpty(); ++run) {
        const char* text = kTexts[random.bounded(static_cast<int>(std::size(kTexts)))];
        Show(text);
        QString played;
        for (int step = 0; step < 30; ++step) {
            const Key& k = keys[random.bounded(static_cast<int>(keys.size()))];
            played += Name(k) + u' ';
            Press(k);
            const QString difference = Compare();
            if (!difference.isEmpty()) {
                differences.append(
                    QStringLiteral("run %1: %2-> %3").arg(run).arg(played, difference));
                break;
            }
        }
    }
    for (const QString& d : differences)
        qWarning().noquote() << d;
    QCOMPARE(differences.size(), 0);
}

QTEST_MAIN(SideBySideTests)
#include "SideBySideTests.moc"
