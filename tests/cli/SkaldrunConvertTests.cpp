#include "TestSupport.h"
#include "core/Version.h"
#include "support/ChildProcess.h"
#include "support/ManualOptions.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Rows name only the settings they change; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace skaldrun {
namespace {

using test::ReadBytes;
using test::TempDir;

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::size_t leftBehind = 0; // files the command wrote in its working folder
};

// How the converter's process is set up: standard input taken from a file, standard output
// caught in a file unless one is named, a file-size limit, a library preloaded; the window's
// CR LF breaks, which these tests compare with, unless the system's are asked for.
struct Setup {
    std::string input = "/dev/null";
    rlim_t fileSizeLimit = RLIM_INFINITY;
    const char* preload = nullptr;
    std::string output;
    bool systemBreaks = false;
    std::string locale = "C"; // LC_ALL, found in localeFolder where one is named
    std::string localeFolder;
    unsigned timeLimit = 0; // seconds before SIGALRM ends a run that hangs
};

Result RunConvert(const std::vector<std::string>& args, const Setup& setup = {}) {
    const auto& [input, fileSizeLimit, preload, output, systemBreaks, locale, localeFolder,
                 timeLimit] = setup;
    TempDir dir;
    const std::string outFile = output.empty() ? dir.File("stdout") : output;
    const std::string errFile = dir.File("stderr");
    std::vector<std::string> command{SKALDRUN_CONVERT_EXE};
    if (!systemBreaks)
        command.push_back("--crlf");
    command.insert(command.end(), args.begin(), args.end());
    const int exitCode = test::RunChild(command, [&] {
        // In a folder of its own, so a file a failed run writes by a relative name (such as
        // "-") is removed with the folder instead of staying for the next run.
        if (::chdir(dir.Path().c_str()) != 0)
            ::_exit(126);
        const int in = ::open(input.c_str(), O_RDONLY);
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0600);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::setenv("LC_ALL", locale.c_str(), 1);
        if (!localeFolder.empty())
            ::setenv("LOCPATH", localeFolder.c_str(), 1);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::alarm(timeLimit);
        if (preload != nullptr) {
            ::setenv("LD_PRELOAD", preload, 1);
            ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
        }
    });
    const auto files = std::distance(std::filesystem::directory_iterator(dir.Path()),
                                     std::filesystem::directory_iterator());
    return {exitCode, output.empty() ? ReadBytes(outFile) : std::string(), ReadBytes(errFile),
            static_cast<std::size_t>(files) - (output.empty() ? 2 : 1)};
}

std::string Sample(std::string_view name) {
    return std::string(SKALDRUN_SAMPLES_DIR) + "/" + std::string(name);
}

TEST(SkaldrunConvert, ConvertsRealPlaylists) {
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{Sample("ansi-cp1251.m3u")},
         "1.\xCA\xE8\xED\xEE - 01 - \xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8  <4:05>\r\n"
         "2.\xCA\xE8\xED\xEE - 02 - \xC7\xE0\xEA\xF0\xEE\xE9 \xE7\xE0 \xEC\xED\xEE\xE9 "
         "\xE4\xE2\xE5\xF0\xFC  <5:01>\r\n"
         "3.\xD0\xE0\xE4\xE8\xEE \xD0\xE5\xEA\xEE\xF0\xE4\r\n"},
        {{Sample("cr-only.m3u")}, "1.Intro  <1:03>\r\n2.Long Mix, Part 2  <62:05>\r\n"},
        {{Sample("iptv.m3u")}, "1.Новости 24\r\n2.Music, Live\r\n"},
        {{Sample("lf-with-options.m3u")},
         "1.Artist - a1-Side A Opener  <3:19>\r\n2.Jingle  <0:12>\r\n3.Night Stream\r\n"},
        {{Sample("utf8-bom.m3u8")},
         "1.Ария - 03. Беспечный ангел  <3:32>\r\n2.Björk - 04 Army of Me  <3:04>\r\n"},
        // Today's playlists: attributes on the header, quoted commas, other players' lines.
        {{Sample("iptv-epg-header.m3u8")}, "1.Good, Bad and Ugly\r\n2.Morning, Live  <0:00>\r\n"},
        {{Sample("vlc-options.m3u")}, "1.Artist - Track One  <3:21>\r\n2.Radio, Night\r\n"},
        {{Sample("hls-master.m3u8")}, ""},
        {{Sample("comments-and-commas.m3u")},
         "1.Artist, The - Song  <4:05>\r\n2.Long Mix  <100:00>\r\n"},
        {{"--no-counter", "--no-time", "--keep-digits", Sample("cr-only.m3u")},
         "01-Intro\r\nLong Mix, Part 2\r\n"},
        {{"--no-time", "--", Sample("cr-only.m3u")}, "1.Intro\r\n2.Long Mix, Part 2\r\n"},
    };
    for (const auto& c : cases) {
        const Result r = RunConvert(c.args);
        EXPECT_EQ(r.exitCode, 0) << c.args.back();
        EXPECT_EQ(r.out, c.out) << c.args.back();
        EXPECT_EQ(r.err, "");
    }
}

// The list in other shapes: the fields of each entry, CSV rows and totals, bytes unchanged.
TEST(SkaldrunConvert, ListShapes) {
    TempDir dir;
    const std::string playlist =
        dir.Write("shapes.m3u", "#EXTM3U\n"
                                "#EXTINF:185,01-Song, \"Live\"\n"
                                "C:\\Music\\Artist, The\\01.mp3\n"
                                "#EXTINF:-1,Radio\n"
                                "#EXTVLCOPT:network-caching=1000\n"
                                "\n"
                                "http://radio.example/live\n"
                                "#EXTINF:61,\xCA\xE8\xED\xEE\n" // windows-1251, no media line
                                "#EXTINF:3725,Long\n");
    const std::string headerOnly = dir.Write("header-only.m3u", "#EXTM3U\r\n");
    const struct {
        std::vector<std::string> args; // the playlist last
        std::string out;
    } cases[] = {
        {{"--total", playlist},
         "1.Song, \"Live\"  <3:05>\r\n2.Radio\r\n3.\xCA\xE8\xED\xEE  <1:01>\r\n4.Long  <62:05>\r\n"
         "4 tracks, 1:06:11, 1 without a length\r\n"},
        {{"--format=%n. %t (%d) \xE2\x80\x94 %p", playlist},
         "1. Song, \"Live\" (3:05) \xE2\x80\x94 C:\\Music\\Artist, The\\01.mp3\r\n"
         "2. Radio () \xE2\x80\x94 http://radio.example/live\r\n"
         "3. \xCA\xE8\xED\xEE (1:01) \xE2\x80\x94 \r\n4. Long (62:05) \xE2\x80\x94 \r\n"},
        {{"-f", "%s|%%|%t", "--keep-digits", "--total", playlist},
         "185|%|01-Song, \"Live\"\r\n|%|Radio\r\n61|%|\xCA\xE8\xED\xEE\r\n3725|%|Long\r\n"
         "4 tracks, 1:06:11, 1 without a length\r\n"},
        {{"--csv", playlist},
         "number,title,seconds,path\r\n1,\"Song, \"\"Live\"\"\",185,\"C:\\Music\\Artist, "
         "The\\01.mp3\"\r\n2,Radio,,http://radio.example/live\r\n3,\xCA\xE8\xED\xEE,61,\r\n"
         "4,Long,3725,\r\n"},
        {{"--total", "--no-time", Sample("cr-only.m3u")},
         "1.Intro\r\n2.Long Mix, Part 2\r\n2 tracks, 1:03:08\r\n"},
        {{"--csv", headerOnly}, "number,title,seconds,path\r\n"},
        // Bytes that are no UTF-8 become U+FFFD, so that any parser reads the array.
        {{"--json", playlist},
         "[\r\n  {\"number\": 1, \"title\": \"Song, \\\"Live\\\"\", \"length\": 185, \"start\": 0, "
         "\"path\": \"C:\\\\Music\\\\Artist, The\\\\01.mp3\"},\r\n"
         "  {\"number\": 2, \"title\": \"Radio\", \"length\": null, \"start\": 185, "
         "\"path\": \"http://radio.example/live\"},\r\n"
         "  {\"number\": 3, \"title\": \"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\", "
         "\"length\": 61, \"start\": 185, \"path\": null},\r\n"
         "  {\"number\": 4, \"title\": \"Long\", \"length\": 3725, \"start\": 246, "
         "\"path\": null}\r\n]\r\n"},
        {{"--json", headerOnly}, "[\r\n\r\n]\r\n"},
        // The windows-1251 title read as such, and written as UTF-8.
        {{"--encoding=CP1251", "-f", "%t", playlist},
         "Song, \"Live\"\r\nRadio\r\n\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE\r\nLong\r\n"},
    };
    for (const auto& c : cases) {
        const Result r = RunConvert(c.args);
        EXPECT_EQ(r.exitCode, 0) << c.args.front();
        EXPECT_EQ(r.out, c.out) << c.args.front();
        EXPECT_EQ(r.err, "");
    }
    // A page titled with the playlist's name, every text escaped, the total under the table.
    const Result page = RunConvert({"--html", playlist});
    EXPECT_EQ(page.out.substr(0, 17), "<!DOCTYPE html>\r\n");
    for (const std::string_view part :
         {"<title>shapes</title>", "<h1>shapes</h1>",
          "<tr><td class=\"n\">1</td><td>Song, &quot;Live&quot;</td><td class=\"n\">3:05</td>"
          "<td class=\"n\">0:00</td></tr>\r\n",
          "</tbody>\r\n</table>\r\n<p>4 tracks, 1:06:11, 1 without a length</p>\r\n"})
        EXPECT_NE(page.out.find(part), std::string::npos) << part;
    // A bad duration: the entries before it are written, and no totals.
    const std::string bad = dir.Write("bad.m3u", "#EXTM3U\n#EXTINF:5,a\nx\n#EXTINF:,b\n");
    const Result r = RunConvert({"--csv", bad});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "number,title,seconds,path\r\n1,a,5,x\r\n");
    EXPECT_EQ(r.err, "skaldrun-convert: " + bad + ":4: duration '' is not a number\n");
}

// A line longer than the output buffer goes out whole, and the next one after it.
TEST(SkaldrunConvert, TitleLongerThanTheBuffer) {
    TempDir dir;
    const std::string title(70000, 't');
    const std::string playlist =
        dir.Write("long.m3u", "#EXTM3U\n#EXTINF:1," + title + "\na.mp3\n#EXTINF:2,next\n");
    const Result r = RunConvert({playlist});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "1." + title + "  <0:01>\r\n2.next  <0:02>\r\n");
    EXPECT_EQ(r.err, "");
}

// Through a pipe that brings a few bytes at a time, as from a download, every shape is that of
// the whole file: a cut entry line must outlive the longer cut line after it.
TEST(SkaldrunConvert, ShapesFromSmallReads) {
    TempDir dir;
    const std::string pieces[] = {"#EXTM3U\n#E", "XTINF:3.904,T\n#EXT-X-KEY",
                                  ":METHOD=AES-128\nhttp://a\n"};
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-f", "%S|%t|%p|%c"}, "3.904|T|http://a|0:00\r\n"},
        {{"--csv", "--columns=length,title,path"}, "length,title,path\r\n3.904,T,http://a\r\n"},
        {{"--total"}, "1.T  <0:03>\r\n1 track, 0:00:04\r\n"},
    };
    for (const auto& c : cases) {
        const std::string fifo = dir.File("pipe");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] {
            const int fd = ::open(fifo.c_str(), O_WRONLY);
            for (const std::string& piece : pieces) {
                ::usleep(50'000); // each piece a read of its own
                ASSERT_EQ(::write(fd, piece.data(), piece.size()),
                          static_cast<ssize_t>(piece.size()));
            }
            ::close(fd);
        });
        std::vector<std::string> args = c.args;
        args.push_back("-");
        const Result r = RunConvert(args, {.input = fifo});
        writer.join();
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, c.out) << c.args[0];
        std::filesystem::remove(fifo);
    }
}

TEST(SkaldrunConvert, ReadsStandardInput) {
    const Result r = RunConvert({"--no-time", "-"}, {.input = Sample("cr-only.m3u")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "1.Intro\r\n2.Long Mix, Part 2\r\n");
}

// A PLS and an XSPF, from a file or standard input, give every shape exactly as the M3U they
// amount to; an XML document of another kind is no playlist.
TEST(SkaldrunConvert, PlsAndXspfAreReadAsTheirM3u) {
    TempDir dir;
    const std::string radio = dir.Write(
        "radio.m3u", "#EXTM3U\r\n#EXTINF:-1,(#1 - 12/500) Example FM - "
                     "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8 "
                     "\xD0\xB8 \xD0\xBC\xD1\x83\xD0\xB7\xD1\x8B\xD0\xBA\xD0\xB0\r\n"
                     "http://stream.example.org:8000/live\r\n"
                     "#EXTINF:241,Band - Second Song\r\n"
                     "/home/user/Music/Album/02 Second Song.ogg\r\n"
                     "#EXTINF:75,03 - Third.mp3\r\nC:\\Users\\user\\Music\\03 - Third.mp3\r\n");
    const std::string evening =
        dir.Write("evening.m3u", "#EXTM3U\r\n#EXTINF:212.48,Orchestra - Opening Theme\r\n"
                                 "file:///home/user/Music/Opening%20Theme.flac\r\n"
                                 "#EXTINF:3725,\xD0\x9F\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F <live>\r\n"
                                 "file:///home/user/Music/%D0%9F%D0%B5%D1%81%D0%BD%D1%8F.mp3\r\n"
                                 "#EXTINF:-1,Radio\r\nhttp://radio.example.org/stream\r\n");
    // Two other writers' ways: lower-case keys out of order and LF breaks; ISO-8859-1, CDATA,
    // elements a track list has no use for, and a second location.
    const std::string lowerCase =
        dir.Write("lower-case.m3u",
                  "#EXTM3U\n#EXTINF:200,Caf\xC3\xA9 - A\n/home/user/Music/Caf\xC3\xA9 - A.flac\n"
                  "#EXTINF:61,b.ogg\n/home/user/Music/b.ogg\n");
    const std::string latin1 =
        dir.Write("latin1.m3u", "#EXTM3U\n#EXTINF:90.999,Caf\xC3\xA9 Band - Rock & Roll <1>\n"
                                "http://a/1.ogg\n#EXTINF:-1,Two Words.mp3\n"
                                "file:///C:/Music/Two%20Words.mp3\n");
    for (const auto& [other, m3u] :
         {std::pair{Sample("radio.pls"), radio}, std::pair{Sample("evening.xspf"), evening},
          std::pair{Sample("lower-case.pls"), lowerCase},
          std::pair{Sample("latin1.xspf"), latin1}}) {
#ifndef SKALDRUN_HAVE_EXPAT
        if (other.ends_with(".xspf"))
            continue;
#endif
        for (const std::vector<std::string>& shape :
             {std::vector<std::string>{}, {"--csv"}, {"--total", "--format=%n|%t|%S|%c|%p"}}) {
            std::vector<std::string> fromFile = shape;
            fromFile.push_back(other);
            std::vector<std::string> fromM3u = shape;
            fromM3u.push_back(m3u);
            std::vector<std::string> fromInput = shape;
            fromInput.push_back("-");
            const Result expected = RunConvert(fromM3u);
            EXPECT_EQ(expected.exitCode, 0) << other;
            EXPECT_EQ(RunConvert(fromFile).out, expected.out) << other;
            EXPECT_EQ(RunConvert(fromInput, {.input = other}).out, expected.out) << other;
        }
    }
    const Result html = RunConvert({dir.Write("page.xspf", "<html><body/></html>")});
    EXPECT_EQ(html.exitCode, RunConvert({Sample("not-a-playlist.m3u")}).exitCode);
}

TEST(SkaldrunConvert, WritesTheNamedFileExactly) {
    TempDir dir;
    const Result r = RunConvert({"-o", dir.File("list"), Sample("cr-only.m3u")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadBytes(dir.File("list")), "1.Intro  <1:03>\r\n2.Long Mix, Part 2  <62:05>\r\n");
}

// tests/data/formats holds playlists as real writers make them, each beside the M3U it amounts to
// (NAME.same.m3u) or the message it gets (NAME.error, "{}" standing for its path); NAME.args holds
// options for both, one to a line. Read from a file and from standard input, which take different
// ways through a PLS.
TEST(SkaldrunConvert, FormatSamplesReadAsTheirM3u) {
    const std::filesystem::path folder = Sample("formats");
    const auto text = [](const std::filesystem::path& path) {
        return std::filesystem::exists(path) ? ReadBytes(path.string()) : std::string();
    };
    int samples = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        const std::string name = file.path().filename().string();
        const std::string stem = file.path().stem().string();
        if (name.ends_with(".same.m3u") || name.ends_with(".error") || name.ends_with(".args"))
            continue;
#ifndef SKALDRUN_HAVE_EXPAT
        if (name.ends_with(".xspf"))
            continue;
#endif
        ++samples;
        std::vector<std::string> args;
        std::istringstream lines(text(folder / (stem + ".args")));
        for (std::string arg; std::getline(lines, arg);)
            args.push_back(arg);
        std::string error = text(folder / (stem + ".error"));
        const std::string same = (folder / (stem + ".same.m3u")).string();
        ASSERT_NE(error.empty(), !std::filesystem::exists(same)) << name << ": no outcome given";
        for (const bool fromStandardInput : {false, true}) {
            std::vector<std::string> run = args;
            run.push_back(fromStandardInput ? "-" : file.path().string());
            const Result r =
                RunConvert(run, {.input = fromStandardInput ? file.path().string() : "/dev/null"});
            if (error.empty()) {
                std::vector<std::string> equivalent = args;
                equivalent.push_back(same);
                EXPECT_EQ(r.exitCode, 0) << name << '\n' << r.err;
                EXPECT_EQ(r.out, RunConvert(equivalent).out) << name;
                continue;
            }
            while (!error.empty() && error.back() == '\n')
                error.pop_back();
            std::string expected = error;
            if (const std::size_t path = expected.find("{}"); path != std::string::npos)
                expected.replace(path, 2, fromStandardInput ? "-" : file.path().string());
            EXPECT_NE(r.exitCode, 0) << name;
            EXPECT_EQ(r.err, "skaldrun-convert: " + expected + "\n") << name;
        }
    }
    EXPECT_GT(samples, 0);
}

// A list that fails before its first entry writes nothing, not a document's head alone that no
// reader could parse.
TEST(SkaldrunConvert, FailureBeforeTheFirstEntryWritesNoHead) {
    TempDir dir;
    const std::string bad = dir.Write("bad.m3u", "#EXTM3U\n#EXTINF:x,a\n");
    for (const char* shape : {"--json", "--html", "--csv", "--total"}) {
        const Result r = RunConvert({shape, bad});
        EXPECT_EQ(r.exitCode, 1) << shape;
        EXPECT_EQ(r.out, "") << shape;
    }
}

// A failure never creates or touches -o's file; standard output has what was made before it.
TEST(SkaldrunConvert, FailuresWriteNoFile) {
    TempDir dir;
    const std::string target = dir.File("out.txt");
    const std::string missing = dir.File("missing.m3u");
    const std::string bad = Sample("bad-duration.m3u");
    const std::string badXml =
        dir.Write("bad.xspf",
                  "<?xml version=\"1.0\"?>\n<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList>\n"
                  "<track><title>A</title><duration>5000</duration></track>\n"
                  "<track><title>B</b></track>\n");
    const struct {
        std::string playlist;
        std::string input;
        int exitCode;
        std::string err;
        std::string out;
    } cases[] = {
        {Sample("not-a-playlist.m3u"), "/dev/null", 2,
         "skaldrun-convert: " + Sample("not-a-playlist.m3u") +
             ": not an extended M3U playlist (no #EXTM3U line)\n",
         ""},
        {bad, "/dev/null", 1, "skaldrun-convert: " + bad + ":4: duration '' is not a number\n",
         "1.Fine  <2:00>\r\n"},
        {"-", bad, 1, "skaldrun-convert: -:4: duration '' is not a number\n", "1.Fine  <2:00>\r\n"},
        {badXml, "/dev/null", 1,
         "skaldrun-convert: " + badXml + ":4: XML: mismatched tag, column 18\n", "1.A  <0:05>\r\n"},
        {missing, "/dev/null", 1, "skaldrun-convert: " + missing + ": No such file or directory\n",
         ""},
    };
    for (const auto& c : cases) {
        for (const bool toFile : {false, true}) {
            std::vector<std::string> args{c.playlist};
            if (toFile)
                args.insert(args.begin(), {"-o", target});
            const Result r = RunConvert(args, {.input = c.input});
            EXPECT_EQ(r.exitCode, c.exitCode) << c.playlist;
            EXPECT_EQ(r.err, c.err);
            EXPECT_EQ(r.out, toFile ? "" : c.out);
            EXPECT_FALSE(std::filesystem::exists(target));
        }
    }
}

// -o's file is written as the list is made, yet replaced only by a complete list: one that
// fails part way leaves the old file, whatever its shape, and no copy beside it.
TEST(SkaldrunConvert, OutputFileIsReplacedOnlyWhole) {
    TempDir dir;
    std::string bad = "#EXTM3U\n";
    for (int i = 0; i < 100'000; ++i) // far more than one piece of output
        bad += "#EXTINF:185,Artist - Title\n";
    bad += "#EXTINF:x,Broken\n";
    const std::string playlist = dir.Write("bad.m3u", bad);
    for (const char* shape : {"--no-time", "--total", "--csv"}) {
        const std::string target = dir.Write("out.txt", "old list\r\n");
        const Result r = RunConvert({shape, "-o", target, playlist});
        EXPECT_EQ(r.exitCode, 1) << shape;
        EXPECT_EQ(ReadBytes(target), "old list\r\n") << shape;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                                std::filesystem::directory_iterator()),
                  2);
    }
}

// Whatever can be read is a playlist: a FIFO, /dev/stdin, standard input; - names standard
// output for -o.
TEST(SkaldrunConvert, ReadsStreamsAndWritesStandardOutput) {
    TempDir dir;
    const std::string fifo = dir.File("fifo.m3u");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        // Late, so the command must wait for its writer rather than find one there.
        ::usleep(300 * 1000);
        const std::string bytes = ReadBytes(Sample("cr-only.m3u"));
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        const bool ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) ==
                                       static_cast<ssize_t>(bytes.size());
        ::_exit(ok ? 0 : 1);
    }
    const std::string list = "1.Intro\r\n2.Long Mix, Part 2\r\n";
    const struct {
        std::vector<std::string> args;
        std::string input;
    } cases[] = {
        {{"--no-time", fifo}, "/dev/null"},
        {{"--no-time", "/dev/stdin"}, Sample("cr-only.m3u")},
        {{"--no-time", "-o", "-", "--", "-"}, Sample("cr-only.m3u")},
    };
    for (const auto& c : cases) {
        const Result r = RunConvert(c.args, {.input = c.input});
        EXPECT_EQ(r.exitCode, 0) << c.args[1];
        EXPECT_EQ(r.out, list);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.leftBehind, 0U); // "-o -" writes no file named "-"
    }
    int status = 0;
    ::waitpid(writer, &status, 0);
}

// A writer already waiting at a FIFO is met by the one open that reads it: an open made only to
// learn the file's kind would release the writer into a pipe closed unread.
TEST(SkaldrunConvert, FifoWithAWaitingWriterLosesNothing) {
    TempDir dir;
    const std::string fifo = dir.File("waiting.m3u");
    const std::string bytes = "#EXTM3U\n#EXTINF:5,T\n";
    int hangs = 0;
    int lost = 0;
    for (int run = 0; run < 200; ++run) {
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        int started[2];
        ASSERT_EQ(::pipe(started), 0);
        const pid_t writer = ::fork();
        if (writer == 0) {
            ::alarm(10);
            ::close(started[0]);
            ::close(started[1]);
            const int fd = ::open(fifo.c_str(), O_WRONLY);
            const bool ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) ==
                                           static_cast<ssize_t>(bytes.size());
            ::_exit(ok ? 0 : 1);
        }
        ::close(started[1]);
        char none = 0;
        EXPECT_EQ(::read(started[0], &none, 1), 0);
        ::close(started[0]);
        ::usleep(1000); // into its open
        const Result r = RunConvert({fifo}, {.timeLimit = 10});
        hangs += r.exitCode == 128 + SIGALRM;
        lost += r.exitCode != 128 + SIGALRM && r.out != "1.T  <0:05>\r\n";
        ::kill(writer, SIGKILL); // still waiting where the command never came
        ::waitpid(writer, nullptr, 0);
        std::filesystem::remove(fifo);
    }
    EXPECT_EQ(hangs, 0);
    EXPECT_EQ(lost, 0);
}

TEST(SkaldrunConvert, SaveErrorsAreTheWindowsOnes) {
    TempDir dir;
    std::filesystem::create_symlink("/dev/full", dir.Path() / "full");
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    const std::string old = dir.Write("old", "old list\r\n");
    const std::string linked = dir.Write("linked", "old list\r\n");
    std::string entries = "#EXTM3U\n";
    for (int i = 0; i < 20; ++i)
        entries += "#EXTINF:185,Artist - Title\n";
    const std::string playlist = dir.Write("list.m3u", entries); // a 600-byte list
    ASSERT_EQ(::link(linked.c_str(), dir.File("link").c_str()), 0);
    const char* const failingClose = SKALDRUN_FAILING_CLOSE;
    const struct {
        std::string target;
        rlim_t fileSizeLimit;
        const char* preload;
        std::string err;
    } cases[] = {
        {dir.File("full"), RLIM_INFINITY, nullptr,
         "skaldrun-convert: " + dir.File("full") + ": write error: No space left on device\n"},
        {dir.File("no/list"), RLIM_INFINITY, nullptr,
         "skaldrun-convert: " + dir.File("no/list") + ": No such file or directory\n"},
        // Over the limit, which the message itself fits: reported, not killed by the signal.
        {old, 200, nullptr, "skaldrun-convert: " + old + ": write error: File too large\n"},
        // A write lost at close is as much a failure as one lost at write, also in place.
        {old, RLIM_INFINITY, failingClose,
         "skaldrun-convert: " + old + ": write error: Input/output error\n"},
        {linked, RLIM_INFINITY, failingClose,
         "skaldrun-convert: " + linked + ": write error: Input/output error\n"},
        // A FIFO that nobody can open: a folder's name with a FIFO's after it.
        {dir.File("fifo/list"), RLIM_INFINITY, nullptr,
         "skaldrun-convert: " + dir.File("fifo/list") + ": Not a directory\n"},
    };
    for (const auto& c : cases) {
        const Result r = RunConvert({"-o", c.target, playlist},
                                    {.fileSizeLimit = c.fileSizeLimit, .preload = c.preload});
        EXPECT_EQ(r.exitCode, 1) << c.target;
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(ReadBytes(old), "old list\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              6); // nothing left beside the targets and the playlist
}

// A write into a hard-linked file that fails once begun leaves the whole new list in its copy,
// which the message names.
TEST(SkaldrunConvert, AFailedInPlaceWriteNamesTheCopy) {
    TempDir dir;
    const std::string linked = dir.Write("linked", "old list\r\n");
    ASSERT_EQ(::link(linked.c_str(), dir.File("link").c_str()), 0);
    const std::string playlist = dir.Write("list.m3u", "#EXTM3U\n#EXTINF:185,Artist - Title\n");
    ::setenv("SKALDRUN_FAIL_CLOSE_LINKED", "1", 1);
    const Result r = RunConvert({"-o", linked, playlist}, {.preload = SKALDRUN_FAILING_CLOSE});
    ::unsetenv("SKALDRUN_FAIL_CLOSE_LINKED");
    std::vector<std::string> copies;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        if (entry.path().filename().string().starts_with(".linked."))
            copies.push_back(entry.path().string());
    ASSERT_EQ(copies.size(), 1U) << r.err;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "skaldrun-convert: " + linked +
                         ": write error: Input/output error; the whole new list is kept in " +
                         copies[0] + "\n");
    EXPECT_EQ(ReadBytes(copies[0]), "1.Artist - Title  <3:05>\r\n");
}

// -o onto a FIFO waits for its reader, as cp and the shell do, whoever comes first.
TEST(SkaldrunConvert, FifoOutputWaitsForItsReader) {
    TempDir dir;
    const std::string playlist = dir.Write("list.m3u", "#EXTM3U\r\n#EXTINF:5,Song\r\n");
    const std::string fifo = dir.File("pf");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Result result;
    std::thread command([&] { result = RunConvert({"-o", fifo, playlist}); });
    ::usleep(200'000); // the command is there first
    EXPECT_EQ(ReadBytes(fifo), "1.Song  <0:05>\r\n");
    command.join();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
}

// Lines end as the system's tools expect, LF here, whatever the shape; --crlf gives the
// window's breaks and --lf LF again, the last one given counting.
TEST(SkaldrunConvert, LineBreaksAreTheSystemsUnlessChosen) {
    TempDir dir;
    const std::string playlist =
        dir.Write("breaks.m3u", "#EXTM3U\r\n#EXTINF:185,01-Intro\r\na.mp3\r\n#EXTINF:5,b\n");
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{playlist}, "1.Intro  <3:05>\n2.b  <0:05>\n"},
        {{"--crlf", playlist}, "1.Intro  <3:05>\r\n2.b  <0:05>\r\n"},
        {{"--crlf", "--lf", playlist}, "1.Intro  <3:05>\n2.b  <0:05>\n"},
        {{"--total", "-f", "%t\r%c", playlist}, "Intro\r0:00\nb\r3:05\n2 tracks, 0:03:10\n"},
        {{"--csv", playlist}, "number,title,seconds,path\n1,Intro,185,a.mp3\n2,b,5,\n"},
        {{"--json", playlist},
         "[\n  {\"number\": 1, \"title\": \"Intro\", \"length\": 185, \"start\": 0, \"path\": "
         "\"a.mp3\"},\n  {\"number\": 2, \"title\": \"b\", \"length\": 5, \"start\": 185, "
         "\"path\": null}\n]\n"},
    };
    for (const auto& c : cases) {
        struct Setup setup;
        setup.systemBreaks = true;
        const Result r = RunConvert(c.args, setup);
        EXPECT_EQ(r.out, c.out) << c.args.front();
        EXPECT_EQ(r.exitCode, 0);
    }
}

// Errors as coreutils write them, naming the file as it was given: in English under C, in
// Russian under a Russian locale (made here, since a machine need not have one).
TEST(SkaldrunConvert, MessagesSpeakTheUsersLanguage) {
    TempDir dir;
    const std::string locales = dir.File("locales");
    std::filesystem::create_directory(locales);
    const int made = std::system(
        ("localedef -i ru_RU -f UTF-8 " + locales + "/ru_RU.UTF-8 >/dev/null 2>&1").c_str());
    const std::string notPlaylist = dir.Write("notpl.txt", "hello\n");
    const std::string bad = dir.Write("bad.m3u", "#EXTM3U\n#EXTINF:,a\n");
    dir.Write("tag.xspf", "<playlist>\n<a></b>");
    dir.Write("named.xspf", "<?xml version=\"1.0\" encoding=\"x-mac-foo\"?>\n<playlist/>");
    const struct {
        std::vector<std::string> args;
        std::string english;
        std::string russian;
    } cases[] = {
#ifdef SKALDRUN_HAVE_EXPAT
        {{"tag.xspf"},
         "skaldrun-convert: tag.xspf:2: XML: mismatched tag, column 6\n",
         "skaldrun-convert: tag.xspf:2: XML: несоответствующий тег, столбец 6\n"},
        {{"named.xspf"},
         "skaldrun-convert: named.xspf:1: XML: unknown encoding 'x-mac-foo', column 31\n",
         "skaldrun-convert: named.xspf:1: XML: неизвестная кодировка «x-mac-foo», столбец 31\n"},
#endif
        {{"notpl.txt"},
         "skaldrun-convert: notpl.txt: not an extended M3U playlist (no #EXTM3U line)\n",
         "skaldrun-convert: notpl.txt: это не расширенный плейлист M3U (нет строки #EXTM3U)\n"},
        {{"bad.m3u"},
         "skaldrun-convert: bad.m3u:2: duration '' is not a number\n",
         "skaldrun-convert: bad.m3u:2: длительность «» не число\n"},
        {{},
         "skaldrun-convert: no playlist given\n"
         "Try 'skaldrun-convert --help' for more information.\n",
         "skaldrun-convert: не указан плейлист\n"
         "По команде «skaldrun-convert --help» можно получить дополнительную информацию.\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (!args.empty()) // named as the user would, from the folder that holds it
            args.back() = dir.File(args.back());
        struct Setup english;
        const Result r = RunConvert(args, english);
        std::string expected = c.english;
        if (!args.empty())
            expected.replace(expected.find(c.args.back()), c.args.back().size(), args.back());
        EXPECT_EQ(r.err, expected);
        if (made != 0)
            continue;
        struct Setup russian;
        russian.locale = "ru_RU.UTF-8";
        russian.localeFolder = locales;
        expected = c.russian;
        if (!args.empty())
            expected.replace(expected.find(c.args.back()), c.args.back().size(), args.back());
        EXPECT_EQ(RunConvert(args, russian).err, expected);
    }
    if (made != 0)
        GTEST_SKIP() << "no Russian locale could be made (the locales package is missing)";
    // The help too, kept up with the English one: a translation gone stale would be English.
    struct Setup russian;
    russian.locale = "ru_RU.UTF-8";
    russian.localeFolder = locales;
    const std::string help = RunConvert({"--help"}, russian).out;
    EXPECT_TRUE(help.starts_with("Использование: skaldrun-convert")) << help;
    EXPECT_EQ(test::OptionsNamed(help, false),
              test::OptionsNamed(RunConvert({"--help"}).out, false));
}

// The manual names every option --help names, in its synopsis and its list alike, and no
// other; its exit statuses are the command's.
TEST(SkaldrunConvert, TheManualAgreesWithTheHelp) {
    const std::set<std::string> help = test::OptionsNamed(RunConvert({"--help"}).out, false);
    EXPECT_GE(help.size(), 15U);
    EXPECT_EQ(test::OptionsNamed(test::ManualSection(SKALDRUN_MANUAL, "OPTIONS"), true), help);
    std::set<std::string> synopsis =
        test::OptionsNamed(test::ManualSection(SKALDRUN_MANUAL, "SYNOPSIS"), true);
    std::set<std::string> usage = test::OptionsNamed(
        RunConvert({"--help"}).out.substr(0, RunConvert({"--help"}).out.find("\n\n")), false);
    EXPECT_EQ(synopsis, usage);
    const std::string statuses = test::ManualSection(SKALDRUN_MANUAL, "EXIT STATUS");
    for (const char* status : {".B 0\n", ".B 1\n", ".B 2\n", ".B 64\n"})
        EXPECT_NE(statuses.find(status), std::string::npos) << status;
    EXPECT_NE(test::ManualSection(SKALDRUN_MANUAL, "SEE ALSO").find("skaldrun (1)"),
              std::string::npos);
}

// A usage error says what was wrong and where help is.
TEST(SkaldrunConvert, Usage) {
    const std::string help = "Try 'skaldrun-convert --help' for more information.\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{}, "skaldrun-convert: no playlist given\n"},
        {{"--bogus", "x.m3u"}, "skaldrun-convert: unrecognized option '--bogus'\n"},
        {{"--no-time=1", "x.m3u"},
         "skaldrun-convert: option '--no-time' doesn't allow an argument\n"},
        {{"-x", "x.m3u"}, "skaldrun-convert: invalid option -- 'x'\n"},
        {{"a.m3u", "b.m3u"}, "skaldrun-convert: one playlist at a time: 'b.m3u' is one too many\n"},
        {{"-o"}, "skaldrun-convert: option requires an argument -- 'o'\n"},
        {{"-o", "a", "-o", "b", "x.m3u"}, "skaldrun-convert: -o given twice\n"},
        {{""}, "skaldrun-convert: the playlist's name is empty\n"},
        {{"--format=%x", "x.m3u"},
         "skaldrun-convert: unknown field '%x' in the template (%n %t %d %s %S %c %p %{NAME} "
         "%%)\n"},
        {{"-f", "%{}", "x.m3u"}, "skaldrun-convert: an attribute field is written %{NAME}\n"},
        {{"-o", "", "x.m3u"}, "skaldrun-convert: the output file's name is empty\n"},
        {{"--columns=title", "x.m3u"}, "skaldrun-convert: --columns goes with --csv\n"},
        {{"--csv", "--columns=title,,path", "x.m3u"},
         "skaldrun-convert: a column without a name in 'title,,path'\n"},
        {{"-f", "100%", "x.m3u"}, "skaldrun-convert: the template ends in a lone '%'\n"},
        {{"-f", "%t", "--no-time", "x.m3u"},
         "skaldrun-convert: --no-time does not go with a shape: it decides\n"},
        {{"--csv", "--no-counter", "x.m3u"},
         "skaldrun-convert: --no-counter does not go with a shape: it decides\n"},
        {{"--json", "--no-counter", "x.m3u"},
         "skaldrun-convert: --no-counter does not go with a shape: it decides\n"},
        {{"--csv", "--total", "x.m3u"},
         "skaldrun-convert: --total goes with the lines of a list: a table or a page has none\n"},
        {{"--html", "--total", "x.m3u"},
         "skaldrun-convert: --total goes with the lines of a list: a table or a page has none\n"},
        {{"--csv", "-f", "%t", "x.m3u"},
         "skaldrun-convert: --format, --csv, --json and --html are shapes: choose one\n"},
        {{"--encoding=latin9", "x.m3u"},
         "skaldrun-convert: unknown encoding 'latin9' (utf-8, windows-1251, windows-1252, koi8-r, "
         "cp866)\n"},
        {{"--json", "--html", "x.m3u"},
         "skaldrun-convert: --format, --csv, --json and --html are shapes: choose one\n"},
    };
    for (const auto& c : cases) {
        const Result r = RunConvert(c.args);
        EXPECT_EQ(r.exitCode, 64);
        EXPECT_EQ(r.err, c.err + help);
        EXPECT_EQ(r.out, "");
    }
    for (const char* option : {"--help", "-h", "--version", "-V"}) {
        const Result r = RunConvert({option});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.starts_with(option[1] == 'h' || option[2] == 'h'
                                          ? "Usage: skaldrun-convert"
                                          : "skaldrun-convert (Skaldrun) " +
                                                std::string(kVersionText) + "\n"));
        // Their own output fails like a list's.
        const Result full = RunConvert({option}, {.output = "/dev/full"});
        EXPECT_EQ(full.exitCode, 1) << option;
        EXPECT_EQ(full.err, "skaldrun-convert: write error: No space left on device\n");
    }
}

} // namespace
} // namespace skaldrun
