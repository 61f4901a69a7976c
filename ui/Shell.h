#pragma once

#include <QString>

namespace skaldrun::ui {

// The maker's site; the Help pages and the About dialog's links are built on it.
inline constexpr char kSiteAddress[] = "https://skaldrun.org";
inline constexpr char kMailAddress[] = "support@skaldrun.org";

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
