#pragma once

#include <cstddef>

namespace skaldrun::platform {

// Maps the pages of a large buffer about to be written in one call, instead of one fault per
// page as the writing reaches it. Only a hint: nothing happens where the system cannot.
void MapForWriting(char* data, std::size_t size) noexcept;

} // namespace skaldrun::platform
