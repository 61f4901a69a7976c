#pragma once

#include <string>

namespace skaldrun::platform {

// Whether the system's locale reads and writes text as UTF-8. Never on Windows, which shows
// every text in its ANSI code page.
bool SystemTextIsUtf8();

// The name people know the system's code page by: "windows-1251" for the ANSI code page of a
// Russian Windows, the locale's code set elsewhere.
std::string SystemCodePageName();

} // namespace skaldrun::platform
