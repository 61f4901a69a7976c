#pragma once

namespace skaldrun {

// Held once for the run and never stored: every start begins with all five on.
struct ConvertOptions {
    bool CounterShow = true;
    bool TimeShow = true;
    bool DeleteDigits = true;
    bool AutoOpen = true;
    bool AutoCopy = true;

    friend bool operator==(const ConvertOptions&, const ConvertOptions&) = default;
};

} // namespace skaldrun
