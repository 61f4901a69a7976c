#include "core/TextFiles.h"

#include "core/Errors.h"
#include "core/PlaylistFormats.h"
#include "core/Utf8.h"
#include "core/platform/ReadFiles.h"
#include "core/platform/WriteFiles.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace skaldrun {

namespace {

// The byte order of an XML document in UTF-16, whose units a reading a byte at a time would cut
// at the first NUL; none for any other text.
std::optional<bool> Utf16XmlBigEndian(std::string_view start) {
    if (FormatOf(start) != PlaylistFormat::Xspf || start.size() < 2)
        return std::nullopt;
    if (start.starts_with("\xFE\xFF") || start[0] == '\0')
        return true;
    if (start.starts_with("\xFF\xFE") || start[1] == '\0')
        return false;
    return std::nullopt;
}

} // namespace

CrLfText ReadTextFile(const std::string& path, std::size_t capacity, std::string* utf16) {
    // Read and normalised a step at a time, into one buffer: the bytes are copied out of the
    // cache once, and a file with LF breaks is not held twice.
    CrLfText text;
    LineBreakNormalizer normalize(text, capacity);
    constexpr std::size_t kTelling = 4; // bytes that tell UTF-16 XML
    std::string start;                  // the first bytes, where a step brings fewer
    std::optional<bool> bigEndian;
    std::string units; // the file's bytes where it is UTF-16
    const auto take = [&](std::string_view step) {
        if (bigEndian)
            units.append(step);
        else
            normalize.Append(step);
    };
    platform::ReadWholeFile(
        path, capacity,
        [&](std::size_t expected) {
            // Room for a lone break on every line of 16 bytes or more; more grows as needed.
            text.reserve(std::min(capacity, expected + expected / 16));
        },
        [&](std::string_view step) {
            if (start.size() < kTelling) {
                if (start.empty() && step.size() >= kTelling) {
                    start.assign(step.substr(0, kTelling));
                } else {
                    start.append(step);
                    if (start.size() < kTelling)
                        return;
                    step = start;
                }
                bigEndian = Utf16XmlBigEndian(step);
            }
            take(step);
        });
    if (start.size() < kTelling) {
        bigEndian = Utf16XmlBigEndian(start);
        take(start);
    }
    if (bigEndian) {
        std::string shown;
        AppendUtf16AsUtf8(units, *bigEndian, shown);
        normalize.Append(shown);
    }
    normalize.Finish();
    if (utf16 != nullptr)
        *utf16 = std::move(units);
    return text;
}

void WriteTextFile(const std::string& path, std::string_view text) {
    platform::WriteWholeFile(path, text);
}

void SaveConvertedText(const std::string& chosenName, std::string_view text) {
    WriteTextFile(chosenName + ".txt", text);
}

void SaveConvertedText(const std::string& chosenName, const TextDocument& text) {
    std::vector<std::string_view> parts;
    const TextSpans spans = text.Spans(0, text.Size());
    parts.reserve(spans.size());
    for (const TextSpan& span : spans)
        parts.push_back(span.bytes);
    platform::WriteWholeFile(chosenName + ".txt", parts);
}

void IgnoreFileSizeSignal() noexcept {
    platform::IgnoreFileSizeSignal();
}

} // namespace skaldrun
