#include "ui/FileDialogs.h"

#include <QFileDialog>
#include <algorithm>

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
                           QtFileDialogs::Memory& memory, const QString& title = {}) {
    QFileDialog dialog(owner, title);
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

const QStringList& ExportFilters() {
    static const QStringList filters = {
        QStringLiteral("Нумерованный список (*.txt)"),
        QStringLiteral("Главы: начало и название (*.txt)"),
        QStringLiteral("Таблица CSV (*.csv)"),
        QStringLiteral("Страница HTML (*.html)"),
        QStringLiteral("JSON (*.json)"),
    };
    return filters;
}

std::optional<QString> QtFileDialogs::AskOpenFileName(QWidget* owner) {
    return Ask(owner, QFileDialog::AcceptOpen, kOpenFilters, open_);
}

std::optional<QString> QtFileDialogs::AskSaveFileName(QWidget* owner) {
    std::optional<QString> name = Ask(owner, QFileDialog::AcceptSave, kSaveFilters, save_);
#ifdef Q_OS_WIN
    // Windows' own dialog ends every name with the filter's ".txt", which the saving adds as
    // well: "list" was saved as "list.txt.txt".
    if (name && name->endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive))
        name->chop(4);
#endif
    return name;
}

} // namespace skaldrun::ui

namespace skaldrun::ui {

// Made from the playlist, not from the list view: its title says so, since edits are Save's.
std::optional<FileDialogs::Export> QtFileDialogs::AskExportFileName(QWidget* owner) {
    const std::optional<QString> name =
        Ask(owner, QFileDialog::AcceptSave, ExportFilters(), export_,
            QStringLiteral("Экспорт: список из плейлиста с текущими параметрами"));
    if (!name)
        return std::nullopt;
    const qsizetype shape = std::max<qsizetype>(0, ExportFilters().indexOf(export_.filter));
    return Export{*name, static_cast<int>(shape)};
}

} // namespace skaldrun::ui
