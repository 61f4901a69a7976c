#pragma once

#include "core/TextDocument.h"
#include "ui/ViewCodec.h"

#include <QString>
#include <cstddef>
#include <memory>
#include <optional>

namespace skaldrun::ui {

// The document a view shows and how its bytes become screen text. The encoding is chosen from
// all of the text when first needed, so a view that is never shown reads nothing, and stays
// fixed for that text until the user chooses another. Offsets are bytes that never split a
// character or a CR LF.
class ShownText {
public:
    void Show(std::shared_ptr<TextDocument> document);
    const std::shared_ptr<TextDocument>& Shared() const noexcept { return document_; }
    TextDocument& Document() const noexcept { return *document_; }
    std::size_t Size() const noexcept { return document_->Size(); }
    const ViewCodec& Codec() const;
    // The code page the user chose for the text, Auto to let its bytes choose.
    void SetCodePage(CodePage page);
    CodePage ChosenPage() const noexcept { return page_; }

    QString Decoded(std::size_t from, std::size_t to) const;
    // Screen units (UTF-16) the bytes from..to decode to.
    int UnitsIn(std::size_t from, std::size_t to) const;
    // The byte at which unit screen units after from are reached, no further than to; a unit
    // between the halves of a character is that character's.
    std::size_t ByteAfterUnits(std::size_t from, std::size_t to, int unit) const;

    std::size_t NextCharacter(std::size_t offset) const;
    std::size_t PreviousCharacter(std::size_t offset) const;
    // The start of the character or the CR LF that offset is in.
    std::size_t CharacterStart(std::size_t offset) const;

private:
    bool Utf8() const { return Codec().Current() == ViewCodec::Encoding::Utf8; }

    std::shared_ptr<TextDocument> document_ = std::make_shared<TextDocument>();
    mutable std::optional<ViewCodec> codec_;
    CodePage page_ = CodePage::Auto;
};

inline bool IsContinuation(char c) noexcept {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace skaldrun::ui
