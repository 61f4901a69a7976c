#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace skaldrun::ui {

// The two file dialogs, so that tests can answer them.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> AskOpenFileName(QWidget* owner) = 0;
    virtual std::optional<QString> AskSaveFileName(QWidget* owner) = 0;
    // A file to export the list to, and the index of the shape chosen among ExportFilters().
    struct Export {
        QString fileName;
        int shape = 0;
    };
    virtual std::optional<Export> AskExportFileName(QWidget* owner) = 0;
    // A playlist opened another way (the command line, a drop): the open dialog offers it next.
    virtual void OfferOpenFileName(const QString& /*name*/) {}
};

// The export dialog's file types, one for each shape of the list, in the order of ListFormat.
const QStringList& ExportFilters();

// Qt's file dialogs; each offers its last name and filter again for the rest of the run.
class QtFileDialogs final : public FileDialogs {
public:
    std::optional<QString> AskOpenFileName(QWidget* owner) override;
    std::optional<QString> AskSaveFileName(QWidget* owner) override;
    std::optional<Export> AskExportFileName(QWidget* owner) override;
    void OfferOpenFileName(const QString& name) override { open_.fileName = name; }

    struct Memory {
        QString fileName;
        QString filter;
    };

private:
    Memory open_;
    Memory save_;
    Memory export_;
};

} // namespace skaldrun::ui
