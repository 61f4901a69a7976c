#include "core/CodePages.h"

#include "core/Utf8.h"

#include <algorithm>
#include <utility>

namespace skaldrun {

namespace {

constexpr char16_t kNone = kUndefinedCharacter;
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD

// Whether bytes, too few for a whole character, begin one that more bytes could complete.
bool StartsCharacter(std::string_view bytes) noexcept {
    if (bytes.empty() || bytes.size() > 3)
        return false;
    const auto lead = static_cast<unsigned char>(bytes.front());
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    return length > bytes.size() && std::all_of(bytes.begin() + 1, bytes.end(), [](char c) {
               return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
           });
}

// Made from the distribution's codec tables, and checked against iconv by the tests.
// windows-1251, 0x80..0xFF.
constexpr UpperHalfTable kWindows1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    kNone,  0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// windows-1252, 0x80..0xFF.
constexpr UpperHalfTable kWindows1252 = {
    0x20AC, kNone,  0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
    0x0152, kNone,  0x017D, kNone,  kNone,  0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, kNone,  0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3,
    0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB,
    0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3,
    0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

// KOI8-R, 0x80..0xFF.
constexpr UpperHalfTable kKoi8R = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524, 0x252C, 0x2534, 0x253C, 0x2580,
    0x2584, 0x2588, 0x258C, 0x2590, 0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7, 0x2550, 0x2551, 0x2552, 0x0451,
    0x2553, 0x2554, 0x2555, 0x2556, 0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565, 0x2566, 0x2567, 0x2568, 0x2569,
    0x256A, 0x256B, 0x256C, 0x00A9, 0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x044F, 0x0440, 0x0441,
    0x0442, 0x0443, 0x0436, 0x0432, 0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413, 0x0425, 0x0418, 0x0419, 0x041A,
    0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,
};

// CP866, 0x80..0xFF.
constexpr UpperHalfTable kCp866 = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

char Lower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

void AppendCharacter(char16_t u, std::string& out) {
    if (u < 0x80) {
        out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (u >> 6)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (u >> 12)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
}

} // namespace

const UpperHalfTable& UpperHalf(CodePage page) noexcept {
    switch (page) {
    case CodePage::Windows1251:
        return kWindows1251;
    case CodePage::Koi8R:
        return kKoi8R;
    case CodePage::Cp866:
        return kCp866;
    default:
        return kWindows1252;
    }
}

bool IsSingleByte(CodePage page) noexcept {
    return page != CodePage::Auto && page != CodePage::Utf8;
}

std::string_view CodePageName(CodePage page) noexcept {
    switch (page) {
    case CodePage::Auto:
        return "auto";
    case CodePage::Utf8:
        return "UTF-8";
    case CodePage::Windows1251:
        return "windows-1251";
    case CodePage::Windows1252:
        return "windows-1252";
    case CodePage::Koi8R:
        return "KOI8-R";
    case CodePage::Cp866:
        return "CP866";
    }
    return {};
}

std::optional<CodePage> CodePageNamed(std::string_view name) noexcept {
    static constexpr std::pair<std::string_view, CodePage> kNames[] = {
        {"utf-8", CodePage::Utf8},
        {"utf8", CodePage::Utf8},
        {"windows-1251", CodePage::Windows1251},
        {"cp1251", CodePage::Windows1251},
        {"windows-1252", CodePage::Windows1252},
        {"cp1252", CodePage::Windows1252},
        {"koi8-r", CodePage::Koi8R},
        {"koi8r", CodePage::Koi8R},
        {"cp866", CodePage::Cp866},
        {"ibm866", CodePage::Cp866},
    };
    for (const auto& [known, page] : kNames)
        if (SameName(name, known))
            return page;
    return std::nullopt;
}

void AppendAsUtf8(std::string_view bytes, CodePage page, std::string& out) {
    if (!IsSingleByte(page)) {
        out.append(bytes);
        return;
    }
    const UpperHalfTable& table = UpperHalf(page);
    out.reserve(out.size() + bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out.push_back(c);
        else
            AppendCharacter(table[b - 0x80] == kNone ? u'\uFFFD' : table[b - 0x80], out);
    }
}

PlaylistDecoder::PlaylistDecoder(CodePage page, std::function<void(std::string_view)> out)
    : page_(page)
    , out_(std::move(out)) {}

void PlaylistDecoder::Feed(std::string_view piece) {
    if (decided_) {
        Pass(piece);
        return;
    }
    std::string held;
    const std::optional<PlaylistFormat> format = probe_.Feed(piece, held);
    if (!format)
        return;
    decided_ = true;
    if (*format == PlaylistFormat::Xspf)
        page_ = CodePage::Auto; // as it is: XML decodes itself
    PassAfterByteOrderMark(piece);
}

void PlaylistDecoder::Finish() {
    if (const std::string rest = probe_.Rest(); !rest.empty())
        PassAfterByteOrderMark(rest);
    if (!carry_.empty()) { // a character cut short by the end: none
        decoded_.clear();
        for (std::size_t i = 0; i < carry_.size(); ++i)
            decoded_.append(kReplacementCharacter);
        carry_.clear();
        out_(decoded_);
    }
}

// A UTF-8 byte-order mark says how the text is written, whatever page was named: decoded from
// that page it would become letters before "#EXTM3U".
void PlaylistDecoder::PassAfterByteOrderMark(std::string_view piece) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (piece.starts_with(kByteOrderMark)) {
        out_(kByteOrderMark);
        piece.remove_prefix(kByteOrderMark.size());
    }
    Pass(piece);
}

void PlaylistDecoder::Pass(std::string_view piece) {
    if (page_ == CodePage::Utf8) {
        PassValidUtf8(piece);
        return;
    }
    if (!IsSingleByte(page_)) {
        out_(piece);
        return;
    }
    decoded_.clear();
    AppendAsUtf8(piece, page_, decoded_);
    out_(decoded_);
}

// UTF-8 named: a byte that starts no character becomes U+FFFD, so that every shape written
// from it is UTF-8. A character cut by a piece's end waits for the rest.
void PlaylistDecoder::PassValidUtf8(std::string_view piece) {
    if (carry_.empty() && IsValidUtf8(piece)) {
        out_(piece);
        return;
    }
    if (!carry_.empty()) {
        carry_.append(piece);
        piece = decoded_ = std::exchange(carry_, {});
    }
    std::string valid;
    valid.reserve(piece.size() + 16);
    while (!piece.empty()) {
        if (const std::size_t length = Utf8SequenceLength(piece); length != 0) {
            valid.append(piece.substr(0, length));
            piece.remove_prefix(length);
        } else if (StartsCharacter(piece)) {
            carry_.assign(piece);
            break;
        } else {
            valid.append(kReplacementCharacter);
            piece.remove_prefix(1);
        }
    }
    decoded_ = std::move(valid);
    out_(decoded_);
}

} // namespace skaldrun
