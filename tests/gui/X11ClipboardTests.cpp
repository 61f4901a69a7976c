// Run under an X server (xvfb-run): what another program reads from the clipboard.
#include "ui/TextView/TextView.h"
#include "ui/platform/LargeCopies.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>
#include <xcb/xcb.h>

using skaldrun::ui::TextView;

class X11ClipboardTests : public QObject {
    Q_OBJECT

private slots:
    void readersGetTheCopyWhole();
    void readersAtTheirOwnPaceGetItWhole_data();
    void readersAtTheirOwnPaceGetItWhole();
    void readersTakingPartsOutlastThePatience_data();
    void readersTakingPartsOutlastThePatience();
    void aGoneWindowGetsNoMoreParts();
    void readersLeftAtTheEndStopWaiting();
};

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What xclip prints of the clipboard's UTF-8, read while the event loop runs free.
QByteArray ReadClipboard() {
    QProcess xclip;
    QEventLoop loop;
    QObject::connect(&xclip, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&xclip, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                 QStringLiteral("-t"), QStringLiteral("UTF8_STRING")});
    loop.exec();
    return xclip.readAllStandardOutput();
}

// Copies 5 MB of windows-1251, a lone CR now and then, to the clipboard; what readers should get.
QByteArray CopyLarge(TextView& view) {
    std::string bytes;
    for (int i = 0; i < 300000; ++i)
        bytes += "\xCF\xE5\xF1\xED\xFF " + std::to_string(i) + (i % 999 == 0 ? "\r" : "") + "\r\n";
    QString text = QStringDecoder("windows-1251")(QByteArray::fromStdString(bytes));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    view.SetText(bytes);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return {};
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    return text.toUtf8();
}

xcb_atom_t InternAtom(xcb_connection_t* x, const std::string& name) {
    const auto cookie = xcb_intern_atom(x, 0, static_cast<std::uint16_t>(name.size()), name.data());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(x, cookie, nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// Another program that reads the clipboard's UTF-8 in parts on a thread and connection of its
// own, into one property of its window per pace, taking each step that late. After
// `askAgainAfter` parts of a property, if not 0, it asks again into that property; before part
// `pauseAt`, if not 0, it pauses for `pause`, longer than a sender used to wait.
class IncrReader {
public:
    IncrReader(const QList<int>& msPerStep, int askAgainAfter, int pauseAt = 0,
               milliseconds pause = milliseconds(6000))
        : x_(xcb_connect(nullptr, nullptr))
        , askAgainAfter_(askAgainAfter)
        , pauseAt_(pauseAt)
        , pause_(pause) {
        if (xcb_connection_has_error(x_) != 0) {
            error_ = "no X server";
            done_ = true;
            return;
        }
        clipboard_ = Atom("CLIPBOARD");
        utf8_ = Atom("UTF8_STRING");
        incr_ = Atom("INCR");
        for (int pace : msPerStep)
            properties_.push_back(
                {Atom("SKALDRUN_" + std::to_string(properties_.size())), milliseconds(pace)});
        thread_ = std::thread([this] {
            Run();
            done_ = true;
        });
    }
    ~IncrReader() {
        if (thread_.joinable())
            thread_.join();
        xcb_disconnect(x_);
    }

    bool Done() const { return done_; }
    // Once done: what went wrong, or else the text of each property.
    const std::string& Error() const { return error_; }
    QByteArray Text(int property) const { return properties_[property].text; }

private:
    struct Property {
        xcb_atom_t atom;
        milliseconds pace;
        QByteArray text{};
        enum State { Asked, Reading, Read } state = Asked;
        std::optional<Clock::time_point> due{}; // of the next step
        int parts = 0;
    };

    xcb_atom_t Atom(const std::string& name) { return InternAtom(x_, name); }

    void Ask(Property& p) {
        xcb_convert_selection(x_, window_, clipboard_, utf8_, p.atom, XCB_CURRENT_TIME);
        xcb_flush(x_);
        p.state = Property::Asked;
        p.text.clear();
    }

    // The answer, the INCR that starts it or a part: taken, and deleted for the next one unless
    // the reader asks again instead.
    void Step(Property& p) {
        p.due.reset();
        const bool again = p.state == Property::Reading && ++p.parts == askAgainAfter_;
        xcb_get_property_reply_t* reply =
            xcb_get_property_reply(x_,
                                   xcb_get_property(x_, again ? 0 : 1, window_, p.atom,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
                                   nullptr);
        if (reply == nullptr) {
            error_ = "the property could not be read";
            return;
        }
        const auto* value = static_cast<const char*>(xcb_get_property_value(reply));
        const int size = xcb_get_property_value_length(reply);
        if (p.state == Property::Asked) {
            p.state = Property::Reading;
            if (reply->type != incr_)
                error_ = "answered whole, not in parts";
        } else if (again) {
            Ask(p);
        } else if (size == 0) {
            p.state = Property::Read;
        } else {
            p.text.append(value, size);
        }
        std::free(reply);
    }

    xcb_generic_event_t* NextEvent(Clock::time_point until) {
        for (;;) {
            if (xcb_generic_event_t* event = xcb_poll_for_event(x_))
                return event;
            const auto left =
                std::chrono::duration_cast<milliseconds>(until - Clock::now()).count();
            if (left <= 0 || xcb_connection_has_error(x_) != 0)
                return nullptr;
            pollfd fd{xcb_get_file_descriptor(x_), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left));
        }
    }

    void Run() {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
        window_ = xcb_generate_id(x_);
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(x_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
        for (Property& p : properties_)
            Ask(p);
        while (error_.empty() && std::any_of(properties_.begin(), properties_.end(),
                                             [](const Property& p) { return p.state != p.Read; })) {
            Property* next = nullptr;
            for (Property& p : properties_)
                if (p.due && (next == nullptr || *p.due < *next->due))
                    next = &p;
            if (next != nullptr && *next->due <= Clock::now()) {
                Step(*next);
                continue;
            }
            // A sender that stays silent this long has dropped the transfer.
            xcb_generic_event_t* event =
                NextEvent(next != nullptr ? *next->due : Clock::now() + milliseconds(3000));
            if (event == nullptr) {
                if (next == nullptr)
                    error_ = "the sender went silent";
                continue;
            }
            xcb_atom_t atom = XCB_ATOM_NONE;
            std::optional<Property::State> awaited;
            switch (event->response_type & 0x7F) {
            case XCB_SELECTION_NOTIFY:
                atom = reinterpret_cast<xcb_selection_notify_event_t*>(event)->property;
                awaited = Property::Asked;
                break;
            case XCB_PROPERTY_NOTIFY: {
                const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
                atom = change->atom;
                if (change->state == XCB_PROPERTY_NEW_VALUE)
                    awaited = Property::Reading;
                break;
            }
            }
            std::free(event);
            for (Property& p : properties_) {
                if (p.atom == atom && awaited == p.state) {
                    const bool pause = p.state == Property::Reading && p.parts + 1 == pauseAt_;
                    p.due = Clock::now() + p.pace + (pause ? pause_ : milliseconds(0));
                }
            }
        }
    }

    xcb_connection_t* x_;
    xcb_window_t window_ = XCB_NONE;
    xcb_atom_t clipboard_ = XCB_ATOM_NONE;
    xcb_atom_t utf8_ = XCB_ATOM_NONE;
    xcb_atom_t incr_ = XCB_ATOM_NONE;
    int askAgainAfter_;
    int pauseAt_;
    milliseconds pause_;
    std::vector<Property> properties_;
    std::string error_;
    std::atomic<bool> done_ = false;
    std::thread thread_;
};

} // namespace

// Large copies go out in parts made as they are sent, small ones as Qt sends them; either way
// the reader gets the whole text with LF breaks, and can read it again.

void X11ClipboardTests::readersGetTheCopyWhole() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");
    TextView view;
    const QByteArray expected = CopyLarge(view);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(ReadClipboard(), expected);
    QCOMPARE(ReadClipboard(), expected);

    view.Select(0, 10); // the first line, with its lone CR: small
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(ReadClipboard(), expected.first(expected.indexOf('\n') + 1));
}

// Only a reader that stays silent loses its transfer: not one slow in all, nor one that shares
// its window with another transfer. A reader that asks again gets the new answer alone.

void X11ClipboardTests::readersAtTheirOwnPaceGetItWhole_data() {
    QTest::addColumn<QList<int>>("msPerStep"); // one property each
    QTest::addColumn<int>("askAgainAfter");    // parts; 0: never
    QTest::addColumn<int>("pauseAt");          // a part; 0: none
    // Well past the patience the sender has for one step, and its check's interval after it.
    QTest::newRow("7 s in all, a step in 1.4 s") << QList<int>{1400} << 0 << 0;
    QTest::newRow("asks again into the same property") << QList<int>{0} << 2 << 0;
    QTest::newRow("two properties of one window, one done first") << QList<int>{50, 150} << 0 << 0;
    QTest::newRow("pauses 6 s before a part") << QList<int>{0} << 0 << 2;
}

void X11ClipboardTests::readersAtTheirOwnPaceGetItWhole() {
    QFETCH(QList<int>, msPerStep);
    QFETCH(int, askAgainAfter);
    QFETCH(int, pauseAt);
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");
    TextView view;
    const QByteArray expected = CopyLarge(view);
    QVERIFY(!expected.isEmpty());

    IncrReader reader(msPerStep, askAgainAfter, pauseAt);
    QVERIFY(QTest::qWaitFor([&] { return reader.Done(); }, 60000));
    QVERIFY2(reader.Error().empty(), reader.Error().c_str());
    for (int i = 0; i < msPerStep.size(); ++i)
        QVERIFY2(reader.Text(i) == expected, qPrintable(QString::number(i)));
}

// With the patience short: a reader that keeps taking parts is served to the end, however long
// that takes in all; one silent for longer is dropped, and the parts stop.
void X11ClipboardTests::readersTakingPartsOutlastThePatience_data() {
    QTest::addColumn<int>("msPerStep");
    QTest::addColumn<int>("pauseAt");
    QTest::addColumn<bool>("servedWhole");
    QTest::newRow("a step in 200 ms, several patiences in all") << 200 << 0 << true;
    QTest::newRow("silent for three patiences") << 0 << 2 << false;
}

void X11ClipboardTests::readersTakingPartsOutlastThePatience() {
    QFETCH(int, msPerStep);
    QFETCH(int, pauseAt);
    QFETCH(bool, servedWhole);
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");
    constexpr milliseconds kPatience(600);
    skaldrun::ui::SetLargeCopyPatience({kPatience, milliseconds(3000)});
    const auto restore = qScopeGuard([] { skaldrun::ui::SetLargeCopyPatience({}); });
    TextView view;
    const QByteArray expected = CopyLarge(view);
    QVERIFY(!expected.isEmpty());

    const Clock::time_point start = Clock::now();
    IncrReader reader({msPerStep}, 0, pauseAt, 3 * kPatience);
    QVERIFY(QTest::qWaitFor([&] { return reader.Done(); }, 20000));
    if (servedWhole) {
        QVERIFY2(reader.Error().empty(), reader.Error().c_str());
        QCOMPARE(reader.Text(0), expected);
        QVERIFY(Clock::now() - start > kPatience);
    } else {
        QCOMPARE(QString::fromStdString(reader.Error()), QStringLiteral("the sender went silent"));
    }
}

// A reader's window destroyed mid-transfer: its number, taken again, belongs to whoever took it,
// and no part of the old transfer may land in that window's properties.
void X11ClipboardTests::aGoneWindowGetsNoMoreParts() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");
    TextView view;
    QVERIFY(!CopyLarge(view).isEmpty());
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const xcb_window_t window = xcb_generate_id(x);
    const xcb_atom_t first = InternAtom(x, "SKALDRUN_FIRST");
    const xcb_atom_t second = InternAtom(x, "SKALDRUN_SECOND");
    const auto ask = [&](xcb_atom_t property) {
        xcb_convert_selection(x, window, InternAtom(x, "CLIPBOARD"), InternAtom(x, "UTF8_STRING"),
                              property, XCB_CURRENT_TIME);
        xcb_flush(x);
        QTest::qWait(300); // the sender answers from the event loop
    };
    const auto hasValue = [&](xcb_atom_t property) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            x, xcb_get_property(x, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 16), nullptr);
        const bool has = reply != nullptr && reply->type != XCB_ATOM_NONE;
        std::free(reply);
        return has;
    };
    const auto remove = [&](xcb_atom_t property) {
        xcb_delete_property(x, window, property);
        xcb_flush(x);
        QTest::qWait(300);
    };
    const auto create = [&] {
        xcb_create_window(x, XCB_COPY_FROM_PARENT, window, root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    };
    create();
    ask(first);    // the answer comes in parts
    remove(first); // the first part comes
    xcb_destroy_window(x, window);
    xcb_flush(x);
    QTest::qWait(300);
    create();    // the same number again
    ask(second); // a request of its own: the sender watches the window again
    // The new window's owner uses the old property for its own ends.
    const char mine[] = "mine";
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, first, XCB_ATOM_STRING, 8, 4, mine);
    remove(first);
    const bool stale = hasValue(first);
    xcb_disconnect(x);
    QVERIFY(!stale);
}

// At the program's end a reader part-way through a copy gets the rest within a few seconds, and
// one too slow for them is told the text has ended: neither waits for ever.
void X11ClipboardTests::readersLeftAtTheEndStopWaiting() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");
    TextView view;
    const QByteArray expected = CopyLarge(view);
    QVERIFY(!expected.isEmpty());
    for (const int pace : {100, 2500}) {
        IncrReader reader({pace}, 0);
        QTest::qWait(pace + 500); // the reader has begun to take parts
        const int waits = skaldrun::ui::LargeCopyEndWaits();
        skaldrun::ui::FinishLargeCopies(std::chrono::milliseconds(1500));
        // It sleeps between looks at the deadline, rather than spin a core.
        QVERIFY(skaldrun::ui::LargeCopyEndWaits() - waits < 500);
        QVERIFY(QTest::qWaitFor([&] { return reader.Done(); }, 8000));
        QVERIFY2(
            reader.Error().empty(),
            qPrintable(QStringLiteral("%1 ms a step: %2").arg(pace).arg(reader.Error().c_str())));
        if (pace == 100)
            QCOMPARE(reader.Text(0), expected);
        else
            QVERIFY(reader.Text(0).size() < expected.size() && expected.startsWith(reader.Text(0)));
    }
}

QTEST_MAIN(X11ClipboardTests)
#include "X11ClipboardTests.moc"
