// Measures the conversion on generated playlists: in memory against a bare line scan, and the
// whole command against cat and an awk script. Run by hand; see bench/README.md.

#include "core/Convert.h"
#include "core/LineBreaks.h"
#include "core/ListExport.h"
#include "core/ListShapes.h"
#include "core/PlaylistFormats.h"
#include "core/TextFiles.h"
#include "support/ChildProcess.h"
#include "support/WholeBytes.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

#ifdef SKALDRUN_HAVE_EXPAT
#include <expat.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Realistic entries: track numbers, Cyrillic in UTF-8 and windows-1251, commas, streams.
std::string MakePlaylist(std::size_t entries, std::string_view lineEnd) {
    static const char* const titles[] = {
        "01-Artist Name - Opening Theme of the Record",
        "Кино - 02 - Группа крови (live, 1988 remaster)",
        "\xCA\xE8\xED\xEE - 03 - \xC7\xE0\xEA\xF0\xEE\xE9 \xE7\xE0 \xEC\xED\xEE\xE9 "
        "\xE4\xE2\xE5\xF0\xFC",
        "a1-Side A, Track One, Extended Mix",
        "Some Band - A Much Longer Song Title With Several Words In It",
        "005. Orchestra - Symphony No. 5, Movement II",
    };
    std::string text = "#EXTM3U";
    text += lineEnd;
    text.reserve(entries * 110);
    char number[32];
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t kind = i % 6;
        if (i % 97 == 0)
            text.append("#EXTINF:-1,Radio Stream Number One")
                .append(lineEnd)
                .append("http://radio.example/stream")
                .append(lineEnd);
        std::snprintf(number, sizeof number, "%zu", 60 + (i * 37) % 900);
        text.append("#EXTINF:").append(number).append(",").append(titles[kind]).append(lineEnd);
        text.append("D:\\Music\\Collection\\Album ").append(number).append("\\track.mp3");
        text.append(lineEnd);
    }
    return text;
}

template <typename F>
double BestSeconds(int runs, F&& f) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        const double inner = f(); // a part of the run it timed itself, or negative for all of it
        const double whole = std::chrono::duration<double>(Clock::now() - t0).count();
        best = std::min(best, inner >= 0 ? inner : whole);
    }
    return best;
}

struct CommandRun {
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs a command three times with its output thrown away: the best time, and the peak memory
// as GNU time reports it (a child forked from this big process would count this one's pages).
CommandRun RunCommand(const std::vector<std::string>& command, int runs = 3) {
    const std::string rssFile =
        (std::filesystem::temp_directory_path() / "skaldrun-bench" / "rss").string();
    std::vector<std::string> args{"/usr/bin/time", "-f", "%M", "-o", rssFile};
    args.insert(args.end(), command.begin(), command.end());
    CommandRun best{1e9, 0};
    for (int run = 0; run < runs; ++run) {
        const auto t0 = Clock::now();
        const int code = skaldrun::test::RunChild(args, [] {
            const int out = ::open("/dev/null", O_WRONLY);
            ::dup2(out, 1);
        });
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (code != 0)
            std::fprintf(stderr, "%s failed\n", command[0].c_str());
        long rss = 0;
        std::ifstream(rssFile) >> rss;
        best.seconds = std::min(best.seconds, s);
        best.maxRssKb = std::max(best.maxRssKb, rss);
    }
    return best;
}

// How much longer command a takes than command b: the two run in turn, and the median of the
// ratios pair by pair stands, so that a machine whose speed drifts still compares them fairly.
double PairedRatio(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<double> ratios;
    for (int pair = 0; pair < 9; ++pair)
        ratios.push_back(RunCommand(a, 1).seconds / RunCommand(b, 1).seconds);
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

// Takes the list and keeps nothing, so that only the conversion is timed.
struct Discard final : skaldrun::TextSink {
    std::size_t bytes = 0;
    void Write(std::string_view piece) override { bytes += piece.size(); }
};

double MemchrScan(const std::string& bytes, int runs) {
    volatile std::size_t lines = 0;
    return BestSeconds(runs, [&] {
        std::size_t count = 0;
        const char* p = bytes.data();
        const char* end = p + bytes.size();
        while (const void* hit = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
            ++count;
            p = static_cast<const char*>(hit) + 1;
        }
        lines = count;
        return -1.0;
    });
}

// An IPTV list as people keep them: attributes on every entry, long addresses.
std::string MakeIptvList(std::size_t entries) {
    std::string text = "#EXTM3U x-tvg-url=\"http://epg.example/guide.xml.gz\"\n";
    text.reserve(entries * 330);
    char number[32];
    for (std::size_t i = 0; i < entries; ++i) {
        std::snprintf(number, sizeof number, "%zu", i);
        text.append("#EXTINF:")
            .append(i % 5 == 0 ? "-1" : "3.904")
            .append(" tvg-id=\"channel")
            .append(number)
            .append(".example\" tvg-name=\"Channel ")
            .append(number)
            .append("\" tvg-logo=\"http://logos.example/channels/")
            .append(number)
            .append(".png\" group-title=\"News, World\",Channel ")
            .append(number)
            .append(" HD\n");
        text.append("http://streams.example.com:8080/live/user_name/secret_password/")
            .append(number)
            .append(".m3u8?token=0123456789abcdef0123456789abcdef&quality=high\n");
    }
    return text;
}

// The floor for the command: the same file read in the same pieces, its lines counted with
// memchr and nothing written.
int ScanFile(const char* name) {
    const int fd = ::open(name, O_RDONLY);
    std::vector<char> piece(256 * 1024);
    std::size_t lines = 0;
    for (ssize_t n = ::read(fd, piece.data(), piece.size()); n > 0;
         n = ::read(fd, piece.data(), piece.size())) {
        const char* p = piece.data();
        const char* end = p + n;
        while (const void* hit = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
            ++lines;
            p = static_cast<const char*>(hit) + 1;
        }
    }
    ::close(fd);
    return lines > 0 ? 0 : 1;
}

// The command against its floor and its new shapes against its default, on an IPTV list.
void RunShapes(const std::filesystem::path& dir, char* self) {
    const std::string bytes = MakeIptvList(1000000);
    const std::string file = (dir / "iptv.m3u").string();
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    const std::vector<std::string> plain{SKALDRUN_CONVERT_EXE, file};
    const std::vector<std::string> scan{self, "--scan", file};
    const CommandRun command = RunCommand(plain);
    const CommandRun floor = RunCommand(scan);
    std::printf("\nIPTV list, 10^6 entries, %.0f MB: command %.1f ms, memchr scan %.1f ms, "
                "paired ratio %.2f, peak %.1f MiB\n\n",
                static_cast<double>(bytes.size()) / 1e6, command.seconds * 1e3, floor.seconds * 1e3,
                PairedRatio(plain, scan), static_cast<double>(command.maxRssKb) / 1024.0);
    std::printf("| shape | ms | / default (paired) |\n|---|---|---|\n");
    const std::pair<const char*, std::vector<std::string>> shapes[] = {
        {"-f '%n.%t  <%d>'", {SKALDRUN_CONVERT_EXE, "-f", "%n.%t  <%d>", file}},
        {"-f '%c %t'", {SKALDRUN_CONVERT_EXE, "-f", "%c %t", file}},
        {"-f '%n %S'", {SKALDRUN_CONVERT_EXE, "-f", "%n %S", file}},
        {"-f '%{group-title}'", {SKALDRUN_CONVERT_EXE, "-f", "%{group-title}", file}},
        {"--total", {SKALDRUN_CONVERT_EXE, "--total", file}},
        {"--csv", {SKALDRUN_CONVERT_EXE, "--csv", file}},
        {"--csv --columns=number,title,group-title,tvg-id,path",
         {SKALDRUN_CONVERT_EXE, "--csv", "--columns=number,title,group-title,tvg-id,path", file}},
    };
    for (const auto& [name, shape] : shapes)
        std::printf("| `%s` | %.1f | %.2f |\n", name, RunCommand(shape).seconds * 1e3,
                    PairedRatio(shape, plain));
    std::filesystem::remove(file);
}

// What a whole command cost: its CPU time in user and system mode, and its peak memory.
struct Cost {
    double cpu = 0;
    double seconds = 0;
    double peakMiB = 0;
};

// Runs a command once with its standard output sent to a file (or thrown away). The CPU time
// is the kernel's account of GNU time and the command; the peak memory is GNU time's, as a
// child forked from this big process would count this one's pages.
Cost Measure(const std::vector<std::string>& command, const std::string& output = "/dev/null") {
    const std::string rssFile =
        (std::filesystem::temp_directory_path() / "skaldrun-bench" / "rss").string();
    std::vector<std::string> args{"/usr/bin/time", "-f", "%M", "-o", rssFile};
    args.insert(args.end(), command.begin(), command.end());
    const auto t0 = Clock::now();
    rusage usage{}; // GNU time's and, reaped by it, the command's
    const int code = skaldrun::test::RunChild(
        args,
        [&] {
            const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
        },
        &usage);
    if (code != 0)
        std::fprintf(stderr, "%s failed\n", command[0].c_str());
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    long rssKb = 0;
    std::ifstream(rssFile) >> rssKb;
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime),
            std::chrono::duration<double>(Clock::now() - t0).count(),
            static_cast<double>(rssKb) / 1024.0};
}

// The median of the ratios of a's CPU time to b's, the two run in turn.
double PairedCpuRatio(const std::vector<std::string>& a, const std::string& aOutput,
                      const std::vector<std::string>& b, const std::string& bOutput,
                      int pairs = 9) {
    std::vector<double> ratios;
    for (int pair = 0; pair < pairs; ++pair)
        ratios.push_back(Measure(a, aOutput).cpu / Measure(b, bOutput).cpu);
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

// -o FILE against the same conversion redirected to that file, and the command against a bare
// memchr scan of its playlist, at 10^6 entries; then -o's memory on a playlist of over 1 GiB.
void RunOutput(const std::filesystem::path& dir, char* self) {
    const std::string file = (dir / "output.m3u").string();
    const std::string list = (dir / "output.txt").string();
    const std::vector<std::string> scan{self, "--scan", file};
    const std::vector<std::string> redirected{SKALDRUN_CONVERT_EXE, file};
    const std::vector<std::string> named{SKALDRUN_CONVERT_EXE, "-o", list, file};
    std::string bytes;
    for (const char* kind : {"IPTV list", "music list"}) {
        bytes = kind[0] == 'I' ? MakeIptvList(1000000) : MakePlaylist(1000000, "\r\n");
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
        Measure(redirected, list); // the cache warmed
        const Cost floor = Measure(scan);
        const Cost toStandardOutput = Measure(redirected, list);
        const Cost toFile = Measure(named);
        std::printf("%s, 10^6 entries, %.0f MB: memchr scan %.1f ms CPU; command > FILE %.1f ms "
                    "CPU, peak %.1f MiB; -o FILE %.1f ms CPU, peak %.1f MiB\n",
                    kind, static_cast<double>(bytes.size()) / 1e6, floor.cpu * 1e3,
                    toStandardOutput.cpu * 1e3, toStandardOutput.peakMiB, toFile.cpu * 1e3,
                    toFile.peakMiB);
        std::printf("  command > FILE / memchr scan, CPU, paired median: %.2f\n",
                    PairedCpuRatio(redirected, list, scan, "/dev/null"));
        std::printf("  -o FILE / command > FILE, CPU, paired median: %.2f\n",
                    PairedCpuRatio(named, "/dev/null", redirected, list));
        std::fflush(stdout);
    }

    // Over 1 GiB: the same entries eleven times, the header once.
    {
        std::ofstream big(file, std::ios::binary);
        const std::string_view entries = std::string_view(bytes).substr(bytes.find('\n') + 1);
        big.write(bytes.data(), static_cast<long>(bytes.size()));
        for (int copy = 1; copy < 11; ++copy)
            big.write(entries.data(), static_cast<long>(entries.size()));
    }
    const auto size = static_cast<double>(std::filesystem::file_size(file));
    const Cost bigFile = Measure(named);
    const Cost bigRedirected = Measure(redirected, list);
    std::printf("%.2f GiB: -o FILE %.2f s, %.2f s CPU, peak %.1f MiB; command > FILE %.2f s, "
                "%.2f s CPU, peak %.1f MiB\n",
                size / (1024.0 * 1024.0 * 1024.0), bigFile.seconds, bigFile.cpu, bigFile.peakMiB,
                bigRedirected.seconds, bigRedirected.cpu, bigRedirected.peakMiB);
    std::filesystem::remove(file);
    std::filesystem::remove(list);
}

// The same entries as an extended M3U, a PLS and an XSPF (UTF-8 titles only, as XML wants).
std::string MakeFormat(std::size_t entries, std::string_view format) {
    static const char* const titles[] = {
        "01-Artist Name - Opening Theme of the Record",
        "Кино - 02 - Группа крови (live, 1988 remaster)",
        "a1-Side A, Track One, Extended Mix",
        "005. Orchestra - Symphony No. 5, Movement II",
    };
    std::string text = format == "m3u" ? "#EXTM3U\r\n"
                       : format == "pls"
                           ? "[playlist]\r\n"
                           : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<playlist "
                             "version=\"1\" xmlns=\"http://xspf.org/ns/0/\">\n<trackList>\n";
    text.reserve(entries * 140);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::string seconds = std::to_string(60 + (i * 37) % 900);
        const std::string n = std::to_string(i + 1);
        const std::string title = titles[i % 4];
        const std::string location = "/home/user/Music/Album " + seconds + "/track.mp3";
        if (format == "m3u")
            text += "#EXTINF:" + seconds + "," + title + "\r\n" + location + "\r\n";
        else if (format == "pls")
            text += "File" + n + "=" + location + "\r\nTitle" + n + "=" + title + "\r\nLength" + n +
                    "=" + seconds + "\r\n";
        else
            text += "<track><location>" + location + "</location><title>" + title +
                    "</title><duration>" + seconds + "000</duration></track>\n";
    }
    if (format == "pls")
        text += "NumberOfEntries=" + std::to_string(entries) + "\r\nVersion=2\r\n";
    if (format == "xspf")
        text += "</trackList>\n</playlist>\n";
    return text;
}

#ifdef SKALDRUN_HAVE_EXPAT
// expat's own parse of a file with no handlers, in 256 KiB pieces as the command reads: the
// floor of any XSPF reader built on it, in CPU seconds.
double ExpatParseCpu(const std::string& path) {
    const auto cpu = [] {
        timespec t{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    };
    const double start = cpu();
    const XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    std::ifstream file(path, std::ios::binary);
    std::vector<char> piece(256 * 1024);
    bool done = false;
    while (!done) {
        file.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        done = file.gcount() == 0;
        if (XML_Parse(parser, piece.data(), static_cast<int>(file.gcount()), done) !=
            XML_STATUS_OK) {
            std::fprintf(stderr, "expat refused %s\n", path.c_str());
            break;
        }
    }
    XML_ParserFree(parser);
    return cpu() - start;
}
#endif

// PLS and XSPF beside the M3U of the same 10^6 entries: the command's CPU time and peak memory.
void RunFormats(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const char* format : {"m3u", "pls", "xspf"}) {
        files[format] = (dir / (std::string("formats.") + format)).string();
        const std::string bytes = MakeFormat(1000000, format);
        std::ofstream(files[format], std::ios::binary)
            .write(bytes.data(), static_cast<long>(bytes.size()));
    }
    const auto command = [&](const std::string& format) {
        return std::vector<std::string>{SKALDRUN_CONVERT_EXE, files[format]};
    };
    Measure(command("m3u")); // the cache warmed
    const Cost m3u = Measure(command("m3u"));
    std::printf("M3U, 10^6 entries: %.1f ms CPU, peak %.1f MiB\n", m3u.cpu * 1e3, m3u.peakMiB);
    for (const char* format : {"pls", "xspf"}) {
        const Cost cost = Measure(command(format));
        std::printf("%s: %.1f ms CPU, peak %.1f MiB; / M3U, CPU, paired median: %.2f\n", format,
                    cost.cpu * 1e3, cost.peakMiB,
                    PairedCpuRatio(command(format), "/dev/null", command("m3u"), "/dev/null", 5));
        std::fflush(stdout);
    }
#ifdef SKALDRUN_HAVE_EXPAT
    const double floor = ExpatParseCpu(files["xspf"]);
    std::printf("xspf floor, expat's parse alone: %.1f ms CPU; / M3U: %.2f\n", floor * 1e3,
                floor / m3u.cpu);
#endif
    for (const auto& [format, file] : files)
        std::filesystem::remove(file);
}

// The CPU seconds this process spends in work, the best of a few runs.
template <typename Work>
double BestCpu(int runs, Work&& work) {
    const auto cpu = [] {
        timespec t{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    };
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const double start = cpu();
        work();
        best = std::min(best, cpu() - start);
    }
    return best;
}

// What the window's total adds to a load, and each export beside the command's same shape, at
// 10^6 entries.
void RunExports(const std::filesystem::path& dir) {
    using namespace skaldrun;
    const std::string bytes = MakePlaylist(1000000, "\r\n");
    const std::string file = (dir / "exports.m3u").string();
    const std::string out = (dir / "export.out").string();
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    const ConvertOptions options;
    const auto convert = [&](ListTotals* totals) {
        CrLfText list;
        std::vector<std::size_t> lineStarts;
        ConvertPlaylist(SplitLines(bytes), options, list, &lineStarts, totals);
    };
    const double bare = BestCpu(5, [&] { convert(nullptr); });
    const double counted = BestCpu(5, [&] {
        ListTotals totals;
        convert(&totals);
    });
    std::printf("ConvertPlaylist, 10^6 entries: %.1f ms; with the total: %.1f ms (+%.1f ms)\n\n",
                bare * 1e3, counted * 1e3, (counted - bare) * 1e3);
    std::printf(
        "| export | window's export, ms CPU | command, ms CPU | ratio |\n|---|---|---|---|\n");
    const struct {
        const char* name;
        ListFormat format;
        std::vector<std::string> args;
    } shapes[] = {
        {"list", ListFormat::List, {}},
        {"chapters", ListFormat::Chapters, {"-f", "%c %t"}},
        {"CSV", ListFormat::Csv, {"--csv", "--columns=number,title,length,start,path"}},
        {"HTML", ListFormat::Html, {"--html"}},
        {"JSON", ListFormat::Json, {"--json"}},
    };
    for (const auto& shape : shapes) {
        const double exported = BestCpu(3, [&] {
            FileTextSink sink(out);
            if (ExportList(bytes, CodePage::Auto, shape.format, options, "exports", sink))
                sink.Commit();
        });
        std::vector<std::string> command{SKALDRUN_CONVERT_EXE};
        command.insert(command.end(), shape.args.begin(), shape.args.end());
        command.insert(command.end(), {"-o", out, file});
        double commandCpu = 1e9;
        for (int i = 0; i < 3; ++i)
            commandCpu = std::min(commandCpu, Measure(command).cpu);
        std::printf("| %s | %.1f | %.1f | %.2f |\n", shape.name, exported * 1e3, commandCpu * 1e3,
                    exported / commandCpu);
        std::fflush(stdout);
    }
    std::filesystem::remove(file);
    std::filesystem::remove(out);
}

// A PLS whose entries come out of order (each one's keys together, the entries scattered by a
// stride prime to their count), its lines ending in lineEnd: read only once it is held whole.
std::string MakeScatteredPls(std::size_t entries, std::string_view lineEnd) {
    static const char* const titles[] = {
        "01-Artist Name - Opening Theme of the Record",
        "Кино - 02 - Группа крови (live, 1988 remaster)",
        "a1-Side A, Track One, Extended Mix",
        "005. Orchestra - Symphony No. 5, Movement II",
    };
    std::string text = "[playlist]";
    text.append(lineEnd);
    text.reserve(entries * 140);
    for (std::size_t k = 0; k < entries; ++k) {
        const std::size_t i = k * 7919 % entries;
        const std::string n = std::to_string(i + 1);
        const std::string seconds = std::to_string(60 + (i * 37) % 900);
        text.append("File" + n + "=/home/user/Music/Album " + seconds + "/track.mp3")
            .append(lineEnd);
        text.append("Title" + n + "=" + titles[i % 4]).append(lineEnd);
        text.append("Length" + n + "=" + seconds).append(lineEnd);
    }
    text.append("NumberOfEntries=" + std::to_string(entries)).append(lineEnd);
    return text.append("Version=2").append(lineEnd);
}

// The same scattered PLS of 10^6 entries with LF and with CR alone: the command's CPU time, the
// PLS held whole and read in this process from its bytes as read (AsM3u), best of three each,
// and the command's CPU with CR alone over LF, the median of five pairs run in turn.
void RunPlsLineEnds(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& [name, lineEnd] : {std::pair{"LF", "\n"}, std::pair{"CR", "\r"}}) {
        files[name] = (dir / (std::string("scattered-") + name + ".pls")).string();
        const std::string bytes = MakeScatteredPls(1000000, lineEnd);
        std::ofstream(files[name], std::ios::binary)
            .write(bytes.data(), static_cast<long>(bytes.size()));
        double command = 1e9;
        for (int i = 0; i < 3; ++i)
            command = std::min(command, Measure({SKALDRUN_CONVERT_EXE, files[name]}).cpu);
        const double held = BestCpu(3, [&] { skaldrun::AsM3u(bytes); });
        std::printf("PLS, keys out of order, %s, %.0f MB: command %.1f ms CPU; AsM3u %.1f ms\n",
                    name, static_cast<double>(bytes.size()) / 1e6, command * 1e3, held * 1e3);
        std::fflush(stdout);
    }
    std::printf("CR alone / LF, command, CPU, paired median: %.2f\n",
                PairedCpuRatio({SKALDRUN_CONVERT_EXE, files["CR"]}, "/dev/null",
                               {SKALDRUN_CONVERT_EXE, files["LF"]}, "/dev/null", 5));
    for (const auto& [name, file] : files)
        std::filesystem::remove(file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--scan")
        return ScanFile(argv[2]);
    const auto dir = std::filesystem::temp_directory_path() / "skaldrun-bench";
    std::filesystem::create_directories(dir);
    if (argc == 2 && std::string_view(argv[1]) == "--output") {
        RunOutput(dir, argv[0]);
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--exports") {
        RunExports(dir);
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--formats") {
        RunFormats(dir);
        RunPlsLineEnds(dir);
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--shapes") {
        RunShapes(dir, argv[0]);
        return 0;
    }
    std::vector<std::size_t> sizes{1000, 100000, 1000000};
    if (argc > 1)
        sizes = {static_cast<std::size_t>(std::stoull(argv[1]))};

    std::printf("| entries | breaks | MB | ConvertPlaylist | one pass | memchr | ratio | one-pass "
                "ratio | command | cat | command / cat | mawk | mawk / command | peak / file | "
                "template | / command | CSV | / command |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const std::size_t entries : sizes) {
        for (const std::string_view lineEnd : {std::string_view("\r\n"), std::string_view("\n")}) {
            const std::string bytes = MakePlaylist(entries, lineEnd);
            const std::string file = (dir / ("bench-" + std::to_string(entries) + ".m3u")).string();
            std::ofstream(file, std::ios::binary)
                .write(bytes.data(), static_cast<long>(bytes.size()));

            // Buffers are warmed once and reused, so that the figures compare the passes over
            // the text and not the first touch of fresh memory (the command figures include it).
            const int runs = entries >= 1000000 ? 7 : 30;
            std::string text = bytes;
            skaldrun::NormalizeLineBreaks(text); // the text the window holds
            std::string converted;
            converted.reserve(bytes.size());
            const double inMemory = BestSeconds(runs, [&] {
                converted.clear();
                const auto t0 = Clock::now();
                skaldrun::ConvertPlaylist(skaldrun::SplitLines(text), {}, converted);
                return std::chrono::duration<double>(Clock::now() - t0).count();
            });
            Discard discard;
            const double onePass = BestSeconds(runs, [&] {
                skaldrun::test::ConvertPlaylistBytes(bytes, {}, discard);
                return -1.0;
            });
            const double scanText = MemchrScan(text, runs);
            const double scanBytes = MemchrScan(bytes, runs);

            const CommandRun command = RunCommand({SKALDRUN_CONVERT_EXE, file});
            const CommandRun cat = RunCommand({"/bin/cat", file});
            const CommandRun awk = RunCommand({"/usr/bin/mawk", "-f", SKALDRUN_AWK_SCRIPT, file});
            // The other shapes of the list: a template of every field with totals, and CSV.
            const std::vector<std::string> templated{
                SKALDRUN_CONVERT_EXE, "--format=%n. %t (%d) %s s \xE2\x80\x94 %p", "--total", file};
            const std::vector<std::string> rows{SKALDRUN_CONVERT_EXE, "--csv", file};
            const std::vector<std::string> plain{SKALDRUN_CONVERT_EXE, file};
            const CommandRun shaped = RunCommand(templated);
            const CommandRun csv = RunCommand(rows);
            const double shapedRatio = PairedRatio(templated, plain);
            const double csvRatio = PairedRatio(rows, plain);
            std::printf(
                "| 10^%d | %s | %.1f | %.1f ms | %.1f ms | %.1f ms | %.2f | %.2f | %.1f ms "
                "| %.1f ms | %.1f | %.0f ms | %.1f | %.2f | %.1f ms | %.2f | %.1f ms | %.2f |\n",
                static_cast<int>(std::log10(static_cast<double>(entries)) + 0.5),
                lineEnd.size() == 2 ? "CR LF" : "LF", static_cast<double>(bytes.size()) / 1e6,
                inMemory * 1e3, onePass * 1e3, scanBytes * 1e3, scanText / inMemory,
                scanBytes / onePass, command.seconds * 1e3, cat.seconds * 1e3,
                command.seconds / cat.seconds, awk.seconds * 1e3, awk.seconds / command.seconds,
                static_cast<double>(command.maxRssKb) * 1024.0 / static_cast<double>(bytes.size()),
                shaped.seconds * 1e3, shapedRatio, csv.seconds * 1e3, csvRatio);
            std::fflush(stdout);
            std::filesystem::remove(file);
        }
    }
    return 0;
}
