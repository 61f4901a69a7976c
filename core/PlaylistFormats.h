#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace skaldrun {

// The other formats players write their lists in, read as the extended M3U they amount to, so
// that every shape and parameter of the list works for them unchanged. Which format a playlist
// is in is told by its first bytes, never by its name: "[playlist]" opens a PLS (after a MIME
// type line or comments, within the first 4 KiB), an XML document an XSPF; anything else, and
// at once a first line "#EXTM3U", goes on as it is.
enum class PlaylistFormat { M3u, Pls, Xspf };

// The format of a playlist that starts with these bytes; none while they are too few to tell
// (only blanks and a byte-order mark so far, or less than 4 KiB with no "[playlist]" line).
std::optional<PlaylistFormat> FormatOf(std::string_view start);

// The first bytes of a playlist that comes in pieces, held only while they cannot tell its
// format, which 4 KiB always can but for blanks alone: a whole text in one piece is copied only
// when shorter than that.
class FormatProbe {
public:
    // The format once known, with piece then holding every byte so far (in held where some
    // were held before); none while the bytes cannot tell yet.
    std::optional<PlaylistFormat> Feed(std::string_view& piece, std::string& held);
    // The bytes held when no more come: too few to tell.
    std::string Rest() { return std::move(start_); }

private:
    std::string start_;
    std::size_t searched_ = 0; // how far the bytes held were searched for "[playlist]"
};

// How a PLS's keys come: grouped by entry in ascending numbers (File1, Title1, Length1, File2…),
// as writers write them, or in any order, which only the whole text can settle.
enum class PlsKeys { AnyOrder, Grouped };

// Reads a playlist's bytes ahead of its conversion, for a source that can be read again, to
// tell whether its PLS keys come grouped. Feed returns false once that is known: the bytes are
// no PLS, or a key came out of order.
class PlsKeyCheck {
public:
    PlsKeyCheck();
    ~PlsKeyCheck();
    PlsKeyCheck(const PlsKeyCheck&) = delete;
    PlsKeyCheck& operator=(const PlsKeyCheck&) = delete;

    bool Feed(std::string_view piece);
    // After the last piece, or once Feed returned false: Grouped only for a PLS whose keys all
    // came grouped.
    PlsKeys Keys();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Bytes of a playlist in pieces, passed on as the M3U they amount to: an M3U unchanged, piece
// for piece; a PLS once all of it is read, its entries in the order of their numbers; an XSPF
// track by track, as it is parsed; a PLS whose keys come grouped, entry by entry. A PLS length
// that is no number, an XSPF duration too long, and XML that is not well-formed, throw
// EConvertError with their line. Finish returns false where the bytes are an XML document but no
// XSPF playlist.
class PlaylistTranslator {
public:
    // Grouped promises that the PLS's keys come grouped, as a PlsKeyCheck of the same bytes
    // found; a key out of order then fails with EPlaylistError (the bytes changed meanwhile).
    explicit PlaylistTranslator(std::function<void(std::string_view)> out,
                                PlsKeys keys = PlsKeys::AnyOrder);
    ~PlaylistTranslator();
    PlaylistTranslator(const PlaylistTranslator&) = delete;
    PlaylistTranslator& operator=(const PlaylistTranslator&) = delete;

    void Feed(std::string_view piece);
    bool Finish();

    // What reads one format.
    struct Reader;

private:
    std::function<void(std::string_view)> out_;
    FormatProbe probe_;
    std::unique_ptr<Reader> reader_;
    PlsKeys keys_;
    bool passThrough_ = false;
};

// A whole playlist as M3U: the text itself where it is one. Empty where it is an XML document
// but no XSPF playlist.
std::string AsM3u(std::string_view playlist);

} // namespace skaldrun
