#pragma once

// The command's shapes of a track list besides the window's: a line template, CSV rows and a
// line of totals. Bytes pass unchanged; only the numbers are written by us.

#include "core/Convert.h"
#include "core/ConvertOptions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skaldrun {

// A line made of text and the fields %n (number), %t (title), %d (m:ss), %s (seconds),
// %p (media line) and %% (a percent sign).
class ListTemplate {
public:
    // Fails with std::invalid_argument saying what is wrong: an unknown field, a lone '%'.
    explicit ListTemplate(std::string_view text);
    // Appends the entry's line, without its line break.
    void Append(const PlaylistEntry& entry, std::string& out) const;

private:
    struct Part {
        char field = 0; // 0: literal text
        std::string text;
    };
    std::vector<Part> parts_;
};

// The window's shape of one line, as ConvertPlaylist writes it.
void AppendDefaultLine(const PlaylistEntry& entry, const ConvertOptions& options, std::string& out);

// RFC 4180: a field holding a comma, a quote or a line break is quoted, its quotes doubled.
void AppendCsvField(std::string_view field, std::string& out);
inline constexpr std::string_view kCsvHeader = "number,title,seconds,path";
void AppendCsvRow(const PlaylistEntry& entry, std::string& out);

// The count of entries and their summed length.
class ListTotals {
public:
    void Add(const PlaylistEntry& entry) noexcept;
    // "12 tracks, 0:47:13", with ", 2 without a length" where some have none.
    std::string Line() const;

private:
    std::uint64_t count_ = 0;
    std::uint64_t seconds_ = 0;
    std::uint64_t unknown_ = 0;
};

} // namespace skaldrun
