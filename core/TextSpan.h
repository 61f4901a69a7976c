#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace skaldrun {

// A run of bytes that stays readable for as long as someone holds it: blocks are never changed
// once their bytes are in use, so a document, its history and a clipboard can share them.
struct TextSpan {
    std::shared_ptr<const std::string> block;
    std::string_view bytes;
};

using TextSpans = std::vector<TextSpan>;

inline std::size_t SizeOf(const TextSpans& spans) noexcept {
    std::size_t size = 0;
    for (const TextSpan& span : spans)
        size += span.bytes.size();
    return size;
}

} // namespace skaldrun
