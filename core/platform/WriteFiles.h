#pragma once

// Writing files and standard output through the system's calls; failures are the program's
// exceptions.

#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace skaldrun::platform {

// A file's whole new content, written as it is made into a copy on disk: beside the file, or
// where its folder takes none, in the temporary folder; only where no disk takes one, in memory,
// up to what a view holds (past that, ECopyTooLarge). Until Commit the named file is untouched,
// so an output dropped without it leaves the old file as it was. At Commit the copy is synced
// first. A regular file that only its bytes would tell from the copy beside it (one link, its
// owner and group, the extended attributes and ACLs this process can list, a folder that takes
// the rename) is replaced by the copy in one step, and the folder synced; a process that cannot
// list trusted.* attributes does so only for its own files, whose trusted ones are lost. Any
// other is written in place from the copy after its new length is reserved, and synced, while
// the copy keeps a name (.NAME.XXXXXX beside it or in the temporary folder): a kill or a power
// cut at any moment leaves the file whole, old or new, or the whole new list in that copy, which
// an EWriteError names where the write fails once begun. A list held in memory has no such copy.
// A symbolic link stays and its file is written. Fails with EFCreateError when the file cannot
// be created or is not writable (also read-only by its mode, for root too) and EWriteError,
// carrying the system's reason, when not all was written; a full disk or a size limit leaves an
// existing file's bytes as they were. A FIFO or a device gets the bytes as they come. A FIFO
// without a reader: the window refuses it rather than freeze; a command waits for the reader, as
// cp and the shell's ">" do.
enum class FifoReader { MustBeThere, IsWaitedFor };

class OutputFile {
public:
    explicit OutputFile(std::string path, FifoReader reader = FifoReader::MustBeThere);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // The file is opened at the first write; what cannot be opened or created fails then.
    void Write(std::string_view data);
    void Commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The same for a text held whole, which may come in parts, written one after another.
void WriteWholeFile(const std::string& path, std::span<const std::string_view> data,
                    FifoReader reader = FifoReader::MustBeThere);
inline void WriteWholeFile(const std::string& path, std::string_view data,
                           FifoReader reader = FifoReader::MustBeThere) {
    WriteWholeFile(path, std::span(&data, 1), reader);
}

// A write over the process's file-size limit then fails as a write error instead of ending the
// process.
void IgnoreFileSizeSignal() noexcept;

// Writes all of data to standard output, byte for byte; fails with EWriteError.
void WriteStandardOutput(std::string_view data);

} // namespace skaldrun::platform
