#pragma once

namespace skaldrun::platform {

// Whether the system's locale reads and writes text as UTF-8. Never on Windows, which shows
// every text in its ANSI code page.
bool SystemTextIsUtf8();

} // namespace skaldrun::platform
