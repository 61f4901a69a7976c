#pragma once

// The command's shapes of a track list besides the window's: a line template, CSV rows and a
// line of totals. Bytes pass unchanged; only the numbers are written by us.

#include "core/Convert.h"
#include "core/ConvertOptions.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace skaldrun {

// A template or a column list that cannot be read: what is wrong, worded in English with %1 for
// the part at fault, so that the command can word it in the user's language.
class EShapeError : public std::invalid_argument {
public:
    EShapeError(const char* wording, std::string part);
    const char* Wording() const noexcept { return wording_; }
    const std::string& Part() const noexcept { return part_; }

private:
    const char* wording_;
    std::string part_;
};

// How an entry becomes one line of the list, without its line break: written into room of
// MaxLength bytes, so that a list of millions of lines needs no allocation per line.
class LineShape {
public:
    virtual ~LineShape() = default;
    virtual std::size_t MaxLength(const PlaylistEntry& entry) const noexcept = 0;
    // Returns the end of what was written.
    virtual char* Write(const PlaylistEntry& entry, char* out) const noexcept = 0;
    void Append(const PlaylistEntry& entry, std::string& out) const;
};

// Text with the fields %n (number), %t (title), %d (m:ss), %s (whole seconds), %S (the length
// as written), %c (the start: the exact sum of the lengths before, m:ss or h:mm:ss), %p (media
// line), %{NAME} (the value of the entry's attribute NAME) and %% (a percent sign).
class ListTemplate final : public LineShape {
public:
    // Fails with EShapeError saying what is wrong: an unknown field, a lone '%'.
    explicit ListTemplate(std::string_view text);
    std::size_t MaxLength(const PlaylistEntry& entry) const noexcept override;
    char* Write(const PlaylistEntry& entry, char* out) const noexcept override;

private:
    struct Part {
        char field = 0; // 0: literal text; '{': an attribute, named by text
        std::string text;
    };
    std::vector<Part> parts_;
    std::size_t literalLength_ = 0;
    std::size_t fields_ = 0;
};

// The window's shape, as ConvertPlaylist writes it.
class DefaultLine final : public LineShape {
public:
    explicit DefaultLine(const ConvertOptions& options)
        : options_(options) {}
    std::size_t MaxLength(const PlaylistEntry& entry) const noexcept override;
    char* Write(const PlaylistEntry& entry, char* out) const noexcept override;

private:
    ConvertOptions options_;
};

// One CSV row of the chosen columns: number, title, seconds, length (as written), start, path,
// or any other name for the entry's attribute of that name. RFC 4180: a field holding a comma
// or a quote is quoted, its quotes doubled (a playlist's line holds no line break).
class CsvRow final : public LineShape {
public:
    static constexpr std::string_view kColumns = "number,title,seconds,path";
    // Fails with EShapeError for an empty column name.
    explicit CsvRow(std::string_view columns = kColumns);
    // The header line: the column names.
    const std::string& Header() const noexcept { return header_; }
    std::size_t MaxLength(const PlaylistEntry& entry) const noexcept override;
    char* Write(const PlaylistEntry& entry, char* out) const noexcept override;

private:
    struct Column {
        char field = 0; // as in a template: n, t, s, S, c, p, or '{' for an attribute
        std::string name;
    };
    std::vector<Column> columns_;
    std::string header_;
};

// One JSON object a line, {"number": 1, "title": "…", "length": 185.5, "start": 0, "path": "…"}:
// lengths and starts in seconds, an unknown length and a missing path null; text escaped, and
// bytes that are no UTF-8 written as U+FFFD, so that any parser reads the list.
class JsonObject final : public LineShape {
public:
    std::size_t MaxLength(const PlaylistEntry& entry) const noexcept override;
    char* Write(const PlaylistEntry& entry, char* out) const noexcept override;
};

// One row of a printable page's table: number, title, length (m:ss) and start, text escaped.
class HtmlRow final : public LineShape {
public:
    std::size_t MaxLength(const PlaylistEntry& entry) const noexcept override;
    char* Write(const PlaylistEntry& entry, char* out) const noexcept override;
};

// The value of the attribute name in an #EXTINF: line's duration field, quotes removed; empty
// when it has none. Names match whatever their case.
std::string_view AttributeValue(std::string_view field, std::string_view name) noexcept;

// What stands around a shape's lines: a head before the first, the text between two (none: each
// line ends in a break of its own), and a tail made from the totals after the last.
struct ListFrame {
    std::string head;
    std::string between;
    std::function<std::string(const ListTotals&)> tail;
};

// Lines each with its break, after a header line where there is one and before the totals'
// line where asked.
ListFrame LineFrame(std::string_view header, bool totals);
// A JSON array of the objects.
ListFrame JsonFrame();

// What a printable page says around its rows, in the reader's language.
struct PageWords {
    std::string language; // as HTML names it: "en", "ru"
    std::string number, title, length, start;
    std::function<std::string(const ListTotals&)> total;
};
// An HTML page titled with the playlist's name, its rows in a table and the total under it.
ListFrame PageFrame(std::string_view name, const PageWords& words);

class LineOutput;

// A list in one of these shapes, made from the entries as they are read, in its frame; handed
// on through a fixed buffer, as the window's shape is.
class ShapedList final : public EntrySink {
public:
    ShapedList(const LineShape& line, ListFrame frame, TextSink& sink);
    ShapedList(const LineShape& line, std::string_view header, bool totals, TextSink& sink)
        : ShapedList(line, LineFrame(header, totals), sink) {}
    ~ShapedList() override;
    ShapedList(const ShapedList&) = delete;
    ShapedList& operator=(const ShapedList&) = delete;

    void Entry(const PlaylistEntry& entry) override;
    // What was made so far goes out; nothing before the first entry, not even the head.
    void Flush();
    void Finish();

private:
    void Start();

    const LineShape& line_;
    ListFrame frame_;
    TextSink& sink_;
    std::unique_ptr<LineOutput> output_;
    ListTotals sum_;
    bool started_ = false;
};

} // namespace skaldrun
