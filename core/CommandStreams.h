#pragma once

// What the command reads and writes: a playlist of any kind a piece at a time, and the list as it
// is made.

#include "core/Convert.h"
#include "core/PlaylistFormats.h"
#include "core/TextFiles.h"
#include "core/platform/WriteFiles.h"

#include <functional>
#include <string>
#include <string_view>

namespace skaldrun {

// A named playlist of any kind that can be read to its end (a file, a pipe, a FIFO, a device), or
// standard input for "-", read a piece at a time with its bytes as read, each piece handed on as
// it comes. No capacity: memory holds one piece, whatever the size.
void ReadPlaylistPieces(const std::string& name,
                        const std::function<void(std::string_view)>& piece);

// How the keys of a PLS come, read through once first where name is a regular file, so that
// grouped keys can then be converted as they are read; AnyOrder for anything else, whose bytes
// are held until the last.
PlsKeys PlsKeysOf(const std::string& name);

// The command's -o file, written as the list is made; it replaces the named file only at
// Commit, so a conversion that fails leaves the old one as it was.
class CommandOutputFile final : public FileTextSink {
public:
    explicit CommandOutputFile(const std::string& path)
        : FileTextSink(path, platform::FifoReader::IsWaitedFor) {}
};

// The list with LF line breaks, for the systems whose tools expect them: each CR LF the list was
// made with becomes LF, a CR of the list's own text stays. Gathered in a buffer a piece at a
// time, so that the sink still gets large pieces. Finish after the last piece.
class LfLines final : public TextSink {
public:
    explicit LfLines(TextSink& sink)
        : sink_(sink) {}
    void Write(std::string_view piece) override;
    void Finish();

private:
    TextSink& sink_;
    std::string buffer_;
    bool pendingCr_ = false; // the last piece ended in a CR
};

// Writes all of text to standard output, byte for byte; fails with EWriteError.
void WriteStandardOutput(std::string_view text);

} // namespace skaldrun
