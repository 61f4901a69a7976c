#pragma once

// Reading files and streams through the system's calls; failures are the program's exceptions.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace skaldrun::platform {

// Reads a whole regular file a step at a time, for a reader that turns the bytes into its own
// buffer while they are in the cache: expect(size) first, with the file's size, then each step.
// Fails with EFOpenError (missing, not a regular file, unreadable) or, before reading anything,
// with EInvalidOperation when it holds more than capacity bytes. Pipes, FIFOs and devices are
// refused, since the window reads regular files only.
void ReadWholeFile(const std::string& path, std::size_t capacity,
                   const std::function<void(std::size_t)>& expect,
                   const std::function<void(std::string_view)>& step);

// Reads a playlist a piece at a time, as the command does, handing each piece on as it comes:
// a file, a pipe, a FIFO or a device, or standard input for "-"; memory holds one piece. Fails
// with EFOpenError: missing, a folder, unreadable.
void ReadPieces(const std::string& name, const std::function<void(std::string_view)>& piece);

// Reads a regular file a piece at a time until piece returns false, for a reader that looks
// ahead before the real read. Reads nothing and returns false where name is anything else (a
// pipe, a FIFO, a device, a folder, missing, unreadable), which the real read reports or whose
// bytes a second read would not see again.
bool ReadFileAhead(const std::string& name, const std::function<bool(std::string_view)>& piece);

} // namespace skaldrun::platform
