#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace skaldrun::ui {

// The maker's site; the Help pages and the About dialog's links are built on it.
inline constexpr char kSiteAddress[] = "https://skaldrun.org";
inline constexpr char kMailAddress[] = "support@skaldrun.org";

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

// Hands an address to the desktop to open; whether anything opened is not reported.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void Open(const QString& request) = 0;
};

class DesktopShell final : public Shell {
public:
    void Open(const QString& request) override;
};

} // namespace skaldrun::ui
