#include "ui/ViewCodec.h"

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
constexpr char16_t kUndefined = 0;

// The upper halves (0x80..0xFF) of the two Windows code pages.
constexpr std::array<char16_t, 128> kWindows1251 = {
    0x0402, 0x0403, 0x201A,     0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C,     0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, kUndefined, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408,     0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE,     0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116,     0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411,
    0x0412, 0x0413, 0x0414,     0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F,     0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A,     0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432,
    0x0433, 0x0434, 0x0435,     0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D,
    0x043E, 0x043F, 0x0440,     0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448,
    0x0449, 0x044A, 0x044B,     0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr std::array<char16_t, 128> kWindows1252 = [] {
    std::array<char16_t, 128> table{};
    constexpr char16_t low[32] = {
        0x20AC,     kUndefined, 0x201A, 0x0192, 0x201E, 0x2026,     0x2020, 0x2021,
        0x02C6,     0x2030,     0x0160, 0x2039, 0x0152, kUndefined, 0x017D, kUndefined,
        kUndefined, 0x2018,     0x2019, 0x201C, 0x201D, 0x2022,     0x2013, 0x2014,
        0x02DC,     0x2122,     0x0161, 0x203A, 0x0153, kUndefined, 0x017E, 0x0178,
    };
    for (int i = 0; i < 32; ++i)
        table[i] = low[i];
    for (int i = 32; i < 128; ++i)
        table[i] = static_cast<char16_t>(0x80 + i); // 0xA0..0xFF equal Latin-1
    return table;
}();

const std::array<char16_t, 128>& Table(ViewCodec::Encoding encoding) {
    return encoding == ViewCodec::Encoding::Windows1251 ? kWindows1251 : kWindows1252;
}

// The same tables turned round, sorted by character, so encoding a character costs a binary
// search rather than a walk over the table.
struct Reverse {
    std::array<std::pair<char16_t, unsigned char>, 128> entries{};
    std::size_t size = 0;

    explicit Reverse(const std::array<char16_t, 128>& table) {
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
    static const Reverse windows1251(kWindows1251);
    static const Reverse windows1252(kWindows1252);
    return encoding == ViewCodec::Encoding::Windows1251 ? windows1251 : windows1252;
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
    ViewCodec codec = For(text, QLocale::system().language(), platform::SystemTextIsUtf8());
#ifdef Q_OS_WIN
    codec.legacy_ = codec.current_ = Encoding::SystemAnsi;
#endif
    return codec;
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
    switch (current_) {
    case Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case Encoding::Windows1251:
        return QStringLiteral("windows-1251");
    case Encoding::Windows1252:
        return QStringLiteral("windows-1252");
    case Encoding::SystemAnsi:
        break;
    }
    return QStringLiteral("ANSI");
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
