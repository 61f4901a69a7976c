#include "core/ListExport.h"

#include "core/CodePages.h"
#include "core/ListShapes.h"
#include "core/PlaylistFormats.h"

#include <memory>

namespace skaldrun {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The playlist decoded and read as its M3U into a conversion with Feed and Finish.
template <typename Conversion>
bool Run(std::string_view playlist, CodePage page, Conversion& conversion) {
    PlaylistTranslator m3u([&conversion](std::string_view piece) { conversion.Feed(piece); });
    PlaylistDecoder decoded(page, [&m3u](std::string_view piece) { m3u.Feed(piece); });
    decoded.Feed(playlist);
    decoded.Finish();
    return m3u.Finish() && conversion.Finish();
}

} // namespace

std::string TotalText(const ListTotals& totals) {
    const std::uint64_t n = totals.Count();
    const char* const tracks = n % 10 == 1 && n % 100 != 11 ? " трек, "
                               : n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 12 || n % 100 > 14)
                                   ? " трека, "
                                   : " треков, ";
    std::string text = std::to_string(n) + tracks + HoursMinutesSeconds(totals.Seconds());
    if (totals.Unknown() > 0)
        text += ", " + std::to_string(totals.Unknown()) + " без длительности";
    return text;
}

std::string_view PlaylistTitle(std::string_view path) noexcept {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot == 0 || dot == std::string_view::npos ? name : name.substr(0, dot);
}

bool ExportList(std::string_view playlist, CodePage page, ListFormat format,
                const ConvertOptions& options, std::string_view name, TextSink& sink) {
    if (format == ListFormat::List) {
        StreamedConversion list(options, sink);
        return Run(playlist, page, list);
    }
    std::unique_ptr<LineShape> line;
    ListFrame frame;
    switch (format) {
    case ListFormat::Chapters:
        line = std::make_unique<ListTemplate>("%c %t");
        break;
    case ListFormat::Csv: {
        auto row = std::make_unique<CsvRow>("number,title,length,start,path");
        frame = LineFrame(std::string(kByteOrderMark) + row->Header(), false);
        line = std::move(row);
        break;
    }
    case ListFormat::Html:
        line = std::make_unique<HtmlRow>();
        frame = PageFrame(name, {"ru", "№", "Название", "Длительность", "Начало", &TotalText});
        break;
    case ListFormat::Json:
        line = std::make_unique<JsonObject>();
        frame = JsonFrame();
        break;
    case ListFormat::List:
        break;
    }
    ShapedList list(*line, std::move(frame), sink);
    StreamedEntries entries(options.DeleteDigits, list);
    const bool isPlaylist = Run(playlist, page, entries);
    if (isPlaylist)
        list.Finish();
    return isPlaylist;
}

} // namespace skaldrun
