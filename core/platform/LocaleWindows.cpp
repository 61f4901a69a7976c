#include "core/platform/Locale.h"

namespace skaldrun::platform {

bool SystemTextIsUtf8() {
    return false;
}

} // namespace skaldrun::platform
