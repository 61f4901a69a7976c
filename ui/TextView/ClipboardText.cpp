#include "ui/TextView/ClipboardText.h"

namespace skaldrun::ui {

QVariant ClipboardText::retrieveData(const QString& mimeType, QMetaType type) const {
    if (mimeType != QLatin1String("text/plain"))
        return QMimeData::retrieveData(mimeType, type);
    if (spans_.size() == 1)
        return codec_.Decode(spans_.front().bytes);
    std::string bytes;
    bytes.reserve(SizeOf(spans_));
    for (const TextSpan& span : spans_)
        bytes.append(span.bytes);
    return codec_.Decode(bytes);
}

} // namespace skaldrun::ui
