#include "ui/platform/LargeCopies.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace skaldrun::ui {

namespace {

// Bytes of the text per part, at most: a reader waits for each one in turn, so parts are as
// large as one request takes, the UTF-8 of a byte being three bytes at the most.
constexpr std::size_t kLargestPart = 1024 * 1024;

// How long readers are waited for: one that pauses, even for seconds, keeps its transfer, and one
// whose window goes loses it at once.
LargeCopyPatience& Patience() {
    static LargeCopyPatience patience;
    return patience;
}

int& EndWaits() {
    static int waits = 0;
    return waits;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

class PartSender final : public QObject, public QAbstractNativeEventFilter {
public:
    PartSender(xcb_connection_t* connection, QObject* parent)
        : QObject(parent)
        , connection_(connection)
        , clipboard_(Atom(connection, "CLIPBOARD"))
        , incremental_(Atom(connection, "INCR"))
        , utf8String_(Atom(connection, "UTF8_STRING"))
        , utf8Text_(Atom(connection, "text/plain;charset=utf-8"))
        , part_(std::min<std::size_t>(kLargestPart,
                                      (xcb_get_maximum_request_length(connection) * 4 - 24) / 3)) {
        connect(&forgetGone_, &QTimer::timeout, this, [this] {
            // A reader that went away without a word: its window may be gone too, so it is
            // left as it is.
            std::erase_if(transfers_, [](const Transfer& t) { return t.patience.hasExpired(); });
            if (transfers_.empty())
                forgetGone_.stop();
        });
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        switch (event->response_type & 0x7F) {
        case XCB_SELECTION_REQUEST:
            return Start(*reinterpret_cast<const xcb_selection_request_event_t*>(event));
        case XCB_PROPERTY_NOTIFY:
            return Continue(*reinterpret_cast<const xcb_property_notify_event_t*>(event));
        case XCB_DESTROY_NOTIFY: {
            // The window's number may soon be another program's: no part may go there.
            const xcb_window_t gone =
                reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window;
            std::erase_if(transfers_, [gone](const Transfer& t) { return t.window == gone; });
            return false;
        }
        default:
            return false;
        }
    }

    // Readers still at it take the rest while the deadline allows; the others are told the text
    // has ended, since no part will follow.
    void Finish(QDeadlineTimer deadline) {
        // Each round sleeps until the reader's next request or the next tick: the deadline is
        // looked at often, and no core spins while a reader takes its time.
        QTimer tick;
        tick.start(20);
        while (!transfers_.empty() && !deadline.hasExpired()) {
            ++EndWaits();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::WaitForMoreEvents);
        }
        for (const Transfer& t : transfers_)
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, t.window, t.property, t.target,
                                8, 0, nullptr);
        transfers_.clear();
        xcb_flush(connection_);
    }

private:
    struct Transfer {
        xcb_window_t window;
        xcb_atom_t property;
        xcb_atom_t target;
        std::shared_ptr<const PartSource> parts;
        std::size_t at = 0;
        QDeadlineTimer patience{Patience().silentReader};
    };

    // Takes over a request for a large copy's UTF-8; everything else stays Qt's.
    bool Start(const xcb_selection_request_event_t& request) {
        // Old clients name no property: the target is the one to use.
        const xcb_atom_t property =
            request.property != XCB_ATOM_NONE ? request.property : request.target;
        // A reader that asks again into the same property has given up what it asked before,
        // whoever answers now; a part of that must not land in the new answer.
        std::erase_if(transfers_, [&](const Transfer& t) {
            return t.window == request.requestor && t.property == property;
        });
        if (request.target != utf8String_ && request.target != utf8Text_)
            return false;
        QClipboard::Mode mode = QClipboard::Clipboard;
        if (request.selection == XCB_ATOM_PRIMARY)
            mode = QClipboard::Selection;
        else if (request.selection != clipboard_)
            return false;
        const auto* copy =
            dynamic_cast<const PartedCopy*>(QGuiApplication::clipboard()->mimeData(mode));
        if (copy == nullptr)
            return false;
        std::shared_ptr<const PartSource> parts = copy->Parts();
        if (parts->Size() <= part_)
            return false;

        const std::uint32_t events =
            XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, request.requestor, XCB_CW_EVENT_MASK, &events);
        // At least this many bytes come: CR LF, the only thing that shrinks, halves at most.
        const auto atLeast =
            static_cast<std::uint32_t>(std::min<std::size_t>(parts->Size() / 2, UINT32_MAX));
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property,
                            incremental_, 32, 1, &atLeast);
        transfers_.push_back({request.requestor, property, request.target, std::move(parts)});
        // Checked often, so that a silent reader goes soon after its patience has run out.
        const auto interval = std::max<std::chrono::milliseconds>(Patience().silentReader / 5,
                                                                  std::chrono::milliseconds(1));
        if (!forgetGone_.isActive() || forgetGone_.intervalAsDuration() != interval)
            forgetGone_.start(interval);

        xcb_selection_notify_event_t answer{};
        answer.response_type = XCB_SELECTION_NOTIFY;
        answer.time = request.time;
        answer.requestor = request.requestor;
        answer.selection = request.selection;
        answer.target = request.target;
        answer.property = property;
        xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&answer));
        xcb_flush(connection_);
        return true;
    }

    // The reader took the last part (deleted the property): the next one, or an empty one that
    // says the text has ended.
    bool Continue(const xcb_property_notify_event_t& event) {
        const auto t = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& t) {
            return t.window == event.window && t.property == event.atom;
        });
        if (t == transfers_.end())
            return false;
        if (event.state != XCB_PROPERTY_DELETE)
            return true;
        const QByteArray part =
            t->at < t->parts->Size() ? t->parts->Utf8Part(t->at, part_) : QByteArray();
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, t->window, t->property, t->target,
                            8, static_cast<std::uint32_t>(part.size()), part.constData());
        if (part.isEmpty()) {
            const xcb_window_t window = t->window;
            transfers_.erase(t);
            // The window's events are still wanted while another transfer goes to it.
            if (std::none_of(transfers_.begin(), transfers_.end(),
                             [&](const Transfer& other) { return other.window == window; })) {
                const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
                xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &none);
            }
        } else {
            t->patience.setRemainingTime(Patience().silentReader);
        }
        xcb_flush(connection_);
        return true;
    }

    xcb_connection_t* connection_;
    xcb_atom_t clipboard_;
    xcb_atom_t incremental_;
    xcb_atom_t utf8String_;
    xcb_atom_t utf8Text_;
    std::size_t part_;
    std::vector<Transfer> transfers_;
    QTimer forgetGone_;
};

} // namespace

namespace {
QPointer<PartSender>& Sender() {
    static QPointer<PartSender> sender;
    return sender;
}
} // namespace

void SendLargeCopiesInParts() {
    QPointer<PartSender>& sender = Sender();
    if (sender != nullptr || qGuiApp == nullptr)
        return;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return;
    sender = new PartSender(x11->connection(), qGuiApp); // the application owns it
    qGuiApp->installNativeEventFilter(sender);
    // A reader part-way through a copy when the program ends: a few seconds to finish.
    QObject::connect(qGuiApp, &QCoreApplication::aboutToQuit, sender,
                     [] { FinishLargeCopies(Patience().atEnd); });
}

void FinishLargeCopies(std::chrono::milliseconds bound) {
    if (Sender() != nullptr)
        Sender()->Finish(QDeadlineTimer(bound));
}

void SetLargeCopyPatience(const LargeCopyPatience& patience) {
    Patience() = patience;
}

int LargeCopyEndWaits() {
    return EndWaits();
}

} // namespace skaldrun::ui
