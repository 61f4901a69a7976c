#pragma once

#include "core/ConvertOptions.h"
#include "core/ViewText.h"

#include <string_view>

namespace skaldrun {

// Turns the entry lines of an extended M3U playlist into track-list lines appended to converted.
// Returns false, appending nothing, when line 0 is not the playlist header. A duration that is
// not a number throws EConvertError (with its line); the lines made before it stay in converted.
bool ConvertPlaylist(const TextLines& lines, const ConvertOptions& options, ViewText& converted);

// Where a streamed conversion goes: the list in pieces, in order.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void Write(std::string_view piece) = 0;
};

// The same conversion straight from a file's bytes as read, in one pass: lines end at CR LF,
// LF or a lone CR and the text at its first NUL, as if it had been normalised first. The list
// reaches sink through a fixed-size buffer; on an error the lines before it have reached it.
bool ConvertPlaylistBytes(std::string_view bytes, const ConvertOptions& options, TextSink& sink);

} // namespace skaldrun
