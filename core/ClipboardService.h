#pragma once

#include <string_view>

namespace skaldrun {

// Puts a part of the converted view on the clipboard: the bytes are the view's, and the owner
// decides how they become text.
class ClipboardService {
public:
    virtual ~ClipboardService() = default;
    virtual void SetClipboardText(std::string_view text) = 0;
};

} // namespace skaldrun
