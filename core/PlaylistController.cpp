#include "core/PlaylistController.h"

#include "core/Convert.h"
#include "core/TextFiles.h"

#include <algorithm>

namespace skaldrun {

PlaylistController::PlaylistController(const ConvertOptions& options, MessageService& messages,
                                       ClipboardService& clipboard)
    : options_(options)
    , messages_(messages)
    , clipboard_(clipboard) {}

void PlaylistController::Notify(unsigned changes) {
    if (observer_ != nullptr && changes != 0)
        observer_->StateChanged(changes);
}

void PlaylistController::SetFileName(std::string fileName) {
    fileName_ = std::move(fileName);
}

void PlaylistController::SetConvertedSelection(Selection selection) {
    const std::size_t size = converted_->Size();
    selection.start = std::min(selection.start, size);
    selection.length = std::min(selection.length, size - selection.start);
    if (selection == selection_)
        return;
    selection_ = selection;
    Notify(SelectionChanged);
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

void PlaylistController::SetStatus(std::string_view status) {
    if (status_ == status)
        return;
    status_ = status;
    Notify(StatusChanged);
}

void PlaylistController::SetLoaded(bool loaded) {
    if (loaded_ == loaded)
        return;
    loaded_ = loaded;
    Notify(LoadedChanged);
}

void PlaylistController::LoadPlaylist() {
    // New documents: the views let go of the old ones, so a huge earlier playlist does not stay
    // in memory beside the next (a copy on the clipboard keeps only what it holds).
    source_ = std::make_shared<TextDocument>();
    converted_ = std::make_shared<TextDocument>();
    selection_ = Selection();
    Notify(SourceTextChanged | ConvertedTextChanged | SelectionChanged);

    source_ = std::make_shared<TextDocument>(ReadTextFile(fileName_));
    Notify(SourceTextChanged);

    bool isPlaylist = false;
    std::string scratch;
    const std::string_view playlist = source_->Range(0, source_->Size(), scratch);
    CrLfText converted;
    std::vector<std::size_t> lineStarts;
    converted.reserve(playlist.size()); // a list is seldom longer than its playlist
    try {
        isPlaylist = ConvertPlaylist(SplitLines(playlist), options_, converted, &lineStarts);
    } catch (...) {
        // The lines made before the faulty entry stay on show.
        converted_ = std::make_shared<TextDocument>(std::move(converted), std::move(lineStarts));
        Notify(ConvertedTextChanged);
        throw;
    }
    converted_ = std::make_shared<TextDocument>(std::move(converted), std::move(lineStarts));
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
    SetStatus(fileName_);
}

void PlaylistController::SelectView(int index) {
    const bool converted = index != 0;
    SetSelector(converted ? 1 : 0, selectorEnabled_);
    SetExportEnabled(converted);
    SetVisibleView(converted ? ViewKind::Converted : ViewKind::Source);
}

void PlaylistController::CopyConverted() {
    if (selection_.length == 0) {
        selection_ = Selection{0, converted_->Size()};
        Notify(SelectionChanged);
    }
    // An empty view has nothing to copy; the clipboard keeps what the user put there.
    if (selection_.length == 0)
        return;
    clipboard_.CopyRange(*converted_, selection_.start, selection_.start + selection_.length);
}

} // namespace skaldrun
