#pragma once

// Conversions of a playlist's bytes held whole, which the programs never do: they read a piece
// at a time. Tests compare the pieces' results with these.

#include "core/Convert.h"
#include "core/Errors.h"
#include "core/ListShapes.h"

#include <string_view>

namespace skaldrun::test {

inline bool ConvertPlaylistBytes(std::string_view bytes, const ConvertOptions& options,
                                 TextSink& sink) {
    StreamedConversion conversion(options, sink);
    conversion.Feed(bytes);
    return conversion.Finish();
}

inline bool ReadPlaylistEntries(std::string_view bytes, bool deleteDigits, EntrySink& sink) {
    StreamedEntries entries(deleteDigits, sink);
    entries.Feed(bytes);
    return entries.Finish();
}

// As the command makes a shape: a bad duration throws once the lines before it have gone out.
inline bool ConvertToShape(std::string_view bytes, bool deleteDigits, ShapedList& list) {
    bool isPlaylist = false;
    try {
        isPlaylist = ReadPlaylistEntries(bytes, deleteDigits, list);
    } catch (const EConvertError&) {
        list.Flush();
        throw;
    }
    if (isPlaylist)
        list.Finish();
    return isPlaylist;
}

} // namespace skaldrun::test
