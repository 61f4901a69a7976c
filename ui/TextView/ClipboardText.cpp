#include "ui/TextView/ClipboardText.h"

#include "core/LineBreaks.h"

#include <QGuiApplication>
#include <algorithm>

namespace skaldrun::ui {

ClipboardBytes::ClipboardBytes(TextSpans spans, const ViewCodec& codec)
    : spans_(std::move(spans))
    , codec_(codec) {
    std::erase_if(spans_, [](const TextSpan& span) { return span.bytes.empty(); });
    ends_.reserve(spans_.size());
    std::size_t end = 0;
    for (const TextSpan& span : spans_)
        ends_.push_back(end += span.bytes.size());
}

char ClipboardBytes::At(std::size_t offset) const noexcept {
    const auto i = static_cast<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), offset) -
                                            ends_.begin());
    return spans_[i].bytes[offset - (i == 0 ? 0 : ends_[i - 1])];
}

QByteArray ClipboardBytes::Utf8() const {
    QByteArray utf8;
    for (const TextSpan& span : spans_)
        codec_.AppendUtf8(span.bytes, utf8);
    return utf8;
}

QByteArray ClipboardBytes::Utf8Part(std::size_t& at, std::size_t bytes) const {
    QByteArray utf8;
    at = std::min(at, Size());
    std::size_t to = std::min(Size(), at + std::max<std::size_t>(bytes, 1));
    if (InsideCrLf([this](std::size_t offset) { return At(offset); }, to, Size())) {
        if (to - 1 > at) // the pair goes whole into the next part, or into this one
            --to;
        else
            ++to;
    }
    auto i =
        static_cast<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), at) - ends_.begin());
    for (; at < to; ++i) {
        const std::size_t start = i == 0 ? 0 : ends_[i - 1];
        const std::string_view piece =
            spans_[i].bytes.substr(at - start, std::min(to, ends_[i]) - at);
        codec_.AppendUtf8(piece, utf8);
        at += piece.size();
    }
    return utf8;
}

QString ClipboardBytes::Text() const {
    if (spans_.size() == 1)
        return codec_.Decode(spans_.front().bytes);
    std::string bytes;
    bytes.reserve(Size());
    for (const TextSpan& span : spans_)
        bytes.append(span.bytes);
    return codec_.Decode(bytes);
}

QVariant ClipboardText::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!hasFormat(mimeType))
        return QMimeData::retrieveData(mimeType, type);
    if (type == QMetaType::fromType<QByteArray>())
        return bytes_->Utf8();
    return bytes_->Text();
}

void PutOnClipboard(TextSpans spans, const ViewCodec& codec, QClipboard::Mode mode) {
    SendLargeCopiesInParts();
    QGuiApplication::clipboard()->setMimeData(new ClipboardText(std::move(spans), codec), mode);
}

} // namespace skaldrun::ui
