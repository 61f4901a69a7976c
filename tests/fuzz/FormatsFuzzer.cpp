// Any bytes read as a PLS (SKALDRUN_FUZZ_PLS) or an XSPF (after a '<', unless they open UTF-16):
// no crash, no runaway memory, and the same M3U, or the same refusal, whether they come whole or
// in pieces, and for a PLS whose keys come grouped, whether held or converted as it comes; what
// comes out is an M3U whose every line ends in CR LF and whose entries take two lines at most.
// PLS bytes that open with other lines (a MIME type, comments) are read as they are, any others
// after a "[playlist]" line.

#include "core/Errors.h"
#include "core/PlaylistFormats.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

struct Outcome {
    std::optional<std::string> m3u; // none: not a playlist
    std::size_t refusedAt = 0;      // the line of a refusal, counted from 1
    bool refused = false;
    bool operator==(const Outcome&) const = default;
};

Outcome Translate(std::string_view bytes, std::size_t piece,
                  skaldrun::PlsKeys keys = skaldrun::PlsKeys::AnyOrder) {
    Outcome outcome;
    std::string m3u;
    try {
        skaldrun::PlaylistTranslator translator([&m3u](std::string_view part) { m3u.append(part); },
                                                keys);
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            translator.Feed(bytes.substr(at, piece));
        if (translator.Finish())
            outcome.m3u = std::move(m3u);
    } catch (const skaldrun::EConvertError& e) {
        outcome.refused = true;
        outcome.refusedAt = e.Line();
    }
    return outcome;
}

void Check(bool holds) {
    if (!holds)
        std::abort();
}

#ifdef SKALDRUN_FUZZ_PLS
// Whether the bytes open a PLS by themselves, as their whole tells and as a probe fed them in
// pieces tells alike.
bool OpensPls(std::string_view bytes, std::size_t piece) {
    skaldrun::FormatProbe probe;
    std::optional<skaldrun::PlaylistFormat> told;
    for (std::size_t at = 0; at < bytes.size() && !told; at += piece) {
        std::string_view part = bytes.substr(at, piece);
        std::string held;
        told = probe.Feed(part, held);
    }
    Check(told == skaldrun::FormatOf(bytes));
    return told == skaldrun::PlaylistFormat::Pls;
}
#endif

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#ifdef SKALDRUN_FUZZ_PLS
    std::string bytes =
        OpensPls({reinterpret_cast<const char*>(data), size}, 1 + (size == 0 ? 0 : data[0] % 17))
            ? ""
            : "[playlist]\n";
#else
    // UTF-16 opened by its mark or by "\0<" comes as it is: a '<' before it would make it no XML.
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const bool utf16 = raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF") ||
                       raw.starts_with(std::string_view("\0<", 2));
    std::string bytes =
        utf16 && skaldrun::FormatOf(raw) == skaldrun::PlaylistFormat::Xspf ? "" : "<";
#endif
    bytes.append(reinterpret_cast<const char*>(data), size);
    const Outcome whole = Translate(bytes, bytes.size());
    const std::size_t piece = 1 + (size == 0 ? 0 : data[0] % 17);
    Check(Translate(bytes, piece) == whole);
#ifdef SKALDRUN_FUZZ_PLS
    skaldrun::PlsKeyCheck check;
    for (std::size_t at = 0; at < bytes.size() && check.Feed(bytes.substr(at, piece)); at += piece)
        ;
    if (check.Keys() == skaldrun::PlsKeys::Grouped)
        Check(Translate(bytes, piece, skaldrun::PlsKeys::Grouped) == whole);
#endif
    if (whole.m3u) {
        const std::string_view m3u = *whole.m3u;
        Check(m3u.substr(0, 9) == "#EXTM3U\r\n");
        for (std::size_t at = 0; at < m3u.size();) {
            const std::size_t end = m3u.find("\r\n", at);
            Check(end != std::string_view::npos);
            const std::string_view line = m3u.substr(at, end - at);
            Check(line.find_first_of("\r\n") == std::string_view::npos);
            at = end + 2;
        }
    }
    return 0;
}
