#pragma once

// The list of a loaded playlist in the shapes people publish, as the window exports it, made by
// the same shapes as the command's.

#include "core/Convert.h"
#include "core/ConvertOptions.h"

#include <string>
#include <string_view>

namespace skaldrun {

enum class ListFormat { List, Chapters, Csv, Html, Json };

// The count and the total length as the window words them: "13 треков, 0:00:49", with
// ", 2 без длительности" where some entries have no length.
std::string TotalText(const ListTotals& totals);

// A page's title for a playlist: its file's name without the folder and the extension.
std::string_view PlaylistTitle(std::string_view path) noexcept;

// Writes the list of a playlist's bytes (a PLS or an XSPF read as its M3U), decoded from a code
// page as UTF-8 (an XSPF decodes itself; Auto and UTF-8 keep the bytes), in a format to sink:
// the window's own list as the options make it; chapters, "0:00 Title"; CSV (number, title,
// length, start, path) after a byte-order mark, so that spreadsheets read it as UTF-8; a
// printable page titled name; a JSON array. Returns false where the bytes are no playlist; a
// length that is no number throws EConvertError.
bool ExportList(std::string_view playlist, CodePage page, ListFormat format,
                const ConvertOptions& options, std::string_view name, TextSink& sink);

} // namespace skaldrun
