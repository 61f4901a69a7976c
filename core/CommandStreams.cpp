#include "core/CommandStreams.h"

#include "core/platform/ReadFiles.h"

#include <cstring>

namespace skaldrun {

void ReadPlaylistPieces(const std::string& name,
                        const std::function<void(std::string_view)>& piece) {
    platform::ReadPieces(name, piece);
}

PlsKeys PlsKeysOf(const std::string& name) {
    PlsKeyCheck check;
    if (!platform::ReadFileAhead(name,
                                 [&check](std::string_view piece) { return check.Feed(piece); }))
        return PlsKeys::AnyOrder;
    return check.Keys();
}

void LfLines::Write(std::string_view piece) {
    buffer_.clear();
    if (pendingCr_ && !piece.empty()) {
        pendingCr_ = false;
        if (piece.front() != '\n')
            buffer_.push_back('\r');
    }
    for (;;) {
        const auto* cr = static_cast<const char*>(std::memchr(piece.data(), '\r', piece.size()));
        if (cr == nullptr) {
            buffer_.append(piece);
            break;
        }
        const auto at = static_cast<std::size_t>(cr - piece.data());
        buffer_.append(piece.substr(0, at));
        if (at + 1 == piece.size()) {
            pendingCr_ = true; // its LF, if any, opens the next piece
            break;
        }
        if (piece[at + 1] != '\n')
            buffer_.push_back('\r');
        piece.remove_prefix(at + 1);
    }
    if (!buffer_.empty())
        sink_.Write(buffer_);
}

void LfLines::Finish() {
    if (pendingCr_)
        sink_.Write("\r");
    pendingCr_ = false;
}

void WriteStandardOutput(std::string_view text) {
    platform::WriteStandardOutput(text);
}

} // namespace skaldrun
