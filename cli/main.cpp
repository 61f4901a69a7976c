// skaldrun-convert: the converter without a window, for scripts and batch use.

#include "core/Convert.h"
#include "core/Errors.h"
#include "core/PlaylistController.h"
#include "core/TextFiles.h"
#include "core/Version.h"
#include "core/platform/FileSystem.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace skaldrun;

constexpr std::string_view kName = "skaldrun-convert";
constexpr int kExitError = 1;
constexpr int kExitNotAPlaylist = 2;
constexpr int kExitUsage = 64;

constexpr std::string_view kUsage =
    "usage: skaldrun-convert [--no-counter] [--no-time] [--keep-digits] [-o FILE] PLAYLIST\n"
    "\n"
    "Converts an extended M3U playlist into a numbered track list with durations.\n"
    "PLAYLIST may be - for standard input. The list goes to standard output, or to FILE.\n"
    "\n"
    "  --no-counter   leave out the track numbers\n"
    "  --no-time      leave out the durations\n"
    "  --keep-digits  keep leading track numbers in the titles\n"
    "  -o FILE        write the list to FILE instead of standard output\n"
    "  --help         show this help\n"
    "  --version      show the version\n";

struct Arguments {
    ConvertOptions options;
    std::optional<std::string> output;
    std::string playlist;
};

void Print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

void PrintError(std::string_view message) {
    std::string line(kName);
    line.append(": ").append(message).push_back('\n');
    Print(stderr, line);
}

// Returns the exit code when the arguments ask for no conversion.
std::optional<int> ParseArguments(int argc, char** argv, Arguments& args) {
    bool havePlaylist = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnded && arg == "--help") {
            Print(stdout, kUsage);
            return 0;
        }
        if (!optionsEnded && arg == "--version") {
            Print(stdout, std::string(kName) + " " + std::string(kVersionText) + "\n");
            return 0;
        }
        if (!optionsEnded && arg == "--no-counter") {
            args.options.CounterShow = false;
        } else if (!optionsEnded && arg == "--no-time") {
            args.options.TimeShow = false;
        } else if (!optionsEnded && arg == "--keep-digits") {
            args.options.DeleteDigits = false;
        } else if (!optionsEnded && arg == "-o") {
            if (i + 1 >= argc || args.output)
                return kExitUsage;
            args.output = argv[++i];
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return kExitUsage;
        } else {
            if (havePlaylist)
                return kExitUsage;
            args.playlist = arg;
            havePlaylist = true;
        }
    }
    if (!havePlaylist)
        return kExitUsage;
    return std::nullopt;
}

int Run(const Arguments& args) {
    const ViewText source = args.playlist == "-" ? ReadTextStream() : ReadTextFile(args.playlist);
    ViewText converted;
    ReserveViewText(converted, source.size());
    if (!ConvertPlaylist(SplitLines(source), args.options, converted)) {
        PrintError(kNotAPlaylistMessage);
        return kExitNotAPlaylist;
    }
    if (args.output)
        WriteTextFile(*args.output, converted);
    else
        platform::WriteStandardOutput(converted);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    platform::IgnoreFileSizeSignal();
    Arguments args;
    if (const auto code = ParseArguments(argc, argv, args)) {
        if (*code == kExitUsage)
            Print(stderr, kUsage);
        return *code;
    }
    try {
        return Run(args);
    } catch (const skaldrun::Exception& e) {
        PrintError(ErrorBoxText(e.Message()));
    } catch (const std::bad_alloc&) {
        PrintError("Out of memory");
    }
    return kExitError;
}
