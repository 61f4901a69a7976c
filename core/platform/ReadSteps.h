#pragma once

#include "core/Errors.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

namespace skaldrun::platform {

// Reads a stream to its end a step at a time through a buffer small enough to stay in the
// cache, handing each step on; more than capacity bytes fail with EInvalidOperation.
// read(destination, size) returns how many bytes it read, 0 at the end, and throws on failure.
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
