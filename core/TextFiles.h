#pragma once

// The window's files: a playlist read whole into a view, a list saved whole.

#include "core/Convert.h"
#include "core/LineBreaks.h"
#include "core/TextDocument.h"
#include "core/platform/WriteFiles.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace skaldrun {

// The most text a view holds: 256 MiB, far above any real playlist yet small enough that
// reading one never exhausts a desktop's memory.
inline constexpr std::size_t kViewCapacity = std::size_t{256} * 1024 * 1024;

// Reads a playlist file whole, its line breaks made CR LF. An XML document in UTF-16 is read as
// UTF-8 text, and utf16, where given, receives its own bytes for the XML reader; it is emptied
// for any other file.
CrLfText ReadTextFile(const std::string& path, std::size_t capacity = kViewCapacity,
                      std::string* utf16 = nullptr);

// Writes the text byte for byte under exactly the given name.
void WriteTextFile(const std::string& path, std::string_view text);

// Saves the converted view under the chosen name with ".txt" always appended.
void SaveConvertedText(const std::string& chosenName, std::string_view text);
// The same, piece by piece, without joining an edited text first.
void SaveConvertedText(const std::string& chosenName, const TextDocument& text);

// A write over the process's file-size limit then fails as a write error instead of ending the
// process; called once at start-up.
void IgnoreFileSizeSignal() noexcept;

// A file written as a list is made; it replaces the named file only at Commit, so a list that
// fails leaves the old one as it was.
class FileTextSink : public TextSink {
public:
    explicit FileTextSink(const std::string& path,
                          platform::FifoReader reader = platform::FifoReader::MustBeThere)
        : file_(path, reader) {}
    void Write(std::string_view piece) override { file_.Write(piece); }
    void Commit() { file_.Commit(); }

private:
    platform::OutputFile file_;
};

} // namespace skaldrun
