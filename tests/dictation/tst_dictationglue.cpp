#include "dictation/DictationController.h"
#include "fakes/FakeHttpService.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QRegularExpression>

namespace {

QString journal()
{
    Log::waitUntilWritten();
    return QString::fromUtf8(TestEnv::readFile(Log::path()));
}

// The recordings of the audio folder, written or being written.
QStringList recordings()
{
    TestEnv::store()->flush();
    return QDir(Store::audioFolder()).entryList({QStringLiteral("*.wav")}, QDir::Files);
}

} // namespace

// The shared controller with the real processing road and selection actions,
// without an X server (nothing is trusted, nothing is pasted) and with every
// cloud and local service on a closed port.
class TestDictationGlue : public QObject
{
    Q_OBJECT

    QStringList sounds_;
    int attention_ = 0;

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("DISPLAY");
        DictationController *c = TestEnv::own<DictationController>();
        c->services().playSound = [this](const QString &name) { sounds_ << name; };
        // Without a key tab, a key failure asks for attention too.
        for (auto signal :
             {&DictationController::needsAttention, &DictationController::needsKey, &DictationController::needsEngine})
            connect(c, signal, this, [this] { ++attention_; });
    }

    void init()
    {
        sounds_.clear();
        attention_ = 0;
    }

    // With nothing listening, a road fails; what was said is kept in the audio
    // folder even though no record names it. A missing key is the cause shown,
    // not the on-device engine that is not installed either.
    void aFailingRoadReportsKeepsAndReturnsToIdle_data()
    {
        QTest::addColumn<TranscriptionEngine>("engine");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("attention");
        QTest::newRow("on-device engine missing")
            << TranscriptionEngine::Local << "Reconnaissance locale injoignable" << 1;
        QTest::newRow("cloud audio model without a key") << TranscriptionEngine::Gemini << "Clé OpenRouter absente" << 1;
    }
    void aFailingRoadReportsKeepsAndReturnsToIdle()
    {
        QFETCH(TranscriptionEngine, engine);
        QFETCH(QString, message);
        QFETCH(int, attention);
        TestEnv::settings()->setTranscriptionEngine(engine);
        DictationController *c = TestEnv::own<DictationController>();
        const QStringList before = recordings();
        c->setState(DictationController::State::Processing);
        c->setCommandText(QStringLiteral("sélection"));
        QByteArray wav(44 + 32000, '\0');
        wav[44] = char(engine == TranscriptionEngine::Local ? 1 : 2); // told apart from other rows' files
        c->process(wav, 1.0, std::nullopt, std::nullopt);
        QVERIFY(TestEnv::waitFor([&] { return c->state() == DictationController::State::Idle; }, 20000));
        QCOMPARE(c->lastError(), std::optional<QString>(message));
        QVERIFY(c->flashIsError());
        QCOMPARE(sounds_, QStringList{QStringLiteral("Basso")});
        QCOMPARE(attention_, attention);
        QCOMPARE(c->commandText(), std::nullopt);
        QVERIFY(journal().contains(QStringLiteral("erreur: ") + message));

        QStringList added = recordings();
        for (const QString &f : before)
            added.removeAll(f);
        QCOMPARE(added.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.wav$")).match(added[0]).hasMatch(),
                 qPrintable(added[0]));
        QCOMPARE(TestEnv::readFile(QDir(Store::audioFolder()).filePath(added[0])), wav);
        QVERIFY(journal().contains(QStringLiteral("dictée: enregistrement gardé ") + added[0] + QStringLiteral(" (")
                                   + message + QStringLiteral(")")));
    }

    // A fresh home has no key: the press itself says so, and opens the settings.
    void aMissingKeyIsToldAtThePress_data()
    {
        QTest::addColumn<QString>("hosted");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("flash");
        QTest::addColumn<int>("attention");
        QTest::newRow("fresh home") << "" << "" << "Clé OpenRouter absente" << 1;
        // The next refusal: the unit tests have no sound server.
        QTest::newRow("hosted service") << "http://127.0.0.1:9/" << "" << "Micro indisponible" << 0;
        QTest::newRow("own key") << "" << "sk-or-test" << "Micro indisponible" << 0;
        QTest::newRow("blank key") << "" << " \n" << "Clé OpenRouter absente" << 1;
    }
    void aMissingKeyIsToldAtThePress()
    {
        QFETCH(QString, hosted);
        QFETCH(QString, key);
        QFETCH(QString, flash);
        QFETCH(int, attention);
        TestEnv::settings()->setTranscriptionEngine(TranscriptionEngine::Gemini);
        TestEnv::settings()->setRewriteEngine(RewriteEngine::Local);
        TestEnv::settings()->setKey(DictationKey::RightControl);
        if (!hosted.isEmpty())
            qputenv("OMBRY_HOSTED_URL", hosted.toUtf8());
        TestEnv::keys()->setKeys(key.isEmpty() ? KeyStore::Keys() : KeyStore::Keys{{APIService::OpenRouter, key}});
        DictationController *c = TestEnv::own<DictationController>();
        c->setState(DictationController::State::Idle);
        c->hotkey().handle(62, 0x42000, 0, 7);
        c->hotkey().handle(62, 0, 0, 7);
        qunsetenv("OMBRY_HOSTED_URL");
        TestEnv::keys()->setKeys({});
        QVERIFY(TestEnv::waitFor([&] { return c->flash() == std::optional<QString>(flash); }, 5000));
        QVERIFY(c->flashIsError());
        QCOMPARE(attention_, attention);
        QVERIFY(TestEnv::waitFor([&] { return c->state() == DictationController::State::Idle; }, 5000));
    }

    void selectionActionsFollowTheState()
    {
        DictationController *c = TestEnv::own<DictationController>();
        c->setState(DictationController::State::Recording);
        c->correctSelection(true, true);
        QCOMPARE(c->state(), DictationController::State::Recording);
        QVERIFY(sounds_.isEmpty());

        c->setState(DictationController::State::Idle);
        c->correctSelection(true, false);
        QCOMPARE(c->state(), DictationController::State::Idle);
        QCOMPARE(c->lastError(), std::optional<QString>(QStringLiteral("Accessibilité non autorisée")));
        QCOMPARE(attention_, 1);

        c->pasteLast(); // an empty history: nothing
        QCOMPARE(c->state(), DictationController::State::Idle);
    }

    // Last: once told to quit, the controller starts no dictation. The quit
    // waits for the road; one that is still waiting for its service keeps its
    // recording, written by the time the call returns.
    void quitKeepsTheDictationUnderWay_data()
    {
        QTest::addColumn<bool>("hang");
        QTest::addColumn<bool>("clean");
        QTest::addColumn<QString>("cause");
        QTest::newRow("service answers within the wait")
            << false << true << "Ombry : erreur 500";
        QTest::newRow("service still silent") << true << false << "fermeture pendant le traitement";
    }
    void quitKeepsTheDictationUnderWay()
    {
        QFETCH(bool, hang);
        QFETCH(bool, clean);
        QFETCH(QString, cause);
        FakeHttpService hosted;
        QVERIFY(hosted.start());
        hosted.setHandler([hang](const RecordedRequest &) {
            ScriptedReply reply = ScriptedReply::text("panne", 500);
            reply.delayMs = 50;
            return hang ? ScriptedReply::hanging() : reply;
        });
        qputenv("OMBRY_HOSTED_URL", hosted.url(QStringLiteral("/")).toUtf8());
        TestEnv::settings()->setTranscriptionEngine(TranscriptionEngine::Gemini);
        DictationController *c = TestEnv::own<DictationController>();
        const QStringList before = recordings();
        c->setState(DictationController::State::Processing);
        QByteArray wav(44 + 32000, '\0');
        wav[44] = char(hang ? 3 : 4);
        c->process(wav, 1.0, std::nullopt, std::nullopt);
        QVERIFY(hosted.waitForRequests(1));
        QCOMPARE(c->prepareToQuit(500), clean);
        qunsetenv("OMBRY_HOSTED_URL");

        QStringList added = QDir(Store::audioFolder()).entryList({QStringLiteral("*.wav")}, QDir::Files);
        if (clean)
            added = recordings(); // a failed road's recording is written by the store's quit flush
        for (const QString &f : before)
            added.removeAll(f);
        QCOMPARE(added.size(), 1);
        QCOMPARE(TestEnv::readFile(QDir(Store::audioFolder()).filePath(added[0])), wav);
        QVERIFY(journal().contains(QStringLiteral("dictée: enregistrement gardé ") + added[0] + QStringLiteral(" (")
                                   + cause + QStringLiteral(")")));
        QCOMPARE(c->state(), clean ? DictationController::State::Idle : DictationController::State::Processing);
    }
};

OMBRY_TEST_ROOT_MAIN(TestDictationGlue)
#include "tst_dictationglue.moc"
