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
    // A playlist opened another way (the command line, a drop): the open dialog offers it next.
    virtual void OfferOpenFileName(const QString& /*name*/) {}
};

// Qt's file dialogs; each offers its last name and filter again for the rest of the run.
class QtFileDialogs final : public FileDialogs {
public:
    std::optional<QString> AskOpenFileName(QWidget* owner) override;
    std::optional<QString> AskSaveFileName(QWidget* owner) override;
    void OfferOpenFileName(const QString& name) override { open_.fileName = name; }

    struct Memory {
        QString fileName;
        QString filter;
    };

private:
    Memory open_;
    Memory save_;
};

} // namespace skaldrun::ui
