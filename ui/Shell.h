#pragma once

#include <QString>

namespace skaldrun::ui {

// The maker's site; the Help pages and the About dialog's links are built on it.
inline constexpr char kSiteAddress[] = "https://skaldrun.org";
inline constexpr char kMailAddress[] = "support@skaldrun.org";

// Hands an address to the desktop to open. False where the desktop has nothing to open it with
// (no browser or mail program set up), so that the user can be given the address instead.
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool Open(const QString& request) = 0;
};

class DesktopShell final : public Shell {
public:
    bool Open(const QString& request) override;
};

} // namespace skaldrun::ui
