#pragma once

#include "core/Errors.h"
#include "core/platform/FileSystem.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace skaldrun::platform {

// Reads a stream to its end into one buffer, mapped whole for the expected size first; a stream
// longer than expected keeps being read, up to the capacity. Each step is zero-filled just before
// it is read into, while it is still in the cache, rather than the whole buffer at once.
// read(destination, size) returns how many bytes it read, 0 at the end, and throws on failure.
template <typename Read>
std::string ReadToEnd(Read&& read, std::size_t expected, std::size_t capacity) {
    constexpr std::size_t kStep = 1024 * 1024;
    std::string buffer;
    buffer.reserve(expected < capacity ? expected + 1 : capacity + 1);
    MapForWriting(buffer.data(), buffer.capacity());
    for (;;) {
        const std::size_t total = buffer.size();
        if (total == buffer.capacity()) {
            if (total > capacity)
                ThrowTextExceedsCapacity();
            buffer.reserve(std::min(capacity + 1, std::max<std::size_t>(total * 2, 4096)));
        }
        buffer.resize(total + std::min(kStep, buffer.capacity() - total));
        const std::size_t n = read(buffer.data() + total, buffer.size() - total);
        buffer.resize(total + n);
        if (n == 0)
            break;
    }
    if (buffer.size() > capacity)
        ThrowTextExceedsCapacity();
    return buffer;
}

// Reads a stream to its end a step at a time through a buffer small enough to stay in the
// cache, handing each step on; more than capacity bytes fail as ReadToEnd's do.
template <typename Read>
void ReadSteps(Read&& read, std::size_t capacity,
               const std::function<void(std::string_view)>& step) {
    constexpr std::size_t kStep = 256 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kStep);
    std::size_t total = 0;
    for (std::size_t n = read(buffer.get(), kStep); n != 0; n = read(buffer.get(), kStep)) {
        total += n;
        if (total > capacity)
            ThrowTextExceedsCapacity();
        step(std::string_view(buffer.get(), n));
    }
}

} // namespace skaldrun::platform
