// The text view and a stock QPlainTextEdit side by side: the same text, the same keys, and after
// every key the same text, caret and anchor. The views are wide enough that no line wraps, so
// only what does not depend on line breaking is compared.

#include "GuiTestSupport.h"
#include "ui/TextView/TextView.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBoundaryFinder>
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
    void doubleAndShiftClicksTakeWhatTheStockBoxTakes();
    void pagesGoAsFarAsTheStockBoxs();

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

    // The same place on both views: `share` of the way across the character from a to b (past
    // the line's end where a ends a line); in viewport coordinates.
    QPoint OursAt(int a, int b, qreal share) const {
        const QRect here = ours->CharacterRect(ours->ByteOfCharacter(a));
        const int right =
            b < 0 ? here.left() + 30 : ours->CharacterRect(ours->ByteOfCharacter(b)).left();
        return {here.left() + qRound((right - here.left()) * share), here.center().y()};
    }
    // Where the stock box's text stands against ours, to click both at the same place.
    QPoint StockShift() const {
        return stock->cursorRect(stock->textCursor()).topLeft() -
               ours->CharacterRect(ours->CaretOffset()).topLeft();
    }
    static void Send(QWidget* area, QEvent::Type type, QPoint at, Qt::KeyboardModifiers keys = {}) {
        const Qt::MouseButtons buttons =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, at, area->mapToGlobal(at), Qt::LeftButton, buttons, keys);
        QApplication::sendEvent(area, &event);
    }
    static void DoubleClick(QWidget* area, QPoint at) {
        Send(area, QEvent::MouseButtonPress, at);
        Send(area, QEvent::MouseButtonRelease, at);
        Send(area, QEvent::MouseButtonDblClick, at);
        Send(area, QEvent::MouseButtonRelease, at);
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

// A double click at every half of every character, and past each line's end, then Shift and a
// click on another line's half: the same words, clusters and extensions as the stock box.
void SideBySideTests::doubleAndShiftClicksTakeWhatTheStockBoxTakes() {
    QStringList differences;
    for (const char* const& text : kTexts) {
        Show(text);
        const QString plain = ours->PlainText();
        // Characters as a reader sees them: from each boundary to the next; one past each line.
        std::vector<std::pair<int, int>> characters;
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, plain);
        for (qsizetype a = 0; a >= 0 && a <= plain.size(); a = graphemes.toNextBoundary()) {
            if (a == plain.size() || plain[a] == u'\n')
                characters.emplace_back(static_cast<int>(a), -1);
            else
                characters.emplace_back(static_cast<int>(a), -2);
            graphemes.setPosition(a);
        }
        for (std::size_t i = 0; i + 1 < characters.size(); ++i) {
            if (characters[i].second == -2)
                characters[i].second = characters[i + 1].first;
        }
        PlaceBoth(0, 0);
        const QPoint toStock = StockShift();
        const QPoint farOurs(ours->viewport()->width() - 5, ours->viewport()->height() - 5);
        const QPoint farStock(stock->viewport()->width() - 5, stock->viewport()->height() - 5);
        for (std::size_t i = 0; i < characters.size(); ++i) {
            const auto [a, b] = characters[i];
            const auto [thenA, thenB] = characters[(i * 7) % characters.size()];
            for (const qreal share : {0.25, 0.75}) {
                for (const bool shift : {false, true}) {
                    // Away first, so that no click counts as a third.
                    DoubleClick(ours->viewport(), farOurs);
                    DoubleClick(stock->viewport(), farStock);
                    DoubleClick(ours->viewport(), OursAt(a, b, share));
                    DoubleClick(stock->viewport(), OursAt(a, b, share) + toStock);
                    QString step = QStringLiteral("double click at %1+%2").arg(a).arg(share);
                    if (shift) {
                        const QPoint oursThen = OursAt(thenA, thenB, share);
                        const QPoint stockThen = oursThen + toStock;
                        Send(ours->viewport(), QEvent::MouseButtonPress, oursThen,
                             Qt::ShiftModifier);
                        Send(stock->viewport(), QEvent::MouseButtonPress, stockThen,
                             Qt::ShiftModifier);
                        Send(ours->viewport(), QEvent::MouseButtonRelease, oursThen);
                        Send(stock->viewport(), QEvent::MouseButtonRelease, stockThen);
                        step += QStringLiteral(", Shift and a click at %1").arg(thenA);
                    }
                    const QString difference = Compare();
                    if (!difference.isEmpty())
                        differences.append(QStringLiteral("%1 of text %2: %3")
                                               .arg(step)
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

// Pages down to the end and back up, with the caret on several rows of the screen: the caret and
// the row at the top are the stock box's after every key.
void SideBySideTests::pagesGoAsFarAsTheStockBoxs() {
    std::string lines;
    for (int i = 0; i < 120; ++i)
        lines += std::to_string(i) + ".Artist - Title\r\n";
    QStringList differences;
    for (const int startLine : {0, 5, 17}) {
        Show(lines.c_str());
        PlaceBoth(ours->CharacterOfByte(ours->Document().LineStart(startLine)),
                  ours->CharacterOfByte(ours->Document().LineStart(startLine)));
        for (int step = 0; step < 12; ++step) {
            const Key key{step < 6 ? Qt::Key_PageDown : Qt::Key_PageUp};
            Press(key);
            QString difference = Compare();
            const int top = ours->verticalScrollBar()->value();
            const int stockTop = stock->verticalScrollBar()->value();
            if (difference.isEmpty() && top != stockTop)
                difference = QStringLiteral("top %1, stock %2").arg(top).arg(stockTop);
            if (!difference.isEmpty())
                differences.append(QStringLiteral("%1 %2 from line %3: %4")
                                       .arg(Name(key))
                                       .arg(step)
                                       .arg(startLine)
                                       .arg(difference));
        }
    }
    for (const QString& d : differences.mid(0, 40))
        qWarning().noquote() << d;
#ifdef Q_OS_WIN // known under Wine: pages differ from the stock box's; not yet pinned down
    QEXPECT_FAIL("", "Windows build: Page Up and Down stop elsewhere than the stock box's",
                 Continue);
#endif
    QCOMPARE(differences.size(), 0);
}

QTEST_MAIN(SideBySideTests)
#include "SideBySideTests.moc"
