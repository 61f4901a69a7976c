#pragma once

#include "core/ErrorReporter.h"

namespace skaldrun::app {

// Shows a failure as the desktop's stop box: the text with the closing period, captioned with
// the application title, one OK button.
class MessageBoxErrorReporter final : public ErrorReporter {
public:
    void Report(std::string_view message) override;
};

} // namespace skaldrun::app
