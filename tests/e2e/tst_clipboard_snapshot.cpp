#include "dictation/Paster.h"
#include "core/Log.h"
#include "platform/Clipboard.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QApplication>
#include <QClipboard>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

using DesktopTools::readClipboard;

namespace {

QString journal()
{
    Log::waitUntilWritten();
    return QString::fromUtf8(TestEnv::readFile(Log::path()));
}

} // namespace

// Snapshotting another owner's clipboard is bounded: an owner that never answers
// costs a short, fixed time and leaves nothing kept, and a format larger than
// the cap is left out and said so, while a large one under it is kept whole.
class TestClipboardSnapshot : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hungOwner_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("answers nothing") << "silent";
        QTest::newRow("answers the list, never the data") << "list";
    }
    void hungOwner()
    {
        QFETCH(QString, mode);
        QProcess owner;
        owner.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/hung_owner"), {mode});
        QVERIFY(owner.waitForStarted(3000));
        QVERIFY(TestEnv::waitFor([&] { return owner.canReadLine() && owner.readLine() == "ready\n"; }, 5000));
        const qsizetype before = journal().count(QStringLiteral("presse-papiers: le propriétaire ne répond pas"));

        const Clipboard::Snapshot snapshot = Clipboard::snapshot();
        QVERIFY(snapshot.isEmpty());
        QCOMPARE(journal().count(QStringLiteral("presse-papiers: le propriétaire ne répond pas en 500 ms, contenu non gardé")),
                 before + 1);

        // A paste over it still goes out, and the restore leaves no stale text behind.
        PasteDesktop desktop;
        desktop.post = [](quint16, quint64) { return true; };
        Paster paster(desktop);
        QVERIFY(QCoro::waitFor(paster.paste(QStringLiteral("dicté"), true)).posted);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("dicté"));
        paster.flushRestore();
        QVERIFY(readClipboard().out.isEmpty());
        owner.closeWriteChannel();
        QVERIFY(owner.waitForFinished(3000));
    }

    void largeFormat_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("kept");
        QTest::newRow("100 KB, in one piece") << 100 * 1024 << true;
        QTest::newRow("3 MB, in increments") << 3 * 1024 * 1024 << true;
        QTest::newRow("20 MB, over the cap") << 20 * 1024 * 1024 << false;
    }
    void largeFormat()
    {
        QFETCH(int, bytes);
        QFETCH(bool, kept);
        QByteArray image(bytes, Qt::Uninitialized);
        QRandomGenerator generator{quint32(bytes)};
        for (qsizetype i = 0; i < image.size(); ++i)
            image[i] = char(generator.generate());
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("image.png"));
        QVERIFY(TestEnv::writeFile(file, image));
        // The previous row's owner goes first, or its image would be read.
        Clipboard::setText(QStringLiteral("vide"));
        QVERIFY(TestEnv::waitFor([] { return !readClipboard(QStringLiteral("TARGETS")).out.contains("image/png"); }, 5000));
        QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"),
            QStringLiteral("xclip -selection clipboard -t image/png -i -loops 0 \"$1\" >/dev/null 2>&1"),
            QStringLiteral("sh"), file});
        QVERIFY(TestEnv::waitFor([] {
            return readClipboard(QStringLiteral("TARGETS")).out.contains("image/png");
        }, 5000));
        const qsizetype before = journal().count(QStringLiteral("presse-papiers: image/png non gardé (plus de 8,0 Mo)"));

        const Clipboard::Snapshot snapshot = Clipboard::snapshot();
        QCOMPARE(snapshot.data(QStringLiteral("image/png")) == image, kept);
        QCOMPARE(journal().count(QStringLiteral("presse-papiers: image/png non gardé (plus de 8,0 Mo)")),
                 before + (kept ? 0 : 1));
        // An owner left in the middle of a transfer answers no one else for a while.
        Clipboard::setText(QStringLiteral("fin"));
    }

    void textOfEveryKindComesBackAsText_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF8_STRING") << "UTF8_STRING" << QByteArray("déjà là") << "déjà là";
        QTest::newRow("Latin-1 STRING") << "STRING" << QByteArray("d\xe9j\xe0") << "déjà";
        QTest::newRow("text/plain;charset=utf-8") << "text/plain;charset=utf-8" << QByteArray("ça") << "ça";
    }
    void textOfEveryKindComesBackAsText()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                                              target, QStringLiteral("-i"), QStringLiteral("-loops"), QStringLiteral("0")});
        QVERIFY(xclip.waitForStarted(3000));
        xclip.write(bytes);
        xclip.closeWriteChannel();
        QVERIFY(TestEnv::waitFor([&] {
            return !Clipboard::ownedHere() && readClipboard(QStringLiteral("TARGETS")).out.split('\n').contains(target.toLatin1());
        }, 10000));
        const Clipboard::Snapshot snapshot = Clipboard::snapshot();
        QCOMPARE(snapshot.text(), std::optional<QString>(text));
        // Given back as text, it is offered to everyone as UTF-8 again.
        Clipboard::restore(snapshot);
        QCOMPARE(QString::fromUtf8(readClipboard().out), text);
        xclip.waitForFinished(3000);
    }
};

OMBRY_TEST_GUI_MAIN(TestClipboardSnapshot)
#include "tst_clipboard_snapshot.moc"
