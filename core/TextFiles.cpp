#include "core/TextFiles.h"

#include "core/Errors.h"
#include "core/platform/ReadFiles.h"
#include "core/platform/WriteFiles.h"

#include <algorithm>
#include <vector>

namespace skaldrun {

CrLfText ReadTextFile(const std::string& path, std::size_t capacity) {
    // Read and normalised a step at a time, into one buffer: the bytes are copied out of the
    // cache once, and a file with LF breaks is not held twice.
    CrLfText text;
    LineBreakNormalizer normalize(text, capacity);
    platform::ReadWholeFile(
        path, capacity,
        [&](std::size_t expected) {
            // Room for a lone break on every line of 16 bytes or more; more grows as needed.
            text.reserve(std::min(capacity, expected + expected / 16));
        },
        [&](std::string_view step) { normalize.Append(step); });
    normalize.Finish();
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
