#pragma once

#include <cstddef>

namespace skaldrun {

class TextDocument;

// Puts a range of the converted document on the clipboard; the owner decides how its bytes
// become text, and the clipboard holds them for as long as it needs them.
class ClipboardService {
public:
    virtual ~ClipboardService() = default;
    virtual void CopyRange(const TextDocument& document, std::size_t from, std::size_t to) = 0;
};

} // namespace skaldrun
