#pragma once

#include "core/EditHistory.h"
#include "ui/ViewCodec.h"

#include <QMimeData>

namespace skaldrun::ui {

// Text on the clipboard that is decoded only when someone asks for it. It holds the blocks its
// bytes are in, which nobody changes, so later edits, another file and the end of the window
// all leave it as it was copied.
class ClipboardText final : public QMimeData {
public:
    ClipboardText(TextSpans spans, const ViewCodec& codec)
        : spans_(std::move(spans))
        , codec_(codec) {}

    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString& mimeType) const override {
        return mimeType == QLatin1String("text/plain");
    }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    TextSpans spans_;
    ViewCodec codec_;
};

} // namespace skaldrun::ui
