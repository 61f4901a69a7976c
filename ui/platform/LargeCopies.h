#pragma once

#include <QByteArray>
#include <chrono>
#include <cstddef>
#include <memory>

namespace skaldrun::ui {

// A copy's text as a reader takes it a part at a time.
class PartSource {
public:
    virtual std::size_t Size() const noexcept = 0;
    // The UTF-8 of about `bytes` bytes from `at`, which moves past them; the parts, joined, are
    // the UTF-8 of the whole copy.
    virtual QByteArray Utf8Part(std::size_t& at, std::size_t bytes) const = 0;

protected:
    ~PartSource() = default;
};

// Clipboard data that may go in parts. Its parts are shared, so a reader that is still taking
// them gets the copy it asked for, whatever is copied meanwhile.
class PartedCopy {
public:
    virtual std::shared_ptr<const PartSource> Parts() const = 0;

protected:
    ~PartedCopy() = default;
};

// Where the clipboard is X11's, a copy larger than one part goes to each program that asks for
// its UTF-8 in parts made as they are sent (the protocol's incremental transfer), so that the
// text is never held whole a second time. Called before each copy, it sets itself up once per
// application; it does nothing on other platforms or where the program was built without XCB.
void SendLargeCopiesInParts();
// Lets readers still taking a large copy take the rest for up to `bound`, then ends what remains,
// so that none waits for parts that will never come. The application's end calls it.
void FinishLargeCopies(std::chrono::milliseconds bound);

// How long readers of large copies are waited for: the program keeps these, tests shorten them.
struct LargeCopyPatience {
    // A reader that has taken no part for this long has gone away, though its window is still
    // there; one still taking parts keeps its transfer however long it takes in all.
    std::chrono::milliseconds silentReader{60000};
    // At the program's end, for readers part-way through a copy.
    std::chrono::milliseconds atEnd{3000};
};
void SetLargeCopyPatience(const LargeCopyPatience& patience);
// How many times the ends so far have waited for a reader, a short round each.
int LargeCopyEndWaits();

} // namespace skaldrun::ui
