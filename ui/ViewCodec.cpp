#include "ui/ViewCodec.h"

#include "core/CodePages.h"
#include "core/LineBreaks.h"
#include "core/Utf8.h"
#include "core/platform/Locale.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace skaldrun::ui {

namespace {

// Bytes a code page leaves undefined are shown as U+F700 plus the byte, a private-use character.
constexpr char16_t kUndefinedBase = 0xF700;
constexpr char16_t kUndefined = kUndefinedCharacter;

CodePage PageOf(ViewCodec::Encoding encoding) {
    switch (encoding) {
    case ViewCodec::Encoding::Utf8:
        return CodePage::Utf8;
    case ViewCodec::Encoding::Windows1251:
        return CodePage::Windows1251;
    case ViewCodec::Encoding::Windows1252:
        return CodePage::Windows1252;
    case ViewCodec::Encoding::Koi8R:
        return CodePage::Koi8R;
    case ViewCodec::Encoding::Cp866:
        return CodePage::Cp866;
    case ViewCodec::Encoding::SystemAnsi:
        break;
    }
    return CodePage::Auto;
}

const UpperHalfTable& Table(ViewCodec::Encoding encoding) {
    return UpperHalf(PageOf(encoding));
}

// The same tables turned round, sorted by character, so encoding a character costs a binary
// search rather than a walk over the table.
struct Reverse {
    std::array<std::pair<char16_t, unsigned char>, 128> entries{};
    std::size_t size = 0;

    explicit Reverse(const UpperHalfTable& table) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (table[i] != kUndefined)
                entries[size++] = {table[i], static_cast<unsigned char>(0x80 + i)};
        }
        std::sort(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(size));
    }

    // The byte for u, or '?' when the code page has none.
    char Find(char16_t u) const {
        const auto* end = entries.begin() + static_cast<std::ptrdiff_t>(size);
        const auto* hit =
            std::lower_bound(entries.begin(), end, std::pair{u, 0u},
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        return hit != end && hit->first == u ? static_cast<char>(hit->second) : '?';
    }
};

const Reverse& ReverseTable(ViewCodec::Encoding encoding) {
    static const Reverse windows1251(UpperHalf(CodePage::Windows1251));
    static const Reverse windows1252(UpperHalf(CodePage::Windows1252));
    static const Reverse koi8r(UpperHalf(CodePage::Koi8R));
    static const Reverse cp866(UpperHalf(CodePage::Cp866));
    switch (encoding) {
    case ViewCodec::Encoding::Windows1251:
        return windows1251;
    case ViewCodec::Encoding::Koi8R:
        return koi8r;
    case ViewCodec::Encoding::Cp866:
        return cp866;
    default:
        return windows1252;
    }
}

ViewCodec::Encoding LegacyFor(QLocale::Language language) {
    switch (language) {
    case QLocale::Russian:
    case QLocale::Ukrainian:
    case QLocale::Belarusian:
    case QLocale::Bulgarian:
    case QLocale::Serbian:
    case QLocale::Macedonian:
        return ViewCodec::Encoding::Windows1251;
    default:
        return ViewCodec::Encoding::Windows1252;
    }
}

} // namespace

ViewCodec::ViewCodec(QLocale::Language language, bool systemIsUtf8)
    : legacy_(LegacyFor(language))
    , systemIsUtf8_(systemIsUtf8) {}

ViewCodec ViewCodec::For(std::string_view text) {
#ifdef Q_OS_WIN
    // Windows' own texts are in its ANSI code page, but a playlist that is valid UTF-8 (an .m3u8,
    // one with a BOM) was written as UTF-8; in the ANSI code page it would show as mojibake.
    ViewCodec codec = For(text, QLocale::system().language(), true);
    codec.legacy_ = Encoding::SystemAnsi;
    if (codec.current_ != Encoding::Utf8)
        codec.current_ = Encoding::SystemAnsi;
#else
    ViewCodec codec = For(text, QLocale::system().language(), platform::SystemTextIsUtf8());
#endif
    return codec;
}

ViewCodec ViewCodec::For(std::string_view text, CodePage chosen) {
    ViewCodec codec = For(text);
    switch (chosen) {
    case CodePage::Auto:
        break;
    case CodePage::Utf8:
        codec.current_ = Encoding::Utf8;
        break;
    case CodePage::Windows1251:
        codec.current_ = Encoding::Windows1251;
        break;
    case CodePage::Windows1252:
        codec.current_ = Encoding::Windows1252;
        break;
    case CodePage::Koi8R:
        codec.current_ = Encoding::Koi8R;
        break;
    case CodePage::Cp866:
        codec.current_ = Encoding::Cp866;
        break;
    }
    return codec;
}

CodePage ViewCodec::Page() const noexcept {
    return PageOf(current_);
}

ViewCodec ViewCodec::For(std::string_view text, QLocale::Language language, bool systemIsUtf8) {
    ViewCodec codec(language, systemIsUtf8);
    codec.current_ = systemIsUtf8 && IsValidUtf8(text) ? Encoding::Utf8 : codec.legacy_;
    return codec;
}

QString ViewCodec::Decode(std::string_view bytes) const {
    QString text;
    if (current_ == Encoding::Utf8) {
        text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    } else if (current_ == Encoding::SystemAnsi) {
        text = QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
    } else {
        const auto& table = Table(current_);
        text.resize(static_cast<qsizetype>(bytes.size()));
        QChar* out = text.data();
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            char16_t u = b < 0x80 ? char16_t{b} : table[b - 0x80];
            if (u == kUndefined && b >= 0x80)
                u = static_cast<char16_t>(kUndefinedBase + b);
            *out++ = QChar(u);
        }
    }
    QChar* const begin = text.data();
    text.truncate(JoinCrLf(begin, begin + text.size()) - begin);
    return text;
}

void ViewCodec::AppendUtf8(std::string_view bytes, QByteArray& out) const {
    if (!bytes.empty() && !out.isEmpty() && IsCrLf(out.back(), bytes.front()))
        out.chop(1);
    if (current_ == Encoding::SystemAnsi) { // a multi-byte code page: only the system knows
        out += Decode(bytes).toUtf8();
        return;
    }
    const qsizetype used = out.size();
    const bool utf8 = current_ == Encoding::Utf8;
    // The room it takes, counted first, so that a list of tens of megabytes is not held twice.
    std::size_t room = bytes.size();
    if (!utf8) {
        const auto& table = Table(current_);
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            if (b >= 0x80)
                room += table[b - 0x80] != kUndefined && table[b - 0x80] < 0x800 ? 1 : 2;
        }
    }
    out.resize(used + static_cast<qsizetype>(room));
    char* o = out.data() + used;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p != end) {
        // Runs without CR, and in UTF-8 or ASCII, go over whole.
        const char* stop = static_cast<const char*>(std::memchr(p, '\r', end - p));
        if (stop == nullptr)
            stop = end;
        if (utf8) {
            std::memcpy(o, p, static_cast<std::size_t>(stop - p));
            o += stop - p;
        } else {
            const auto& table = Table(current_);
            for (; p != stop; ++p) {
                const auto b = static_cast<unsigned char>(*p);
                if (b < 0x80) {
                    *o++ = static_cast<char>(b);
                    continue;
                }
                char16_t u = table[b - 0x80];
                if (u == kUndefined)
                    u = static_cast<char16_t>(kUndefinedBase + b);
                if (u < 0x800) {
                    *o++ = static_cast<char>(0xC0 | (u >> 6));
                } else {
                    *o++ = static_cast<char>(0xE0 | (u >> 12));
                    *o++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                }
                *o++ = static_cast<char>(0x80 | (u & 0x3F));
            }
        }
        p = stop;
        if (p != end) {
            if (!IsCrLf(p, end)) // a CR LF is one LF; a CR alone stays
                *o++ = '\r';
            ++p;
        }
    }
    out.truncate(o - out.data());
}

std::string ViewCodec::Encode(const QString& text) const {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()) + 16);
    const Reverse& reverse = ReverseTable(current_);
    qsizetype runStart = 0;
    const auto flushRun = [&](qsizetype end) {
        const QStringView run = QStringView(text).mid(runStart, end - runStart);
        if (current_ == Encoding::Utf8 || current_ == Encoding::SystemAnsi) {
            const QByteArray encoded =
                current_ == Encoding::Utf8 ? run.toUtf8() : run.toString().toLocal8Bit();
            bytes.append(encoded.constData(), static_cast<std::size_t>(encoded.size()));
            return;
        }
        for (const QChar ch : run) {
            const char16_t u = ch.unicode();
            if (u < 0x80) {
                bytes.push_back(static_cast<char>(u));
            } else if (u >= kUndefinedBase + 0x80 && u <= kUndefinedBase + 0xFF) {
                bytes.push_back(static_cast<char>(u - kUndefinedBase));
            } else {
                bytes.push_back(reverse.Find(u));
            }
        }
    };
    const QChar* const units = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const std::size_t breakUnits = TypedBreakAt(units + i, units + text.size());
        if (breakUnits == 0)
            continue;
        flushRun(i);
        bytes.append(kLineBreak);
        i += static_cast<qsizetype>(breakUnits) - 1;
        runStart = i + 1;
    }
    flushRun(text.size());
    return bytes;
}

QString ViewCodec::Unkept(const QString& text) const {
    QString unkept;
    if (current_ == Encoding::Utf8)
        return unkept;
    const Reverse& reverse = ReverseTable(current_);
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2
                                                                                             : 1;
        const QStringView character = QStringView(text).mid(i, length);
        i += length;
        const char16_t u = character.front().unicode();
        bool kept = true;
        if (current_ == Encoding::SystemAnsi)
            kept = u < 0x80 || QString::fromLocal8Bit(character.toLocal8Bit()) == character;
        else if (u >= 0x80 && !(u >= kUndefinedBase + 0x80 && u <= kUndefinedBase + 0xFF))
            kept = length == 1 && reverse.Find(u) != '?';
        if (!kept && !unkept.contains(character))
            unkept += character;
    }
    return unkept;
}

QString ViewCodec::Name() const {
    if (current_ == Encoding::SystemAnsi)
        return QString::fromStdString(platform::SystemCodePageName());
    const std::string_view name = CodePageName(PageOf(current_));
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

qsizetype ViewCodec::DecodedLength(std::string_view bytes) const {
    if (current_ == Encoding::SystemAnsi)
        return Decode(bytes).size(); // a multi-byte code page: only the system knows
    // Counted, not decoded: every UTF-8 lead byte is one UTF-16 unit, a four-byte one two;
    // a single-byte code page gives one unit a byte; CR LF is one "\n".
    const bool utf8 = current_ == Encoding::Utf8;
    qsizetype length = 0;
    const char* const end = bytes.data() + bytes.size();
    for (const char* p = bytes.data(); p != end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        if (IsCrLf(p, end))
            continue;
        if (!utf8 || (b & 0xC0) != 0x80)
            length += utf8 && b >= 0xF0 ? 2 : 1;
    }
    return length;
}

} // namespace skaldrun::ui
