#include "ui/TextView/ClipboardText.h"

namespace skaldrun::ui {

QVariant ClipboardText::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!hasFormat(mimeType))
        return QMimeData::retrieveData(mimeType, type);
    if (type == QMetaType::fromType<QByteArray>()) {
        QByteArray utf8;
        for (const TextSpan& span : spans_)
            codec_.AppendUtf8(span.bytes, utf8);
        return utf8;
    }
    if (spans_.size() == 1)
        return codec_.Decode(spans_.front().bytes);
    std::string bytes;
    bytes.reserve(SizeOf(spans_));
    for (const TextSpan& span : spans_)
        bytes.append(span.bytes);
    return codec_.Decode(bytes);
}

} // namespace skaldrun::ui
