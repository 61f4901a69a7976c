// Run under an X server (xvfb-run): what another program reads from the clipboard.
#include "ui/TextView/TextView.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStringDecoder>
#include <QTest>

using skaldrun::ui::TextView;

class X11ClipboardTests : public QObject {
    Q_OBJECT

private slots:
    void readersGetTheCopyWhole();
};

namespace {

// What xclip prints of the clipboard's UTF-8, read while the event loop runs free.
QByteArray ReadClipboard() {
    QProcess xclip;
    QEventLoop loop;
    QObject::connect(&xclip, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&xclip, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                 QStringLiteral("-t"), QStringLiteral("UTF8_STRING")});
    loop.exec();
    return xclip.readAllStandardOutput();
}

} // namespace

// Large copies go out in parts made as they are sent, small ones as Qt sends them; either way
// the reader gets the whole text with LF breaks, and can read it again.

void X11ClipboardTests::readersGetTheCopyWhole() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");
    std::string bytes;
    for (int i = 0; i < 300000; ++i) // windows-1251, 5 MB: a lone CR now and then
        bytes += "\xCF\xE5\xF1\xED\xFF " + std::to_string(i) + (i % 999 == 0 ? "\r" : "") + "\r\n";
    QString text = QStringDecoder("windows-1251")(QByteArray::fromStdString(bytes));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QByteArray expected = text.toUtf8();

    TextView view;
    view.SetText(bytes);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(ReadClipboard(), expected);
    QCOMPARE(ReadClipboard(), expected);

    view.Select(0, 10); // the first line, with its lone CR: small
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(ReadClipboard(), expected.first(expected.indexOf('\n') + 1));
}

QTEST_MAIN(X11ClipboardTests)
#include "X11ClipboardTests.moc"
