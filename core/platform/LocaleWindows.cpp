#include "core/platform/Locale.h"

#include <windows.h>

namespace skaldrun::platform {

bool SystemTextIsUtf8() {
    return false;
}

std::string SystemCodePageName() {
    const UINT page = ::GetACP();
    return page == CP_UTF8 ? "UTF-8" : "windows-" + std::to_string(page);
}

} // namespace skaldrun::platform
