#pragma once

// What the controller and the windows ask of their owner: small interfaces, so that a caller
// that needs one of them does not take in the controller or a toolkit.

#include "core/Errors.h"

#include <exception>
#include <new>
#include <string_view>

namespace skaldrun {

// Shows a message and returns when the user has closed it.
class MessageService {
public:
    virtual ~MessageService() = default;
    virtual void ShowMessage(std::string_view text) = 0;
};

// Puts view bytes on the clipboard as plain text.
class ClipboardService {
public:
    virtual ~ClipboardService() = default;
    virtual void SetClipboardText(std::string_view text) = 0;
};

// What a state change touched; the owner refreshes only that.
enum StateChange : unsigned {
    SourceTextChanged = 1U << 0,
    ConvertedTextChanged = 1U << 1,
    SelectionChanged = 1U << 2,
    VisibleViewChanged = 1U << 3,
    ExportEnabledChanged = 1U << 4,
    SelectorChanged = 1U << 5,
    StatusChanged = 1U << 6,
    LoadedChanged = 1U << 7,
};

class StateObserver {
public:
    virtual ~StateObserver() = default;
    // Called after every change, before the controller goes on, also on the way to an error.
    virtual void StateChanged(unsigned changes) = 0;
};

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
