#pragma once

// The single-byte code pages legacy playlists are written in, and reading them as UTF-8.

#include "core/PlaylistFormats.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace skaldrun {

// Auto: UTF-8 where the bytes are UTF-8, otherwise the code page of the user's language.
enum class CodePage { Auto, Utf8, Windows1251, Windows1252, Koi8R, Cp866 };

inline constexpr char16_t kUndefinedCharacter = 0;
using UpperHalfTable = std::array<char16_t, 128>;

// The characters of a single-byte code page's upper half, 0x80..0xFF, kUndefinedCharacter where
// the page leaves a byte undefined; windows-1252's for any other page.
const UpperHalfTable& UpperHalf(CodePage page) noexcept;
bool IsSingleByte(CodePage page) noexcept;

// The page's name as people write it: "UTF-8", "windows-1251", "KOI8-R", "CP866"; "auto".
std::string_view CodePageName(CodePage page) noexcept;
// The page a name means, whatever its case: those names and their usual aliases (utf8, cp1251,
// koi8r, ibm866…); none for any other.
std::optional<CodePage> CodePageNamed(std::string_view name) noexcept;

// The upper half of the single-byte code page a document names, whatever its case: the pages
// above with their aliases, and ISO-8859-5; none for any other.
const UpperHalfTable* SingleByteTableNamed(std::string_view name) noexcept;

// Appends bytes written in a code page to out as UTF-8, a byte the page leaves undefined as
// U+FFFD; UTF-8 and Auto append the bytes as they are.
void AppendAsUtf8(std::string_view bytes, CodePage page, std::string& out);

// A playlist's bytes in pieces, passed on decoded from a code page as UTF-8, or for UTF-8 with
// U+FFFD for each byte that starts no character; a UTF-8 byte-order mark and an XSPF, which
// names its own encoding, pass as they are.
class PlaylistDecoder {
public:
    PlaylistDecoder(CodePage page, std::function<void(std::string_view)> out);
    void Feed(std::string_view piece);
    void Finish();

private:
    void PassAfterByteOrderMark(std::string_view piece);
    void Pass(std::string_view piece);
    void PassValidUtf8(std::string_view piece);

    CodePage page_;
    std::function<void(std::string_view)> out_;
    FormatProbe probe_;
    std::string decoded_;
    std::string carry_; // the start of a UTF-8 character the next piece ends
    bool decided_ = false;
};

} // namespace skaldrun
