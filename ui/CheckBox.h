#pragma once

#include <QCheckBox>

namespace skaldrun::ui {

// A check box that toggles on a click anywhere within its rectangle, as desktop check boxes do,
// not only on its indicator and caption.
class CheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

} // namespace skaldrun::ui
