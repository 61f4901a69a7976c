#pragma once

#include "core/EditHistory.h"
#include "ui/ViewCodec.h"

#include <QMimeData>

namespace skaldrun::ui {

// Text on the clipboard that is decoded only when someone asks for it. Asked for bytes, as X11
// asks for UTF-8, it gives UTF-8 made straight from the bytes, with no text in between. It holds
// the blocks its bytes are in, which nobody changes, so later edits, another file and the end of
// the window all leave it as it was copied.
class ClipboardText final : public QMimeData {
public:
    ClipboardText(TextSpans spans, const ViewCodec& codec)
        : spans_(std::move(spans))
        , codec_(codec) {}

    QStringList formats() const override {
        return {QStringLiteral("text/plain"), QStringLiteral("text/plain;charset=utf-8")};
    }
    bool hasFormat(const QString& mimeType) const override {
        return mimeType == QLatin1String("text/plain") ||
               mimeType == QLatin1String("text/plain;charset=utf-8");
    }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    TextSpans spans_;
    ViewCodec codec_;
};

} // namespace skaldrun::ui
