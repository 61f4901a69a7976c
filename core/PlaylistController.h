#pragma once

#include "core/ClipboardService.h"
#include "core/ConvertOptions.h"
#include "core/ListExport.h"
#include "core/MessageService.h"
#include "core/TextDocument.h"
#include "core/TextSelection.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace skaldrun {

inline constexpr std::string_view kEmptyStatus = "Пусто";

enum class ViewKind { Source, Converted };

// What a state change touched; the owner refreshes only that.
enum StateChange : unsigned {
    SourceTextChanged = 1U << 0,
    ConvertedTextChanged = 1U << 1,
    ListEditedChanged = 1U << 2,
    VisibleViewChanged = 1U << 3,
    ExportEnabledChanged = 1U << 4,
    SelectorChanged = 1U << 5,
    StatusChanged = 1U << 6,
    LoadedChanged = 1U << 7,
};

class StateObserver {
public:
    virtual ~StateObserver() = default;
    // Called after every change, before the controller goes on, also on the way to an error.
    virtual void StateChanged(unsigned changes) = 0;
};

// The main window's state without its widgets, and the operations that change it.
class PlaylistController : private TextDocument::Watcher {
public:
    PlaylistController(const ConvertOptions& options, MessageService& messages,
                       ClipboardService& clipboard);
    ~PlaylistController();
    PlaylistController(const PlaylistController&) = delete;
    PlaylistController& operator=(const PlaylistController&) = delete;

    void SetObserver(StateObserver* observer) noexcept { observer_ = observer; }

    // The documents the views show; an edit in the list view is an edit of Converted, which
    // Copy and Save then take as it stands. The list's selection is held here and shown by its
    // view; a new list comes with a new one.
    const std::shared_ptr<TextDocument>& Source() const noexcept { return source_; }
    const std::shared_ptr<TextDocument>& Converted() const noexcept { return converted_; }
    const std::shared_ptr<SelectionModel>& ConvertedSelection() const noexcept {
        return selection_;
    }
    // Whether the list differs from what the conversion made, by edits not undone.
    bool ListEdited() const noexcept { return edited_; }
    ViewKind VisibleView() const noexcept { return visible_; }
    const std::string& FileName() const noexcept { return fileName_; }
    bool PlaylistLoaded() const noexcept { return loaded_; }
    int SelectorIndex() const noexcept { return selectorIndex_; }
    bool SelectorEnabled() const noexcept { return selectorEnabled_; }
    bool ExportEnabled() const noexcept { return exportEnabled_; }
    const std::string& StatusText() const noexcept { return status_; }
    // The loaded list's count and length, shown beside the status text; empty without a list.
    const std::string& TotalText() const noexcept { return total_; }

    // The file chosen in the open dialog, a dropped file or one named on the command line.
    void SetFileName(std::string fileName);

    void LoadPlaylist();
    void SelectView(int index);
    void CopyConverted();
    // Writes the loaded playlist's list in a format to a file, made again from the playlist
    // with the options, as the command makes it (edits of the list view are Save's), its text
    // decoded from the code page the views show it in.
    void ExportList(ListFormat format, const std::string& path, CodePage shownIn);

private:
    void TextChanged(const TextChange& change) override;
    void SetConverted(std::shared_ptr<TextDocument> converted);
    void Notify(unsigned changes);
    void SetVisibleView(ViewKind view);
    void SetExportEnabled(bool enabled);
    void SetSelector(int index, bool enabled);
    void SetStatus(std::string_view status, std::string total = {});
    void SetLoaded(bool loaded);

    const ConvertOptions& options_;
    MessageService& messages_;
    ClipboardService& clipboard_;
    StateObserver* observer_ = nullptr;

    // The playlist's bytes as read: the source view's text, or the UTF-16 it shows.
    std::string_view Playlist(std::string& scratch) const;

    std::shared_ptr<TextDocument> source_ = std::make_shared<TextDocument>();
    std::string sourceUtf16_; // an XML document's own bytes where they are UTF-16
    std::shared_ptr<TextDocument> converted_ = std::make_shared<TextDocument>();
    std::shared_ptr<SelectionModel> selection_ = std::make_shared<SelectionModel>();
    bool edited_ = false;
    ViewKind visible_ = ViewKind::Source;
    std::string fileName_;
    bool loaded_ = false;
    int selectorIndex_ = 0;
    bool selectorEnabled_ = false;
    bool exportEnabled_ = false;
    std::string status_{kEmptyStatus};
    std::string total_;
};

} // namespace skaldrun
