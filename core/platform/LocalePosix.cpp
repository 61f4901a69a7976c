#include "core/platform/Locale.h"

#include <langinfo.h>
#include <string_view>

namespace skaldrun::platform {

bool SystemTextIsUtf8() {
    // A plain C or POSIX locale names no code page; Qt takes UTF-8 there, and so do we.
    const char* const name = nl_langinfo(CODESET);
    const std::string_view codeset = name != nullptr ? name : "";
    return codeset == "UTF-8" || codeset == "utf8" || codeset == "ANSI_X3.4-1968" ||
           codeset == "ASCII";
}

std::string SystemCodePageName() {
    const char* const name = nl_langinfo(CODESET);
    return name != nullptr ? name : "";
}

} // namespace skaldrun::platform
