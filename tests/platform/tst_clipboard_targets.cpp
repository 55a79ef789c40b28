#include "platform/Clipboard.h"

#include <QTest>

// What a snapshot of another owner's clipboard asks for: data only, never a
// format whose reading changes the owner's document.
class TestClipboardTargets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wanted_data()
    {
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QStringList>("wanted");
        const QString link = QStringLiteral("application/x-openoffice-link;windows_formatname=\"Link\"");
        const QString rtf = QStringLiteral("text/rtf");
        const QString odt = QStringLiteral("application/x-openoffice-embed-source-xml;windows_formatname=\"Star Embed Source (XML)\"");
        QTest::newRow("office suite: its link is left alone")
            << QStringList{QStringLiteral("TARGETS"), QStringLiteral("TIMESTAMP"), odt, link, rtf, QStringLiteral("UTF8_STRING"),
                           QStringLiteral("text/plain;charset=utf-8")}
            << QStringList{QStringLiteral("UTF8_STRING"), odt, rtf};
        QTest::newRow("DDE and OLE links")
            << QStringList{QStringLiteral("Link"), QStringLiteral("application/x-dde-link"), QStringLiteral("ObjectLink"),
                           QStringLiteral("text/html")}
            << QStringList{QStringLiteral("text/html")};
        QTest::newRow("requests that are not data")
            << QStringList{QStringLiteral("DELETE"), QStringLiteral("SAVE_TARGETS"), QStringLiteral("INSERT_SELECTION"),
                           QStringLiteral("MULTIPLE"), QStringLiteral("STRING"), QStringLiteral("image/png")}
            << QStringList{QStringLiteral("STRING"), QStringLiteral("image/png")};
        QTest::newRow("browser image with its page")
            << QStringList{QStringLiteral("text/html"), QStringLiteral("text/_moz_htmlinfo"), QStringLiteral("image/png")}
            << QStringList{QStringLiteral("text/html"), QStringLiteral("text/_moz_htmlinfo"), QStringLiteral("image/png")};
    }
    void wanted()
    {
        QFETCH(QStringList, offered);
        QFETCH(QStringList, wanted);
        QCOMPARE(Clipboard::wantedTargets(offered), wanted);
    }

    // Only the paste target's own fetch of a text target lets the user's
    // clipboard come back; a manager or a reader of the list alone does not.
    void fetchesText_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<qulonglong>("requestor");
        QTest::addColumn<qulonglong>("targetWindow");
        QTest::addColumn<bool>("fetches");
        const qulonglong window = 0x3a00007;
        const qulonglong sameClient = 0x3a00123;
        const qulonglong otherClient = 0x1c00004;
        QTest::newRow("the target's own window, UTF8_STRING") << "UTF8_STRING" << window << window << true;
        QTest::newRow("another window of the target's client") << "text/plain;charset=utf-8" << sameClient << window << true;
        QTest::newRow("Latin-1 text") << "STRING" << sameClient << window << true;
        QTest::newRow("an xterm asks for TEXT") << "TEXT" << sameClient << window << true;
        QTest::newRow("the list of targets only") << "TARGETS" << sameClient << window << false;
        QTest::newRow("a target that names no text") << "" << sameClient << window << false;
        QTest::newRow("a clipboard manager copying the new owner") << "UTF8_STRING" << otherClient << window << false;
        QTest::newRow("target unknown") << "UTF8_STRING" << sameClient << qulonglong(0) << false;
    }
    void fetchesText()
    {
        QFETCH(QString, target);
        QFETCH(qulonglong, requestor);
        QFETCH(qulonglong, targetWindow);
        QFETCH(bool, fetches);
        QCOMPARE(Clipboard::fetchesText(target, requestor, targetWindow, 0x1fffff), fetches);
    }
};

QTEST_APPLESS_MAIN(TestClipboardTargets)
#include "tst_clipboard_targets.moc"
