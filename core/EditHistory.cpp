#include "core/EditHistory.h"

namespace skaldrun {

void EditHistory::Record(EditStep step) {
    if (clean_ > done_ && clean_ != kNever)
        clean_ = kNever; // the clean text was among the steps undone, now gone for good
    steps_.resize(done_);
    EditStep* last = steps_.empty() ? nullptr : &steps_.back();
    if (typingGoesOn_ && step.typing && step.removed.empty() && last != nullptr && last->typing &&
        last->at + SizeOf(last->inserted) == step.at) {
        for (TextSpan& span : step.inserted) {
            TextSpan* tail = last->inserted.empty() ? nullptr : &last->inserted.back();
            if (tail != nullptr && tail->block == span.block &&
                tail->bytes.data() + tail->bytes.size() == span.bytes.data())
                tail->bytes =
                    std::string_view(tail->bytes.data(), tail->bytes.size() + span.bytes.size());
            else
                last->inserted.push_back(std::move(span));
        }
        return;
    }
    typingGoesOn_ = step.typing;
    steps_.push_back(std::move(step));
    ++done_;
}

const EditStep& EditHistory::Undo() {
    typingGoesOn_ = false;
    return steps_[--done_];
}

const EditStep& EditHistory::Redo() {
    typingGoesOn_ = false;
    return steps_[done_++];
}

void EditHistory::MarkClean() noexcept {
    clean_ = done_;
    typingGoesOn_ = false;
}

} // namespace skaldrun
