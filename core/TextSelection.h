#pragma once

#include "core/Watchers.h"

#include <algorithm>
#include <cstddef>

namespace skaldrun {

// A selection in bytes: from the anchor, where it was started, to the caret. Empty, it is the
// caret alone.
struct TextSelection {
    std::size_t anchor = 0;
    std::size_t caret = 0;

    std::size_t Start() const noexcept { return std::min(anchor, caret); }
    std::size_t End() const noexcept { return std::max(anchor, caret); }
    bool Empty() const noexcept { return anchor == caret; }
    friend bool operator==(const TextSelection&, const TextSelection&) = default;
};

// The one place a document's selection is held: shared by the view that shows it and whoever
// acts on it, as Qt's item views share a selection model, so nobody copies it back and forth.
class SelectionModel {
public:
    class Watcher {
    public:
        virtual void SelectionMoved() = 0;

    protected:
        ~Watcher() = default;
    };

    const TextSelection& Get() const noexcept { return selection_; }
    void Set(TextSelection selection) {
        if (selection == selection_)
            return;
        selection_ = selection;
        watchers_.TellAll([](Watcher& watcher) { watcher.SelectionMoved(); });
    }

    void Watch(Watcher& watcher) { watchers_.Add(watcher); }
    void Unwatch(Watcher& watcher) noexcept { watchers_.Remove(watcher); }

private:
    TextSelection selection_;
    WatcherList<Watcher> watchers_;
};

} // namespace skaldrun
