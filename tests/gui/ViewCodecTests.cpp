#include "ui/TextView/ClipboardText.h"
#include "ui/ViewCodec.h"

#include <QHash>
#include <QStringDecoder>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using skaldrun::CodePage;
using skaldrun::ui::ViewCodec;

class ViewCodecTests : public QObject {
    Q_OBJECT

private slots:
    void bytesSurviveDecodeAndEncode_data();
    void bytesSurviveDecodeAndEncode();
    void codePagesMatchTheSystemTables_data();
    void codePagesMatchTheSystemTables();
    void languagesChooseTheirCodePage();
    void decodedLengthCountsWhatDecodeGives();
    void clipboardPartsJoinToTheWhole();
};

namespace {

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// The text a view shows holds no NUL and breaks lines only with CR LF.
QByteArray EveryByteButNul() {
    QByteArray bytes;
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            bytes.append(static_cast<char>(b));
    }
    return bytes + "\r\nend\r\n";
}

} // namespace

void ViewCodecTests::bytesSurviveDecodeAndEncode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<int>("chosen"); // a code page the user chose
    const int ru = QLocale::Russian;
    const int en = QLocale::English;
    const int utf8 = static_cast<int>(ViewCodec::Encoding::Utf8);
    const int cp1251 = static_cast<int>(ViewCodec::Encoding::Windows1251);
    const int cp1252 = static_cast<int>(ViewCodec::Encoding::Windows1252);
    const int any = static_cast<int>(CodePage::Auto);
    QTest::newRow("windows-1251, every byte") << EveryByteButNul() << ru << cp1251 << any;
    QTest::newRow("windows-1252, every byte") << EveryByteButNul() << en << cp1252 << any;
    QTest::newRow("UTF-8, two to four bytes")
        << QByteArray("\xD0\x81\xD0\xB6 Bj\xC3\xB6rk \xE2\x82\xAC \xF0\x9F\x98\x80\r\nx\r\n") << ru
        << utf8 << any;
    // Not UTF-8, though close: each is shown in the code page and saved unchanged.
    QTest::newRow("overlong") << QByteArray("a\xE0\x80\x80z") << ru << cp1251 << any;
    QTest::newRow("overlong two bytes") << QByteArray("\xC0\xAF") << en << cp1252 << any;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << ru << cp1251 << any;
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << ru << cp1251 << any;
    QTest::newRow("truncated") << QByteArray("ok\xE2\x82") << en << cp1252 << any;
    QTest::newRow("breaks, UTF-8") << QByteArray("\xD0\x96\r\nb\r\n\r\n") << ru << utf8 << any;
    QTest::newRow("breaks, windows-1251")
        << QByteArray("\xC0\r\n\xFF\x98\r\n") << ru << cp1251 << any;
    QTest::newRow("KOI8-R chosen, every byte")
        << EveryByteButNul() << ru << static_cast<int>(ViewCodec::Encoding::Koi8R)
        << static_cast<int>(CodePage::Koi8R);
    QTest::newRow("CP866 chosen, every byte")
        << EveryByteButNul() << en << static_cast<int>(ViewCodec::Encoding::Cp866)
        << static_cast<int>(CodePage::Cp866);
    QTest::newRow("windows-1251 chosen for UTF-8 bytes")
        << QByteArray("\xD0\x96\r\n") << en << cp1251 << static_cast<int>(CodePage::Windows1251);
}

void ViewCodecTests::bytesSurviveDecodeAndEncode() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, language);
    QFETCH(int, chosen);
    const ViewCodec codec =
        chosen == static_cast<int>(CodePage::Auto)
            ? ViewCodec::For(View(bytes), static_cast<QLocale::Language>(language))
            : ViewCodec::For(View(bytes), static_cast<CodePage>(chosen));
    const QString text = codec.Decode(View(bytes));
    QTEST(static_cast<int>(codec.Current()), "encoding");
    QVERIFY(!text.contains(u'\r'));
    const std::string back = codec.Encode(text);
    QCOMPARE(QByteArray(back.data(), static_cast<qsizetype>(back.size())), bytes);
    // What the clipboard gives as UTF-8 is the text's, also when the bytes come in two runs.
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        QByteArray made;
        codec.AppendUtf8(View(bytes.first(cut)), made);
        codec.AppendUtf8(View(bytes.sliced(cut)), made);
        QCOMPARE(made, utf8);
    }
}

void ViewCodecTests::codePagesMatchTheSystemTables_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QByteArray>("codePage");
    QTest::addColumn<int>("chosen");
    const int any = static_cast<int>(CodePage::Auto);
    QTest::newRow("windows-1251") << static_cast<int>(QLocale::Russian)
                                  << QByteArray("windows-1251") << any;
    QTest::newRow("windows-1252") << static_cast<int>(QLocale::English)
                                  << QByteArray("windows-1252") << any;
    QTest::newRow("KOI8-R") << static_cast<int>(QLocale::English) << QByteArray("KOI8-R")
                            << static_cast<int>(CodePage::Koi8R);
    QTest::newRow("CP866") << static_cast<int>(QLocale::English) << QByteArray("IBM866")
                           << static_cast<int>(CodePage::Cp866);
}

namespace {

// The system's own converter: Qt's without ICU knows none of these on Windows.
QString SystemDecode(const QByteArray& codePage, const QByteArray& bytes) {
#ifdef Q_OS_WIN
    static const QHash<QByteArray, UINT> numbers{
        {"windows-1251", 1251}, {"windows-1252", 1252}, {"KOI8-R", 20866}, {"IBM866", 866}};
    wchar_t out[4]{};
    const int size = MultiByteToWideChar(numbers.value(codePage), 0, bytes.constData(),
                                         static_cast<int>(bytes.size()), out, 4);
    return QString::fromWCharArray(out, size);
#else
    QStringDecoder reference(codePage.constData());
    return reference.isValid() ? reference(bytes) : QString();
#endif
}

} // namespace

// Every upper byte shows as the system's own converter shows it; the few a code page leaves
// undefined (the system gives C1 controls for them) show as private-use characters instead.
void ViewCodecTests::codePagesMatchTheSystemTables() {
    QFETCH(int, language);
    QFETCH(QByteArray, codePage);
    QFETCH(int, chosen);
    for (int b = 0x80; b < 0x100; ++b) {
        const QByteArray byte(1, static_cast<char>(b));
        const QString expected = SystemDecode(codePage, byte);
        QCOMPARE(expected.size(), 1);
        const char16_t want = expected[0].unicode() >= 0x80 && expected[0].unicode() <= 0x9F
                                  ? static_cast<char16_t>(0xF700 + b)
                                  : expected[0].unicode();
        const ViewCodec codec =
            chosen == static_cast<int>(CodePage::Auto)
                ? ViewCodec::For(View(byte), static_cast<QLocale::Language>(language), false)
                : ViewCodec::For(View(byte), static_cast<CodePage>(chosen));
        QCOMPARE(codec.Decode(View(byte)), QString(QChar(want)));
    }
}

void ViewCodecTests::languagesChooseTheirCodePage() {
    for (const QLocale::Language cyrillic :
         {QLocale::Russian, QLocale::Ukrainian, QLocale::Belarusian, QLocale::Bulgarian,
          QLocale::Serbian, QLocale::Macedonian}) {
        QCOMPARE(ViewCodec::For("\xC0", cyrillic, false).Decode("\xC0"), QStringLiteral("А"));
    }
    QCOMPARE(ViewCodec::For("\xC0", QLocale::French, false).Decode("\xC0"), QStringLiteral("À"));
}

void ViewCodecTests::decodedLengthCountsWhatDecodeGives() {
    for (const char* text : {"1.\xD0\x81\xD0\xB6 \xF0\x9F\x98\x80  <0:01>\r\n2.x\r\n",
                             "1.\xC0\xFF\x98  <0:01>\r\n2.\xE0\x80\r\n"}) {
        const std::string_view bytes(text);
        const ViewCodec codec = ViewCodec::For(bytes, QLocale::Russian);
        for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
            const std::string_view prefix = bytes.substr(0, cut);
            if (codec.Current() == ViewCodec::Encoding::Utf8 && cut < bytes.size() &&
                (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
                continue; // only cuts between characters
            QCOMPARE(codec.DecodedLength(prefix), codec.Decode(prefix).size());
        }
    }
}

// X11 readers get a large copy in parts: cut anywhere, across spans too, never inside a CR LF.
void ViewCodecTests::clipboardPartsJoinToTheWhole() {
    using namespace skaldrun;
    const auto spans = [](std::initializer_list<const char*> pieces) {
        TextSpans made;
        for (const char* piece : pieces) {
            auto block = std::make_shared<const std::string>(piece);
            made.push_back({block, *block});
        }
        return made;
    };
    const struct {
        TextSpans spans;
        QLocale::Language language;
    } cases[] = {
        {spans({"a\r\nb\r", "\nc\r\r\n", "", "\r", "\n\rd"}), QLocale::English},
        {spans({"\xC0\xE1\r\n\r", "\n\xFF\r\n"}), QLocale::Russian},
        {spans({"\xD0\x96\r\n\xE2\x82", "\xAC\r\n"}), QLocale::Russian},
    };
    for (const auto& c : cases) {
        std::string all;
        for (const TextSpan& span : c.spans)
            all.append(span.bytes);
        const ui::ClipboardBytes bytes(c.spans, ViewCodec::For(all, c.language));
        const QByteArray whole = bytes.Utf8();
        QCOMPARE(whole, bytes.Text().toUtf8());
        for (std::size_t size = 1; size <= all.size(); ++size) {
            QByteArray joined;
            for (std::size_t at = 0; at < bytes.Size();)
                joined += bytes.Utf8Part(at, size);
            QCOMPARE(joined, whole);
        }
    }
}

QTEST_GUILESS_MAIN(ViewCodecTests)
#include "ViewCodecTests.moc"
