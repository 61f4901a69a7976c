// skaldrun-convert: the converter without a window, for scripts and batch use.

#include "core/CodePages.h"
#include "core/CommandStreams.h"
#include "core/Convert.h"
#include "core/Errors.h"
#include "core/ListExport.h"
#include "core/ListShapes.h"
#include "core/PlaylistFormats.h"
#include "core/TextFiles.h"
#include "core/Version.h"

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <getopt.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#ifdef SKALDRUN_HAVE_GETTEXT
#include <libintl.h>
#endif

namespace {

using namespace skaldrun;

constexpr char kName[] = "skaldrun-convert";
// Lines end as the system's own tools end them; the window's Save keeps CR LF everywhere.
#ifdef _WIN32
constexpr bool kSystemBreaksAreLf = false;
#else
constexpr bool kSystemBreaksAreLf = true;
#endif
constexpr int kExitError = 1;
constexpr int kExitNotAPlaylist = 2;

constexpr std::string_view kUsage =
    "Usage: skaldrun-convert [--no-counter] [--no-time] [--keep-digits]\n"
    "                        [-f TEMPLATE | --csv [--columns=LIST] | --json | --html]\n"
    "                        [--total] [--encoding=NAME] [--lf | --crlf] [-o FILE] PLAYLIST\n"
    "       skaldrun-convert -h | --help | -V | --version\n"
    "\n"
    "Converts an extended M3U playlist into a numbered track list with durations.\n"
    "PLAYLIST may be - for standard input, or any file, pipe or device that can be read.\n"
    "The list goes to standard output, or to FILE (- is standard output too).\n"
    "\n"
    "  --no-counter           leave out the track numbers\n"
    "  --no-time              leave out the durations\n"
    "  --keep-digits          keep leading track numbers in the titles\n"
    "  -f, --format=TEMPLATE  write each entry as TEMPLATE, with these fields:\n"
    "                           %n number  %t title  %d length as m:ss  %s length in seconds\n"
    "                           %S length as written  %c start (the lengths before, summed)\n"
    "                           %p the path or address that follows  %{NAME} an attribute\n"
    "                           %% a percent sign  (%d %s %S are empty for an unknown length)\n"
    "  --csv                  write number,title,seconds,path rows for spreadsheets\n"
    "  --columns=LIST         the CSV's columns, of number title seconds length start path\n"
    "                         and any attribute's name, as in --columns=title,group-title\n"
    "  --json                 write a JSON array of objects: number, title, length and\n"
    "                         start in seconds (an unknown length null), path\n"
    "  --html                 write a printable page: a table of number, title, length\n"
    "                         and start, and the total\n"
    "  --total                end the list with the count and the summed length\n"
    "  --encoding=NAME        read the playlist in the code page NAME and write UTF-8:\n"
    "                         utf-8, windows-1251, windows-1252, koi8-r or cp866\n"
    "  --lf, --crlf           end lines with LF, as on Linux by default, or with CR LF,\n"
    "                         as on Windows and in the window's Save\n"
    "  -o, --output=FILE      write the list to FILE instead of standard output\n"
    "  -h, --help             show this help\n"
    "  -V, --version          show the version\n"
    "\n"
    "Examples:\n"
    "  skaldrun-convert --format='%n. %t (%d)' --total party.m3u\n"
    "  skaldrun-convert --csv -o party.csv party.m3u\n"
    "  skaldrun-convert -f '%c %t' mix.m3u\n";

struct Arguments {
    ConvertOptions options;
    std::optional<ListTemplate> format;
    std::optional<CsvRow> csv;
    bool json = false;
    bool html = false;
    bool total = false;
    CodePage encoding = CodePage::Auto; // the bytes as they are
    bool lf = kSystemBreaksAreLf;
    std::optional<std::string> output; // none or "-": standard output
    std::string playlist;
};

// The command's words in the user's language, where the system's catalogues have them.
std::string Tr(const char* english) {
#ifdef SKALDRUN_HAVE_GETTEXT
    return ::dgettext(kName, english);
#else
    return english;
#endif
}

// Its words with %1 and %2 filled in, in one pass, so that a value holding "%2" stays as it is.
std::string Tr(const char* english, std::string_view first, std::string_view second = {}) {
    const std::string text = Tr(english);
    std::string filled;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '%' && at + 1 < text.size() &&
            (text[at + 1] == '1' || text[at + 1] == '2')) {
            filled.append(text[at + 1] == '1' ? first : second);
            ++at;
        } else {
            filled.push_back(text[at]);
        }
    }
    return filled;
}

// The user's locale, so that the system's reasons and these words follow it, with the
// catalogues found beside the program: PREFIX/share/locale for PREFIX/bin/skaldrun-convert, as
// installed, or as the build tree lays them out.
void StartLocale() {
#ifdef SKALDRUN_HAVE_GETTEXT
    std::setlocale(LC_ALL, "");
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        ::bindtextdomain(kName, (program.parent_path().parent_path() / "share" / "locale").c_str());
#endif
}

// "skaldrun-convert: what", as every tool writes its errors.
void PrintError(std::string_view message) {
    std::string line(kName);
    line.append(": ").append(message).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
}

int UsageError(std::string_view message) {
    if (!message.empty())
        PrintError(message);
    const std::string hint = Tr("Try '%1 --help' for more information.", kName) + "\n";
    std::fwrite(hint.data(), 1, hint.size(), stderr);
    return kExitUsage;
}

// Returns the exit code when the arguments ask for no conversion.
std::optional<int> ParseArguments(int argc, char** argv, Arguments& args) {
    enum : int {
        kNoCounter = 1000,
        kNoTime,
        kKeepDigits,
        kCsv,
        kColumns,
        kJson,
        kHtml,
        kTotal,
        kEncoding,
        kLf,
        kCrLf,
    };
    static const option kLong[] = {
        {"no-counter", no_argument, nullptr, kNoCounter},
        {"no-time", no_argument, nullptr, kNoTime},
        {"keep-digits", no_argument, nullptr, kKeepDigits},
        {"format", required_argument, nullptr, 'f'},
        {"csv", no_argument, nullptr, kCsv},
        {"columns", required_argument, nullptr, kColumns},
        {"json", no_argument, nullptr, kJson},
        {"html", no_argument, nullptr, kHtml},
        {"total", no_argument, nullptr, kTotal},
        {"encoding", required_argument, nullptr, kEncoding},
        {"lf", no_argument, nullptr, kLf},
        {"crlf", no_argument, nullptr, kCrLf},
        {"output", required_argument, nullptr, 'o'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    argv[0] = const_cast<char*>(kName); // getopt names the program in its own messages
    bool csv = false;
    std::optional<std::string> columns;
    for (;;) {
        const int option = ::getopt_long(argc, argv, "f:ho:V", kLong, nullptr);
        if (option == -1)
            break;
        switch (option) {
        case kNoCounter:
            args.options.CounterShow = false;
            break;
        case kNoTime:
            args.options.TimeShow = false;
            break;
        case kKeepDigits:
            args.options.DeleteDigits = false;
            break;
        case 'f':
            if (args.format)
                return UsageError(Tr("%1 given twice", "--format"));
            try {
                args.format.emplace(optarg);
            } catch (const EShapeError& e) {
                return UsageError(Tr(e.Wording(), e.Part()));
            }
            break;
        case kCsv:
            csv = true;
            break;
        case kColumns:
            if (columns)
                return UsageError(Tr("%1 given twice", "--columns"));
            columns = optarg;
            break;
        case kJson:
            args.json = true;
            break;
        case kHtml:
            args.html = true;
            break;
        case kTotal:
            args.total = true;
            break;
        case kLf:
        case kCrLf:
            args.lf = option == kLf;
            break;
        case kEncoding:
            if (const std::optional<CodePage> page = CodePageNamed(optarg))
                args.encoding = *page;
            else
                return UsageError(Tr("unknown encoding '%1' (utf-8, windows-1251, windows-1252, "
                                     "koi8-r, cp866)",
                                     optarg));
            break;
        case 'o':
            if (args.output)
                return UsageError(Tr("%1 given twice", "-o"));
            if (*optarg == '\0')
                return UsageError(Tr("the output file's name is empty"));
            args.output = optarg;
            break;
        case 'h':
            WriteStandardOutput(Tr(kUsage.data()));
            return 0;
        case 'V':
            WriteStandardOutput(VersionText(kName));
            return 0;
        default: // getopt has said what was wrong
            return UsageError({});
        }
    }
    if (columns && !csv)
        return UsageError(Tr("--columns goes with --csv"));
    if (csv) {
        try {
            args.csv.emplace(columns ? *columns : CsvRow::kColumns);
        } catch (const EShapeError& e) {
            return UsageError(Tr(e.Wording(), e.Part()));
        }
    }
    const bool shaped = args.format || args.csv || args.json || args.html;
    if (shaped && !args.options.CounterShow)
        return UsageError(Tr("%1 does not go with a shape: it decides", "--no-counter"));
    if (shaped && !args.options.TimeShow)
        return UsageError(Tr("%1 does not go with a shape: it decides", "--no-time"));
    if ((args.format ? 1 : 0) + (args.csv ? 1 : 0) + (args.json ? 1 : 0) + (args.html ? 1 : 0) > 1)
        return UsageError(Tr("--format, --csv, --json and --html are shapes: choose one"));
    if (args.total && (args.csv || args.json || args.html))
        return UsageError(Tr("--total goes with the lines of a list: a table or a page has none"));
    if (optind >= argc)
        return UsageError(Tr("no playlist given"));
    if (argc - optind > 1)
        return UsageError(Tr("one playlist at a time: '%1' is one too many", argv[optind + 1]));
    args.playlist = argv[optind];
    if (args.playlist.empty())
        return UsageError(Tr("the playlist's name is empty"));
    return std::nullopt;
}

// The list on standard output, as it is made.
class StandardOutput final : public TextSink {
public:
    void Write(std::string_view piece) override { WriteStandardOutput(piece); }
};

// The playlist's pieces, decoded where a code page was named, into its M3U.
void Read(const Arguments& args, PlaylistTranslator& m3u) {
    PlaylistDecoder decoded(args.encoding, [&m3u](std::string_view piece) { m3u.Feed(piece); });
    ReadPlaylistPieces(args.playlist, [&](std::string_view piece) { decoded.Feed(piece); });
    decoded.Finish();
}

// A PLS or an XSPF refused part way: the entries it gave before the fault are whole, and reach
// the list as the lines before an M3U's fault do. The refusal is what is reported.
template <typename Finish>
void FinishBeforeFault(Finish&& finish) {
    try {
        finish();
    } catch (const EConvertError&) {
    }
}

// The playlist read a piece at a time and converted as it comes: the window's shape through the
// conversion's own fast path, any other through the entries.
bool Convert(const Arguments& args, TextSink& sink) {
    if (!args.format && !args.csv && !args.json && !args.html && !args.total) {
        StreamedConversion conversion(args.options, sink);
        bool converterFailed = false;
        PlaylistTranslator m3u(
            [&](std::string_view piece) {
                converterFailed = true;
                conversion.Feed(piece);
                converterFailed = false;
            },
            PlsKeysOf(args.playlist));
        try {
            Read(args, m3u);
            return m3u.Finish() && conversion.Finish();
        } catch (const EConvertError&) {
            if (!converterFailed)
                FinishBeforeFault([&] { conversion.Finish(); });
            throw;
        }
    }
    const DefaultLine plain(args.options);
    const JsonObject json;
    const HtmlRow html;
    const LineShape& line = args.csv      ? static_cast<const LineShape&>(*args.csv)
                            : args.format ? static_cast<const LineShape&>(*args.format)
                            : args.json   ? static_cast<const LineShape&>(json)
                            : args.html   ? static_cast<const LineShape&>(html)
                                          : static_cast<const LineShape&>(plain);
    ListFrame frame =
        args.json ? JsonFrame()
        : args.html
            ? PageFrame(args.playlist == "-" ? "Playlist" : PlaylistTitle(args.playlist),
                        {"en", "#", "Title", "Length", "Start",
                         [](const ListTotals& sum) { return sum.Line(); }})
            : LineFrame(args.csv ? std::string_view(args.csv->Header()) : std::string_view(),
                        args.total);
    ShapedList list(line, std::move(frame), sink);
    StreamedEntries entries(args.options.DeleteDigits, list);
    bool converterFailed = false;
    try {
        PlaylistTranslator m3u(
            [&](std::string_view piece) {
                converterFailed = true;
                entries.Feed(piece);
                converterFailed = false;
            },
            PlsKeysOf(args.playlist));
        Read(args, m3u);
        const bool isPlaylist = m3u.Finish() && entries.Finish();
        if (isPlaylist)
            list.Finish();
        return isPlaylist;
    } catch (const EConvertError&) {
        if (!converterFailed)
            FinishBeforeFault([&] { entries.Finish(); });
        list.Flush(); // the lines before the faulty entry, as the window keeps them
        throw;
    }
}

// A refusal in the user's language: XML's reasons are kept in English words for this.
std::string Worded(const EConvertError& e) {
    const auto* xml = dynamic_cast<const EXmlError*>(&e);
    if (xml == nullptr)
        return e.Message();
    return Tr("XML: %1, column %2", Tr(xml->Reason().c_str(), xml->Name()),
              std::to_string(xml->Column()));
}

int Run(const Arguments& args) {
    const bool toFile = args.output && *args.output != "-";
    StandardOutput standardOutput;
    // A file is only replaced by a complete list.
    std::optional<CommandOutputFile> file;
    if (toFile)
        file.emplace(*args.output);
    TextSink& out = file ? static_cast<TextSink&>(*file) : standardOutput;
    LfLines lf(out);
    bool isPlaylist = false;
    try {
        isPlaylist = Convert(args, args.lf ? static_cast<TextSink&>(lf) : out);
        lf.Finish();
    } catch (const EConvertError& e) {
        lf.Finish();
        // Named where it is, so the line can be found and mended.
        const std::string where = args.playlist + ":" + std::to_string(e.Line());
        PrintError(e.Duration() ? Tr("%1: duration '%2' is not a number", where, *e.Duration())
                                : where + ": " + Worded(e));
        return kExitError;
    }
    if (!isPlaylist) {
        PrintError(Tr("%1: not an extended M3U playlist (no #EXTM3U line)", args.playlist));
        return kExitNotAPlaylist;
    }
    if (file)
        file->Commit();
    return 0;
}

// "FILE: write error: reason", or "write error: reason" for standard output, as coreutils say.
std::string WriteErrorText(const Arguments& args, const EWriteError& e) {
    const bool toFile = args.output && *args.output != "-";
    std::string text = Tr("write error");
    if (toFile)
        text.insert(0, *args.output + ": ");
    if (!e.Reason().empty())
        text.append(": ").append(e.Reason());
    if (!e.KeptCopy().empty())
        text.append(Tr("; the whole new list is kept in %1", e.KeptCopy()));
    return text;
}

} // namespace

int main(int argc, char** argv) {
    StartLocale();
    IgnoreFileSizeSignal();
    Arguments args;
    try {
        if (const auto code = ParseArguments(argc, argv, args))
            return *code;
        return Run(args);
    } catch (const EWriteError& e) {
        PrintError(WriteErrorText(args, e));
    } catch (const EFOpenError& e) { // the playlist, named as it was given
        PrintError(args.playlist + ": " + e.Reason());
    } catch (const ECopyTooLarge&) {
        PrintError(Tr("%1: neither its folder nor the temporary folder takes a copy of a list "
                      "over 256 MiB",
                      args.output.value_or("-")));
    } catch (const EFCreateError& e) {
        PrintError(args.output.value_or("-") + ": " + e.Reason());
    } catch (const skaldrun::Exception& e) {
        PrintError(e.Message());
    } catch (const std::bad_alloc&) {
        PrintError(Tr("memory exhausted"));
    }
    return kExitError;
}
