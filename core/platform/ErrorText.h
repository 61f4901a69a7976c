#pragma once

// What a file error says that only the system knows: the file's full name and the reason.

#include <string>
#include <string_view>

namespace skaldrun::platform {

// The name made absolute without touching the disk: joined to the current folder, with "."
// and ".." resolved lexically.
std::string FullPathName(std::string_view path);

// The system's text for an error code, without trailing blanks, control characters and periods.
std::string ErrorText(int code);

} // namespace skaldrun::platform
