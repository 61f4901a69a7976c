#pragma once

// Small pieces every window of the program shares.

#include <QList>
#include <QString>
#include <Qt>
#include <string_view>

class QAction;
class QComboBox;
class QLabel;
class QWidget;

namespace skaldrun::ui {

// The program's own texts are UTF-8 in the source.
inline QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// A dialog with a caption and a close box, and nothing to resize, minimise or maximise it.
inline constexpr Qt::WindowFlags kDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// The window a box belongs to: the modal dialog in front, else the active window.
QWidget* BoxOwner();

// Places a window in the middle of the screen it is on, the same way at every showing.
void CenterOnScreen(QWidget& window);

// A plain drop-down list: it opens below the control, with items 16 pixels high whose text
// starts 2 pixels in, whatever the desktop's style does with combo boxes.
void MakeDropDownList(QComboBox& box);

// A label that opens an address when clicked, drawn in the palette's link colour: screen readers
// hear it as a link named by the address, whose press action emits the label's linkActivated.
void MarkAsLink(QLabel& label, const QString& address);

// Gives the actions' pixel-art images their sizes at the scales up to 2 too, widened pixel for
// pixel from the small image, so that Qt picks them instead of blurring it.
void SharpenImages(const QList<QAction*>& actions);

} // namespace skaldrun::ui
