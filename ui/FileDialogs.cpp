#include "ui/FileDialogs.h"

#include <QFileDialog>

namespace skaldrun::ui {

namespace {

// "*.*" would hide names without a dot here, so "All Files" matches everything; the part in the
// last parentheses is the pattern, the rest is what the dialog shows.
// The other formats the window reads come after the two it always offered.
const QStringList kOpenFilters = {QStringLiteral("Winamp Playlists (*.m3u *.m3u8)"),
                                  QStringLiteral("All Files (*)"),
                                  QStringLiteral("Playlists (*.m3u *.m3u8 *.pls *.xspf)")};
const QStringList kSaveFilters = {QStringLiteral("Text Files (*.txt) (*.txt)"),
                                  QStringLiteral("All Files (*.*) (*)")};

std::optional<QString> Ask(QWidget* owner, QFileDialog::AcceptMode mode, const QStringList& filters,
                           QtFileDialogs::Memory& memory) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile); // a typed name of a missing playlist is accepted
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(memory.filter.isEmpty() ? filters.front() : memory.filter);
    if (!memory.fileName.isEmpty())
        dialog.selectFile(memory.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    memory.fileName = dialog.selectedFiles().front();
    // Without the details the dialog names a filter by its shown part, which selectNameFilter
    // would not find again; the whole filter it stands for is kept instead.
    const QString chosen = dialog.selectedNameFilter();
    for (const QString& filter : filters) {
        if (filter == chosen || filter.left(filter.lastIndexOf(u'(')).trimmed() == chosen)
            memory.filter = filter;
    }
    return memory.fileName;
}

} // namespace

std::optional<QString> QtFileDialogs::AskOpenFileName(QWidget* owner) {
    return Ask(owner, QFileDialog::AcceptOpen, kOpenFilters, open_);
}

std::optional<QString> QtFileDialogs::AskSaveFileName(QWidget* owner) {
    return Ask(owner, QFileDialog::AcceptSave, kSaveFilters, save_);
}

} // namespace skaldrun::ui
