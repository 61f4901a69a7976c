#include "core/CommandStreams.h"

#include "core/platform/ReadFiles.h"

namespace skaldrun {

void ReadPlaylistPieces(const std::string& name,
                        const std::function<void(std::string_view)>& piece) {
    platform::ReadPieces(name, piece);
}

void WriteStandardOutput(std::string_view text) {
    platform::WriteStandardOutput(text);
}

} // namespace skaldrun
