#pragma once

// The command's shapes of a track list besides the window's: a line template, CSV rows and a
// line of totals. Bytes pass unchanged; only the numbers are written by us.

#include "core/Convert.h"
#include "core/ConvertOptions.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace skaldrun {

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
    // Fails with std::invalid_argument saying what is wrong: an unknown field, a lone '%'.
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
    // Fails with std::invalid_argument for an empty column name.
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

// The value of the attribute name in an #EXTINF: line's duration field, quotes removed; empty
// when it has none. Names match whatever their case.
std::string_view AttributeValue(std::string_view field, std::string_view name) noexcept;

class LineOutput;

// A list in one of these shapes, made from the entries as they are read: a header line first
// where there is one, a line of each entry's shape, the totals last where asked; handed on
// through a fixed buffer, as the window's shape is.
class ShapedList final : public EntrySink {
public:
    ShapedList(const LineShape& line, std::string_view header, bool totals, TextSink& sink);
    ~ShapedList() override;
    ShapedList(const ShapedList&) = delete;
    ShapedList& operator=(const ShapedList&) = delete;

    void Entry(const PlaylistEntry& entry) override;
    // What was made so far goes out.
    void Flush();
    void Finish();

private:
    void Start();

    const LineShape& line_;
    std::string_view header_;
    bool totals_;
    TextSink& sink_;
    std::unique_ptr<LineOutput> output_;
    ListTotals sum_;
    bool started_ = false;
};

} // namespace skaldrun
