#include "core/PlaylistController.h"

#include "core/Convert.h"
#include "core/PlaylistFormats.h"
#include "core/TextFiles.h"

#include <algorithm>

namespace skaldrun {

PlaylistController::PlaylistController(const ConvertOptions& options, MessageService& messages,
                                       ClipboardService& clipboard)
    : options_(options)
    , messages_(messages)
    , clipboard_(clipboard) {
    converted_->Watch(*this);
}

// The list may outlive the controller in a view or on the clipboard.
PlaylistController::~PlaylistController() {
    converted_->Unwatch(*this);
}

void PlaylistController::TextChanged(const TextChange&) {
    if (edited_ == converted_->IsModified())
        return;
    edited_ = !edited_;
    Notify(ListEditedChanged);
}

void PlaylistController::SetConverted(std::shared_ptr<TextDocument> converted) {
    converted_->Unwatch(*this);
    converted_ = std::move(converted);
    converted_->Watch(*this);
    selection_ = std::make_shared<SelectionModel>();
    if (edited_) {
        edited_ = false;
        Notify(ListEditedChanged);
    }
}

void PlaylistController::Notify(unsigned changes) {
    if (observer_ != nullptr && changes != 0)
        observer_->StateChanged(changes);
}

void PlaylistController::SetFileName(std::string fileName) {
    fileName_ = std::move(fileName);
}

void PlaylistController::SetVisibleView(ViewKind view) {
    if (visible_ == view)
        return;
    visible_ = view;
    Notify(VisibleViewChanged);
}

void PlaylistController::SetExportEnabled(bool enabled) {
    if (exportEnabled_ == enabled)
        return;
    exportEnabled_ = enabled;
    Notify(ExportEnabledChanged);
}

void PlaylistController::SetSelector(int index, bool enabled) {
    if (selectorIndex_ == index && selectorEnabled_ == enabled)
        return;
    selectorIndex_ = index;
    selectorEnabled_ = enabled;
    Notify(SelectorChanged);
}

void PlaylistController::SetStatus(std::string_view status, std::string total) {
    if (status_ == status && total_ == total)
        return;
    status_ = status;
    total_ = std::move(total);
    Notify(StatusChanged);
}

void PlaylistController::SetLoaded(bool loaded) {
    if (loaded_ == loaded)
        return;
    loaded_ = loaded;
    Notify(LoadedChanged);
}

std::string_view PlaylistController::Playlist(std::string& scratch) const {
    if (!sourceUtf16_.empty())
        return sourceUtf16_;
    return source_->Range(0, source_->Size(), scratch);
}

void PlaylistController::LoadPlaylist() {
    // New documents: the views let go of the old ones, so a huge earlier playlist does not stay
    // in memory beside the next (a copy on the clipboard keeps only what it holds).
    source_ = std::make_shared<TextDocument>();
    SetConverted(std::make_shared<TextDocument>());
    Notify(SourceTextChanged | ConvertedTextChanged);
    SetStatus(status_); // no total beside it until this list is read

    sourceUtf16_.clear();
    source_ = std::make_shared<TextDocument>(ReadTextFile(fileName_, kViewCapacity, &sourceUtf16_));
    Notify(SourceTextChanged);

    bool isPlaylist = false;
    std::string scratch;
    std::string_view playlist = Playlist(scratch);
    // A PLS or an XSPF is converted as the M3U it amounts to; the source view shows it as it is.
    std::string translated;
    const std::optional<PlaylistFormat> format = FormatOf(playlist);
    if (format && *format != PlaylistFormat::M3u) {
        translated = AsM3u(playlist);
        playlist = translated;
    }
    CrLfText converted;
    std::vector<std::size_t> lineStarts;
    ListTotals totals;
    converted.reserve(playlist.size()); // a list is seldom longer than its playlist
    try {
        isPlaylist =
            ConvertPlaylist(SplitLines(playlist), options_, converted, &lineStarts, &totals);
    } catch (...) {
        // The lines made before the faulty entry stay on show.
        SetConverted(std::make_shared<TextDocument>(std::move(converted), std::move(lineStarts)));
        Notify(ConvertedTextChanged);
        throw;
    }
    SetConverted(std::make_shared<TextDocument>(std::move(converted), std::move(lineStarts)));
    Notify(ConvertedTextChanged);

    if (!isPlaylist) {
        SetLoaded(false);
        SetVisibleView(ViewKind::Converted);
        SetExportEnabled(false);
        SetSelector(0, false);
        SetStatus(kEmptyStatus);
        messages_.ShowMessage(kNotAPlaylistMessage);
        return;
    }

    SetLoaded(true);
    if (options_.AutoOpen) {
        SetVisibleView(ViewKind::Converted);
        SetExportEnabled(true);
        SetSelector(1, selectorEnabled_);
        if (options_.AutoCopy)
            CopyConverted();
    } else {
        SetVisibleView(ViewKind::Source);
        SetExportEnabled(false);
        SetSelector(0, selectorEnabled_);
    }
    SetSelector(selectorIndex_, true);
    SetStatus(fileName_, skaldrun::TotalText(totals));
}

void PlaylistController::ExportList(ListFormat format, const std::string& path, CodePage shownIn) {
    std::string scratch;
    const std::string_view playlist = Playlist(scratch);
    FileTextSink file(path);
    // A file is only replaced by a whole list: a failure leaves the old one as it was.
    if (skaldrun::ExportList(playlist, shownIn, format, options_, PlaylistTitle(fileName_), file))
        file.Commit();
}

void PlaylistController::SelectView(int index) {
    const bool converted = index != 0;
    SetSelector(converted ? 1 : 0, selectorEnabled_);
    SetExportEnabled(converted);
    SetVisibleView(converted ? ViewKind::Converted : ViewKind::Source);
}

// Nothing selected, everything is, with the caret at its start so the view stays where it is.
void PlaylistController::CopyConverted() {
    const std::size_t size = converted_->Size();
    if (selection_->Get().Empty())
        selection_->Set({size, 0});
    const TextSelection& selection = selection_->Get();
    const std::size_t from = std::min(selection.Start(), size);
    const std::size_t to = std::min(selection.End(), size);
    // An empty view has nothing to copy; the clipboard keeps what the user put there.
    if (from == to)
        return;
    clipboard_.CopyRange(*converted_, from, to);
}

} // namespace skaldrun
