#pragma once

#include <string_view>

namespace skaldrun {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. Checked sixteen bytes
// at a time over ASCII and two-byte letters where the processor has SSE2.
bool IsValidUtf8(std::string_view bytes) noexcept;

} // namespace skaldrun
