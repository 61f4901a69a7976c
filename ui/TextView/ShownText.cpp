#include "ui/TextView/ShownText.h"

#include "core/LineBreaks.h"

#include <algorithm>

namespace skaldrun::ui {

namespace {

auto BytesOf(const TextDocument& text) {
    return [&text](std::size_t offset) { return text.At(offset); };
}

} // namespace

void ShownText::Show(std::shared_ptr<TextDocument> document) {
    document_ = document != nullptr ? std::move(document) : std::make_shared<TextDocument>();
    codec_.reset();
}

const ViewCodec& ShownText::Codec() const {
    if (!codec_) {
        std::string scratch;
        codec_ = ViewCodec::For(document_->Range(0, document_->Size(), scratch), page_);
    }
    return *codec_;
}

void ShownText::SetCodePage(CodePage page) {
    page_ = page;
    codec_.reset();
}

QString ShownText::Decoded(std::size_t from, std::size_t to) const {
    std::string scratch;
    to = std::min(to, Size());
    return Codec().Decode(document_->Range(std::min(from, to), to, scratch));
}

int ShownText::UnitsIn(std::size_t from, std::size_t to) const {
    std::string scratch;
    return static_cast<int>(Codec().DecodedLength(document_->Range(from, to, scratch)));
}

std::size_t ShownText::ByteAfterUnits(std::size_t from, std::size_t to, int unit) const {
    if (!Utf8())
        return std::min(from + static_cast<std::size_t>(std::max(unit, 0)), to);
    std::size_t at = from;
    for (int units = 0; at < to && units < unit;) {
        const auto lead = static_cast<unsigned char>(document_->At(at));
        units += lead >= 0xF0 ? 2 : 1;
        if (units > unit)
            break; // between the two halves of one character: that character
        at = NextCharacter(at);
    }
    return std::min(at, to);
}

std::size_t ShownText::NextCharacter(std::size_t offset) const {
    const TextDocument& text = *document_;
    const std::size_t size = text.Size();
    if (offset >= size)
        return size;
    if (CrLfAt(BytesOf(text), offset, size))
        return offset + kLineBreak.size();
    ++offset;
    if (Utf8())
        while (offset < size && IsContinuation(text.At(offset)))
            ++offset;
    return offset;
}

std::size_t ShownText::PreviousCharacter(std::size_t offset) const {
    const TextDocument& text = *document_;
    if (offset == 0)
        return 0;
    if (offset >= kLineBreak.size() &&
        CrLfAt(BytesOf(text), offset - kLineBreak.size(), text.Size()))
        return offset - kLineBreak.size();
    return CharacterStart(offset - 1);
}

std::size_t ShownText::CharacterStart(std::size_t offset) const {
    const TextDocument& text = *document_;
    offset = std::min(offset, text.Size());
    if (Utf8())
        while (offset > 0 && offset < text.Size() && IsContinuation(text.At(offset)))
            --offset;
    if (InsideCrLf(BytesOf(text), offset, text.Size()))
        --offset;
    return offset;
}

} // namespace skaldrun::ui
