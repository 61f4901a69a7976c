#pragma once

#include "core/TextSpan.h"

#include <cstddef>
#include <vector>

namespace skaldrun {

// One change: at was holding removed, now holds inserted. Both keep their bytes as spans, so
// undoing the deletion of a whole list copies nothing.
struct EditStep {
    std::size_t at = 0;
    TextSpans removed;
    TextSpans inserted;
    bool typing = false;
};

// The steps that can be undone and redone. Typing goes into one step while it goes on at the
// place where the last typed character ended; anything else, undo, redo and marking the text
// clean start a new one.
class EditHistory {
public:
    void Record(EditStep step);
    bool CanUndo() const noexcept { return done_ > 0; }
    bool CanRedo() const noexcept { return done_ < steps_.size(); }
    // The step to reverse, now counted as undone.
    const EditStep& Undo();
    // The step to apply again, now counted as done.
    const EditStep& Redo();

    // Modified: the text differs from the last one marked clean by the steps between them.
    void MarkClean() noexcept;
    bool IsModified() const noexcept { return done_ != clean_; }

private:
    static constexpr std::size_t kNever = static_cast<std::size_t>(-1);

    std::vector<EditStep> steps_;
    std::size_t done_ = 0;
    std::size_t clean_ = 0;
    bool typingGoesOn_ = false;
};

} // namespace skaldrun
