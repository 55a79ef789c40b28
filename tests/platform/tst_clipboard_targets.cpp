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
};

QTEST_APPLESS_MAIN(TestClipboardTargets)
#include "tst_clipboard_targets.moc"
