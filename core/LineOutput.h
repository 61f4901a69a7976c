#pragma once

#include "core/Convert.h"
#include "core/LineBreaks.h"

#include <cstddef>
#include <memory>
#include <string>

namespace skaldrun {

// Gathers output lines in a fixed buffer and hands it to the sink whenever the next line might
// not fit; a line longer than the whole buffer goes through a buffer of its own. The list of a
// million entries thus costs no allocation per line, whatever its shape.
class LineOutput {
public:
    explicit LineOutput(TextSink& sink)
        : sink_(sink)
        , buffer_(std::make_unique_for_overwrite<char[]>(kSize)) {}
    LineOutput(const LineOutput&) = delete;
    LineOutput& operator=(const LineOutput&) = delete;

    // Room for a line of up to maxLength bytes and its break.
    char* Begin(std::size_t maxLength) {
        const std::size_t needed = maxLength + kLineBreak.size();
        if (kSize - used_ < needed)
            Flush();
        if (needed <= kSize)
            return buffer_.get() + used_;
        long_.resize(needed);
        return long_.data();
    }

    // Ends the line begun last, whose bytes end at end, with its break or without.
    void End(char* end, bool lineBreak = true) {
        if (lineBreak)
            end = WriteLineBreak(end);
        if (!long_.empty()) {
            sink_.Write({long_.data(), static_cast<std::size_t>(end - long_.data())});
            long_ = std::string();
            return;
        }
        used_ = static_cast<std::size_t>(end - buffer_.get());
    }

    void Flush() {
        if (used_ != 0)
            sink_.Write({buffer_.get(), used_});
        used_ = 0;
    }

private:
    static constexpr std::size_t kSize = 64 * 1024;
    TextSink& sink_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    std::string long_;
};

} // namespace skaldrun
