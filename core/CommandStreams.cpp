#include "core/CommandStreams.h"

#include "core/platform/ReadFiles.h"

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

void WriteStandardOutput(std::string_view text) {
    platform::WriteStandardOutput(text);
}

} // namespace skaldrun
