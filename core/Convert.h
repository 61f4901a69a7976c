#pragma once

#include "core/ConvertOptions.h"
#include "core/ViewText.h"

namespace skaldrun {

// Turns the entry lines of an extended M3U playlist into track-list lines appended to converted.
// Returns false, appending nothing, when line 0 is not the playlist header. A duration that is
// not a number throws EConvertError; the lines made before it stay in converted.
bool ConvertPlaylist(const TextLines& lines, const ConvertOptions& options, ViewText& converted);

} // namespace skaldrun
