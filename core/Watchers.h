#pragma once

#include <algorithm>
#include <vector>

namespace skaldrun {

// Those told of a change, as Qt's signals would tell them, without Qt. A watcher leaves before
// it goes; one may leave, or another come, while they are being told. A copy of the watched
// thing starts with no watchers.
template <class Watcher>
class WatcherList {
public:
    WatcherList() = default;
    WatcherList(const WatcherList&) noexcept {}
    WatcherList& operator=(const WatcherList&) noexcept { return *this; }

    void Add(Watcher& watcher) {
        if (std::find(list_.begin(), list_.end(), &watcher) == list_.end())
            list_.push_back(&watcher);
    }
    void Remove(Watcher& watcher) noexcept { std::erase(list_, &watcher); }

    template <class Tell>
    void TellAll(Tell tell) const {
        const std::vector<Watcher*> now = list_;
        for (Watcher* watcher : now) {
            if (std::find(list_.begin(), list_.end(), watcher) != list_.end())
                tell(*watcher);
        }
    }

private:
    std::vector<Watcher*> list_;
};

} // namespace skaldrun
