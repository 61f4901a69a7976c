#include "ui/platform/LargeCopies.h"

namespace skaldrun::ui {

// Built without XCB: copies go whole, as Qt sends them.
void SendLargeCopiesInParts() {}
void FinishLargeCopies(std::chrono::milliseconds) {}
void SetLargeCopyPatience(const LargeCopyPatience&) {}
int LargeCopyEndWaits() {
    return 0;
}

} // namespace skaldrun::ui
