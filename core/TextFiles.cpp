#include "core/TextFiles.h"

#include "core/platform/FileSystem.h"

namespace skaldrun {

ViewText ReadTextFile(const std::string& path, std::size_t capacity) {
    ViewText text = platform::ReadWholeFile(path, capacity);
    NormalizeLineBreaks(text, capacity);
    return text;
}

ViewText ReadTextStream(std::size_t capacity) {
    ViewText text = platform::ReadStandardInput(capacity);
    NormalizeLineBreaks(text, capacity);
    return text;
}

void ReserveViewText(ViewText& text, std::size_t size) {
    text.reserve(size);
    platform::AdviseLargeBuffer(text);
}

void WriteTextFile(const std::string& path, std::string_view text) {
    platform::WriteWholeFile(path, text);
}

void SaveConvertedText(const std::string& chosenName, std::string_view text) {
    WriteTextFile(chosenName + ".txt", text);
}

} // namespace skaldrun
