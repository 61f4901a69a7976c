#pragma once

#include "core/Errors.h"

#include <exception>
#include <new>
#include <string_view>

namespace skaldrun {

// Receives every failure that escapes an event handler.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void Report(std::string_view message) = 0;
};

// Runs one handler so that no exception reaches the toolkit's frames: a failure ends the handler
// where it arose, and the reporter shows it.
template <typename Handler>
void Guarded(ErrorReporter& reporter, Handler&& handler) noexcept {
    try {
        try {
            handler();
        } catch (const Exception& e) {
            reporter.Report(e.Message());
        } catch (const std::bad_alloc&) {
            reporter.Report("Out of memory");
        } catch (const std::exception& e) {
            reporter.Report(e.what());
        } catch (...) {
            reporter.Report("Unknown error");
        }
    } catch (...) {
        // The reporter itself failed (no memory for the box): nothing sensible is left to do.
    }
}

} // namespace skaldrun
