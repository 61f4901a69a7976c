#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace skaldrun {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. Checked sixteen bytes
// at a time over ASCII and two-byte letters where the processor has SSE2.
bool IsValidUtf8(std::string_view bytes) noexcept;

// The length of the strict UTF-8 character that bytes start with; 0 where they start with none.
std::size_t Utf8SequenceLength(std::string_view bytes) noexcept;

// The UTF-16 units valid UTF-8 decodes to: one for each character, two for each above U+FFFF.
// Counted sixteen bytes at a time where the processor has SSE2.
std::size_t Utf16Length(std::string_view utf8) noexcept;

// Appends UTF-16 text, its units in the given byte order, as UTF-8: a surrogate without its
// pair, and an odd last byte, as U+FFFD.
void AppendUtf16AsUtf8(std::string_view bytes, bool bigEndian, std::string& out);

} // namespace skaldrun
