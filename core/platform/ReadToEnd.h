#pragma once

#include "core/Errors.h"
#include "core/platform/FileSystem.h"

#include <algorithm>
#include <cstddef>
#include <string>

namespace skaldrun::platform {

// Reads a stream to its end into one buffer: the expected size in one call and one more call to
// confirm the end; a stream longer than expected keeps being read, up to the capacity.
// read(destination, size) returns how many bytes it read, 0 at the end, and throws on failure.
template <typename Read>
std::string ReadToEnd(Read&& read, std::size_t expected, std::size_t capacity) {
    std::string buffer;
    buffer.reserve(expected < capacity ? expected + 1 : capacity + 1);
    buffer.resize(buffer.capacity());
    std::size_t total = 0;
    for (;;) {
        if (total == buffer.size()) {
            if (total > capacity)
                ThrowTextExceedsCapacity();
            buffer.resize(std::min(capacity + 1, std::max<std::size_t>(total * 2, 4096)));
        }
        const std::size_t n = read(buffer.data() + total, buffer.size() - total);
        if (n == 0)
            break;
        total += n;
    }
    if (total > capacity)
        ThrowTextExceedsCapacity();
    buffer.resize(total);
    return buffer;
}

} // namespace skaldrun::platform
