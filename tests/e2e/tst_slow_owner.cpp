#include "dictation/Paster.h"
#include "dictation/ProcessingRoad.h"
#include "core/Log.h"
#include "model/AppSettings.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

using DesktopTools::readClipboard;

namespace {

struct FakeHost : RoadHost
{
    QStringList calls;
    bool owns(quint64) const override { return true; }
    void fail(const QString &m) override { calls << QStringLiteral("fail ") + m; }
    void show(const QString &m) override { calls << QStringLiteral("show ") + m; }
    void setLastError(const QString &m) override { calls << QStringLiteral("lastError ") + m; }
    void clearCommandText() override {}
    void finish() override { calls << QStringLiteral("finish"); }
};

QString journal()
{
    Log::waitUntilWritten();
    return QString::fromUtf8(TestEnv::readFile(Log::path()));
}

} // namespace

// A dictation pasted over the clipboard of a slow owner (a browser that takes
// seconds to encode the image the user copied) into a real window: the text
// lands, the image comes back whole when the owner gives it within the longer
// wait, and a clipboard kept only in part is told in the capsule and the journal.
class TestSlowOwner : public QObject
{
    Q_OBJECT

    DesktopTools::Editor editor;
    QTemporaryDir dir;
    QByteArray image;
    // The editor is stopped when the paste key goes out, for this long.
    int frozenMs = 0;

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::settings()->setRestoreClipboard(true);
        image = QByteArray("\x89PNG\r\n\x1a\n", 8);
        for (int i = 0; i < 200 * 1024; ++i)
            image.append(char((i * 7 + i / 251) & 0xff));
        QVERIFY(TestEnv::writeFile(dir.filePath(QStringLiteral("image.png")), image));
        QVERIFY(editor.start());
    }

    void pasteOverASlowOwner_data()
    {
        QTest::addColumn<int>("imageDelayMs");
        QTest::addColumn<int>("freezeMs");
        QTest::addColumn<bool>("imageBack");
        QTest::addColumn<QString>("shown");
        QTest::newRow("image given after 1.5 s") << 1500 << 0 << true << "show 5 mots";
        QTest::newRow("target busy when the key comes") << 0 << 1200 << true << "show 5 mots";
        QTest::newRow("image not given in time") << 6000 << 0 << false << "show Presse-papiers gardé en partie";
    }
    void pasteOverASlowOwner()
    {
        QFETCH(int, imageDelayMs);
        QFETCH(int, freezeMs);
        QFETCH(bool, imageBack);
        QFETCH(QString, shown);
        frozenMs = freezeMs;
        QVERIFY(editor.send(QStringLiteral("set ")));
        QProcess owner;
        owner.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        owner.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/slow_owner"),
                    {QString::number(imageDelayMs), QStringLiteral("copie de l'utilisateur"), dir.filePath(QStringLiteral("image.png"))});
        QVERIFY(owner.waitForStarted(3000));
        QVERIFY(TestEnv::waitFor([&] { return owner.canReadLine() && owner.readLine() == "ready\n"; }, 5000));
        const qsizetype partialLines = journal().count(QStringLiteral("gardé : UTF8_STRING ; non gardé : image/png"));
        const qsizetype fetchedLines = journal().count(QStringLiteral("presse-papiers: texte lu par l'application"));

        PasteDesktop keys;
        keys.post = [this](quint16, quint64) {
            if (frozenMs > 0) {
                ::kill(pid_t(editor.pid()), SIGSTOP);
                QTimer::singleShot(frozenMs, [pid = editor.pid()] { ::kill(pid_t(pid), SIGCONT); });
            }
            return DesktopTools::key(QStringLiteral("ctrl+v"));
        };
        keys.targetClass = [] { return QStringLiteral("test_editor"); };
        Paster paster(keys);
        RoadDesktop desktop = RoadDesktop::system(&paster);
        desktop.trusted = [] { return true; };
        ProcessingRoad::Request request;
        request.serial = 1;
        request.wav = QByteArray(44 + 3200, '\0');
        request.duration = 5;
        request.startedAt = QDateTime::currentDateTimeUtc();
        request.pre = ChunkText{QStringLiteral("un deux trois quatre cinq"), QStringLiteral("un deux trois quatre cinq")};
        request.focus = Accessibility::FocusRead{std::nullopt, true, std::nullopt};
        FakeHost host;
        bool done = false;
        [](FakeHost *h, ProcessingRoad::Request r, RoadDesktop d, bool *flag) -> QCoro::Task<> {
            co_await ProcessingRoad::run(h, DictationData{TestEnv::settings(), TestEnv::store(), TestEnv::keys()},
                                         std::move(r), std::move(d));
            *flag = true;
        }(&host, request, desktop, &done);
        QVERIFY(TestEnv::waitFor([&] { return done; }, 20000));
        QVERIFY2(host.calls.contains(shown), qPrintable(host.calls.join(u'|')));

        QVERIFY2(TestEnv::waitFor([&] { return editor.text() == QStringLiteral("Un deux trois quatre cinq."); }, 10000),
                 qPrintable(editor.text()));
        // The user's clipboard is back once the editor has its text.
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "copie de l'utilisateur"; }, 10000));
        QCOMPARE(readClipboard(QStringLiteral("image/png")).out == image, imageBack);
        QCOMPARE(journal().count(QStringLiteral("gardé : UTF8_STRING ; non gardé : image/png")),
                 partialLines + (imageBack ? 0 : 1));
        // It came back on the editor's fetch of the text, not at the end of the wait.
        QCOMPARE(journal().count(QStringLiteral("presse-papiers: texte lu par l'application")), fetchedLines + 1);
        owner.closeWriteChannel();
        QVERIFY(owner.waitForFinished(imageDelayMs + 5000));
    }
};

OMBRY_TEST_GUI_MAIN(TestSlowOwner)
#include "tst_slow_owner.moc"
