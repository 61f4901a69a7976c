#pragma once

#include "core/CodePages.h"

namespace skaldrun {

// Held once for the run and never stored: every start begins with all five on.
struct ConvertOptions {
    bool CounterShow = true;
    bool TimeShow = true;
    bool DeleteDigits = true;
    bool AutoOpen = true;
    bool AutoCopy = true;
    // The code page the views read the playlist in and exports decode it from.
    CodePage Encoding = CodePage::Auto;

    friend bool operator==(const ConvertOptions&, const ConvertOptions&) = default;
};

} // namespace skaldrun
