#pragma once

#include "core/CodePages.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <string>
#include <string_view>

namespace skaldrun::ui {

// The one place where view bytes become screen text and back. Unless the user chose a code page,
// on Windows every text is shown in the system's ANSI code page. Elsewhere text that is valid UTF-8
// is shown as UTF-8 (unless the system runs a legacy locale); anything else in the single-byte code
// page of the user's language. Bytes a code page cannot show map to private-use characters and
// back, so decoding and encoding again always gives the same bytes.
class ViewCodec {
public:
    // SystemAnsi: the ANSI code page of a Windows system, through Qt's local 8-bit codec.
    enum class Encoding { Utf8, Windows1251, Windows1252, Koi8R, Cp866, SystemAnsi };

    // How a text is shown, chosen once from all of its bytes and then fixed for that text.
    static ViewCodec For(std::string_view text);
    // The same in the code page the user chose; Auto chooses as above.
    static ViewCodec For(std::string_view text, CodePage chosen);
    // The same for a system in the given language, running in UTF-8 or not.
    static ViewCodec For(std::string_view text, QLocale::Language language,
                         bool systemIsUtf8 = true);

    // Decodes the text the codec was chosen for, or a part of it cut between characters; CR LF
    // becomes a paragraph break.
    QString Decode(std::string_view bytes) const;
    // Appends the text's bytes to out as UTF-8 with LF line breaks, straight from the bytes,
    // as the clipboard hands them to other programs; a CR that ended the last bytes appended
    // is joined to an LF that opens these.
    void AppendUtf8(std::string_view bytes, QByteArray& out) const;
    // Encodes screen text for the same text; every line break, typed or pasted, becomes CR LF.
    std::string Encode(const QString& text) const;
    // The characters of text the codec cannot keep, each once, in the order they come: encoded,
    // a code page would hold '?' in their place.
    QString Unkept(const QString& text) const;
    // The encoding's name as people know it.
    QString Name() const;
    // How many characters the first bytes bytes decode to.
    qsizetype DecodedLength(std::string_view bytes) const;

    Encoding Current() const noexcept { return current_; }
    // The code page shown; Auto for a Windows system's ANSI code page, which only it knows.
    CodePage Page() const noexcept;

private:
    ViewCodec(QLocale::Language language, bool systemIsUtf8);

    Encoding legacy_;
    bool systemIsUtf8_;
    Encoding current_ = Encoding::Utf8;
};

} // namespace skaldrun::ui
