#pragma once

#include "core/TextSpan.h"
#include "ui/ViewCodec.h"
#include "ui/platform/LargeCopies.h"

#include <QClipboard>
#include <QMimeData>
#include <memory>
#include <vector>

namespace skaldrun::ui {

// The bytes of a copy and the codec they are shown in, given out as UTF-8 with LF line breaks
// made straight from the bytes: whole, or a part at a time for a clipboard that sends it so.
class ClipboardBytes final : public PartSource {
public:
    ClipboardBytes(TextSpans spans, const ViewCodec& codec);

    std::size_t Size() const noexcept override { return ends_.empty() ? 0 : ends_.back(); }
    QByteArray Utf8() const;
    // A CR LF is never cut, so the parts, joined, are Utf8().
    QByteArray Utf8Part(std::size_t& at, std::size_t bytes) const override;
    QString Text() const;

private:
    char At(std::size_t offset) const noexcept;

    TextSpans spans_;
    std::vector<std::size_t> ends_;
    ViewCodec codec_;
};

// Text on the clipboard that is decoded only when someone asks for it. Asked for bytes, as X11
// asks for UTF-8, it gives UTF-8 made straight from the bytes, with no text in between. It holds
// the blocks its bytes are in, which nobody changes, so later edits, another file and the end of
// the window all leave it as it was copied.
class ClipboardText final : public QMimeData, public PartedCopy {
public:
    ClipboardText(TextSpans spans, const ViewCodec& codec)
        : bytes_(std::make_shared<const ClipboardBytes>(std::move(spans), codec)) {}

    std::shared_ptr<const PartSource> Parts() const override { return bytes_; }

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
    std::shared_ptr<const ClipboardBytes> bytes_;
};

// Puts a copy of the spans on the clipboard, or on X11's selection.
void PutOnClipboard(TextSpans spans, const ViewCodec& codec,
                    QClipboard::Mode mode = QClipboard::Clipboard);

} // namespace skaldrun::ui
