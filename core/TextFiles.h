#pragma once

#include "core/Convert.h"
#include "core/TextDocument.h"
#include "core/ViewText.h"
#include "core/platform/FileSystem.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace skaldrun {

// The most text a view holds: 256 MiB, far above any real playlist yet small enough that
// reading one never exhausts a desktop's memory.
inline constexpr std::size_t kViewCapacity = std::size_t{256} * 1024 * 1024;

// Reads a playlist file into a view text with uniform CR LF line breaks.
ViewText ReadTextFile(const std::string& path, std::size_t capacity = kViewCapacity);

// For the command: a named playlist of any kind that can be read to its end (a file, a pipe, a
// FIFO, a device), or standard input for "-", read a piece at a time with its bytes as read,
// each piece handed on as it comes. No capacity: memory holds one piece, whatever the size.
void ReadPlaylistPieces(const std::string& name,
                        const std::function<void(std::string_view)>& piece);

// Writes the text byte for byte under exactly the given name.
void WriteTextFile(const std::string& path, std::string_view text);

// The command's -o file, written as the list is made; it replaces the named file only at
// Commit, so a conversion that fails leaves the old one as it was.
class CommandOutputFile final : public TextSink {
public:
    explicit CommandOutputFile(const std::string& path)
        : file_(path, platform::FifoReader::IsWaitedFor) {}
    void Write(std::string_view piece) override { file_.Write(piece); }
    void Commit() { file_.Commit(); }

private:
    platform::OutputFile file_;
};

// Saves the converted view under the chosen name with ".txt" always appended.
void SaveConvertedText(const std::string& chosenName, std::string_view text);
// The same, piece by piece, without joining an edited text first.
void SaveConvertedText(const std::string& chosenName, const TextDocument& text);

// Writes all of text to standard output, byte for byte; fails with EWriteError.
void WriteStandardOutput(std::string_view text);

// A write over the process's file-size limit then fails as a write error instead of ending the
// process; called once at start-up.
void IgnoreFileSizeSignal() noexcept;

} // namespace skaldrun
