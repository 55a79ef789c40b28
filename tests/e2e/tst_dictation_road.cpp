#include "audio/AudioRecorder.h"
#include "dictation/ProcessingRoad.h"
#include "fakes/FakeHttpService.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

// The controller as the road sees it, recording every call.
struct FakeHost : RoadHost
{
    bool current = true;
    QStringList calls;
    bool owns(quint64) const override { return current; }
    void fail(const QString &m) override { calls << QStringLiteral("fail ") + m; }
    void show(const QString &m) override { calls << QStringLiteral("show ") + m; }
    void setLastError(const QString &m) override { calls << QStringLiteral("lastError ") + m; }
    void clearCommandText() override { calls << QStringLiteral("clearCommand"); }
    void finish() override { calls << QStringLiteral("finish"); }
};

// The chat service: audio requests get the transcript, the others are told
// apart by their system prompt.
struct Cloud
{
    FakeHttpService http;
    static QString spoken() { return QStringLiteral("euh bonjour je voudrais réserver une table pour deux personnes ce soir"); }
    QString transcript = spoken();
    QString rewrite = QStringLiteral("Bonjour, je voudrais réserver une table pour deux personnes ce soir");
    QString translation = QStringLiteral("Hello, I would like to book a table for two tonight.");
    QString command = QStringLiteral("Texte modifié par la commande.");
    bool failTranscription = false;
    bool failRewrite = false;
    bool failCommand = false;

    static QString systemOf(const QJsonObject &body)
    {
        for (const QJsonValue &m : body.value(QStringLiteral("messages")).toArray())
            if (m.toObject().value(QStringLiteral("role")).toString() == QLatin1String("system"))
                return m.toObject().value(QStringLiteral("content")).toString();
        return {};
    }

    static ScriptedReply chat(const QString &content)
    {
        return ScriptedReply::json(QJsonObject{
            {QStringLiteral("choices"), QJsonArray{QJsonObject{{QStringLiteral("message"),
                QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")}, {QStringLiteral("content"), content}}}}}}});
    }

    QString kind(const RecordedRequest &r) const
    {
        if (r.body.contains("input_audio"))
            return QStringLiteral("transcription");
        const QString system = systemOf(r.json()).toLower();
        if (system.startsWith(QStringLiteral("tu modifies un texte")))
            return QStringLiteral("command");
        if (system.startsWith(QStringLiteral("traduis ce texte")))
            return QStringLiteral("translation");
        return QStringLiteral("rewrite");
    }

    void start()
    {
        QVERIFY(http.start());
        http.setHandler([this](const RecordedRequest &r) {
            const QString k = kind(r);
            if (k == QLatin1String("transcription"))
                return failTranscription ? ScriptedReply::text("panne", 500) : chat(transcript);
            if (k == QLatin1String("translation"))
                return chat(translation);
            if (k == QLatin1String("command"))
                return failCommand ? ScriptedReply::text("panne", 500) : chat(command);
            return failRewrite ? ScriptedReply::text("panne", 500) : chat(rewrite);
        });
        qputenv("OMBRY_HOSTED_URL", http.url(QStringLiteral("/")).toUtf8());
    }

    int count(const QString &k) const
    {
        int n = 0;
        for (const RecordedRequest &r : http.requests())
            n += kind(r) == k;
        return n;
    }
};

QByteArray tenSecondsWav()
{
    QByteArray pcm(16000 * 2 * 10, '\0');
    auto *s = reinterpret_cast<qint16 *>(pcm.data());
    for (int i = 0; i < 16000 * 10; ++i)
        s[i] = qint16((i % 80) < 40 ? 8000 : -8000);
    return AudioRecorder::wav(pcm);
}

QString journal()
{
    Log::waitUntilWritten();
    return QString::fromUtf8(TestEnv::readFile(Log::path()));
}

QStringList recordings()
{
    TestEnv::store()->flush();
    return QDir(Store::audioFolder()).entryList({QStringLiteral("*.wav")}, QDir::Files);
}

// Points the hosted service elsewhere for one scope.
class HostedUrl
{
public:
    explicit HostedUrl(const QByteArray &url) : saved_(qgetenv("OMBRY_HOSTED_URL"))
    {
        if (url.isEmpty())
            qunsetenv("OMBRY_HOSTED_URL");
        else
            qputenv("OMBRY_HOSTED_URL", url);
    }
    ~HostedUrl() { qputenv("OMBRY_HOSTED_URL", saved_); }

private:
    QByteArray saved_;
};

} // namespace

// The processing road from a recording to a pasted text and a saved record,
// against fake cloud services and a fake desktop.

namespace {

// The program's data the roads of these tests run on: the installed ones.
DictationData installedData()
{
    return DictationData{TestEnv::settings(), TestEnv::store(), TestEnv::keys()};
}

} // namespace
class TestDictationRoad : public QObject
{
    Q_OBJECT

    Cloud cloud;
    FakeHost host;
    QStringList pasted;
    bool trusted = true;
    bool keyPosted = true;
    QString clipboardNote;
    bool leftOnClipboard = false;
    std::optional<bool> editable;
    std::optional<QString> beforeCaret;
    QList<RunningApp> activated;

    RoadDesktop desktop()
    {
        RoadDesktop d;
        d.trusted = [this] { return trusted; };
        d.activate = [this](const RunningApp &app) { activated << app; };
        d.paste = [this](QString text, bool) -> QCoro::Task<PasteOutcome> {
            pasted << text;
            co_return PasteOutcome{keyPosted, clipboardNote, !keyPosted && leftOnClipboard};
        };
        d.focus = [this]() -> QCoro::Task<Accessibility::FocusRead> { co_return Accessibility::FocusRead{{}, editable, beforeCaret}; };
        return d;
    }

    ProcessingRoad::Request request()
    {
        ProcessingRoad::Request r;
        r.serial = 1;
        r.wav = tenSecondsWav();
        r.duration = 10.0;
        RunningApp app;
        app.name = QStringLiteral("Éditeur");
        app.bundleId = QStringLiteral("org.example.editor");
        r.app = app;
        r.startedAt = QDateTime::currentDateTimeUtc();
        return r;
    }

    // Sets up the road a row names: a dictation, a voice snippet (the spoken
    // words are its trigger) or a voice command over a selection.
    static void takeRoad(const QString &road, ProcessingRoad::Request &r)
    {
        if (road == QLatin1String("snippet")) {
            Snippet snippet;
            snippet.trigger = Cloud::spoken();
            snippet.text = QStringLiteral("Texte du raccourci");
            TestEnv::store()->setSnippets({snippet});
        } else if (road == QLatin1String("command")) {
            r.commandText = QStringLiteral("texte sélectionné");
        }
    }

    void runRoad(ProcessingRoad::Request r)
    {
        bool done = false;
        auto task = [](TestDictationRoad *self, ProcessingRoad::Request req, bool *flag) -> QCoro::Task<> {
            co_await ProcessingRoad::run(&self->host, installedData(), std::move(req), self->desktop());
            *flag = true;
        }(this, std::move(r), &done);
        QVERIFY(TestEnv::waitFor([&] { return done; }, 15000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        cloud.start();
        TestEnv::settings()->setTranscriptionEngine(TranscriptionEngine::Gemini);
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
    }

    void init()
    {
        cloud.http.clear();
        cloud.failTranscription = false;
        cloud.failRewrite = false;
        cloud.failCommand = false;
        cloud.transcript = Cloud::spoken();
        host = {};
        pasted.clear();
        activated.clear();
        trusted = true;
        keyPosted = true;
        clipboardNote.clear();
        leftOnClipboard = false;
        editable.reset();
        beforeCaret.reset();
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
        TestEnv::store()->setSnippets({});
    }

    void rewriteRoadPastesAndSaves()
    {
        const qsizetype before = TestEnv::store()->dictations().size();
        runRoad(request());
        QCOMPARE(pasted, QStringList{QStringLiteral("Bonjour, je voudrais réserver une table pour deux personnes ce soir.")});
        QCOMPARE(cloud.count(QStringLiteral("transcription")), 1);
        QCOMPARE(cloud.count(QStringLiteral("rewrite")), 1);
        QCOMPARE(host.calls, (QStringList{QStringLiteral("show 11 mots"), QStringLiteral("finish")}));
        QCOMPARE(activated.size(), 1);

        QCOMPARE(TestEnv::store()->dictations().size(), before + 1);
        const Dictation d = TestEnv::store()->dictations().first();
        QCOMPARE(d.rawText, cloud.transcript);
        QCOMPARE(d.duration, 10.0);
        QCOMPARE(d.appName, QStringLiteral("Éditeur"));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F-]{36}\\.wav$")).match(d.audioFileText()).hasMatch());
        TestEnv::store()->waitForIo(); // written on the store's thread
        QVERIFY(TestEnv::readFile(QDir(Store::audioFolder()).filePath(d.audioFileText())).startsWith("RIFF"));
        QVERIFY(journal().contains(QStringLiteral("collé: 68 caractères dans Éditeur, ")));
    }

    void roadChoice_data()
    {
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<bool>("translate");
        QTest::addColumn<int>("rewrites");
        QTest::addColumn<int>("translations");
        QTest::addColumn<QString>("expected");
        QTest::newRow("short: basic clean-up") << "trois mots là" << false << 0 << 0 << "Trois mots là";
        QTest::newRow("short to translate: model and translation")
            << "trois mots là" << true << 1 << 1 << "Hello, I would like to book a table for two tonight.";
        QTest::newRow("already clean, light punctuation keeps the decimal comma")
            << "il fait 3,5 degrés dehors; c'est doux, agréable et calme" << false << 0 << 0
            << "Il fait 3,5 degrés dehors c'est doux agréable et calme.";
    }
    void roadChoice()
    {
        QFETCH(QString, transcript);
        QFETCH(bool, translate);
        QFETCH(int, rewrites);
        QFETCH(int, translations);
        QFETCH(QString, expected);
        TestEnv::settings()->setPunctuation(PunctuationLevel::Light);
        cloud.transcript = transcript;
        ProcessingRoad::Request r = request();
        r.app->bundleId = QStringLiteral("org.example.plain");
        r.translate = translate;
        runRoad(r);
        QCOMPARE(cloud.count(QStringLiteral("rewrite")), rewrites);
        QCOMPARE(cloud.count(QStringLiteral("translation")), translations);
        QCOMPARE(pasted, QStringList{expected});
    }

    void chunkTextSkipsTranscription()
    {
        ProcessingRoad::Request r = request();
        r.pre = ChunkText{QStringLiteral("un deux trois quatre cinq"), QStringLiteral("un deux trois quatre cinq")};
        runRoad(r);
        QCOMPARE(cloud.count(QStringLiteral("transcription")), 0);
        QCOMPARE(cloud.count(QStringLiteral("rewrite")), 0);
        QCOMPARE(pasted, QStringList{QStringLiteral("Un deux trois quatre cinq.")});
        QCOMPARE(TestEnv::store()->dictations().first().rawText, QStringLiteral("un deux trois quatre cinq"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<bool>("isTrusted");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("saved");
        // Silence keeps nothing.
        QTest::newRow("blank transcript") << "  \t " << true << "Transcription vide" << false;
        QTest::newRow("hesitation only") << "Euh." << true << "Je n'ai rien entendu, parle un peu plus près du micro" << true;
        QTest::newRow("not trusted") << "un deux trois" << false << "Accessibilité non autorisée" << true;
    }
    void failures()
    {
        QFETCH(QString, transcript);
        QFETCH(bool, isTrusted);
        QFETCH(QString, message);
        QFETCH(bool, saved);
        cloud.transcript = transcript;
        trusted = isTrusted;
        const qsizetype before = TestEnv::store()->dictations().size();
        runRoad(request());
        QVERIFY(pasted.isEmpty());
        QVERIFY2(host.calls.contains(QStringLiteral("fail ") + message), qPrintable(host.calls.join(u'|')));
        QCOMPARE(host.calls.last(), QStringLiteral("finish"));
        for (const QString &call : std::as_const(host.calls))
            QVERIFY2(!call.startsWith(QStringLiteral("show ")), qPrintable(call));
        QCOMPARE(TestEnv::store()->dictations().size(), before + (saved ? 1 : 0));
        if (saved) {
            TestEnv::store()->waitForIo();
            QVERIFY(TestEnv::store()->audioURL(TestEnv::store()->dictations().first()).isValid());
        }
    }

    // A road that fails before its record exists keeps the recording all the
    // same, as a history entry without text named by the dictation's id, and
    // says so in the journal.
    void failureKeepsTheRecording_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("transcription service down")
            << "transcription" << "Ombry : erreur 500";
        QTest::newRow("no key and no hosted service") << "no route" << "Clé OpenRouter absente";
    }
    void failureKeepsTheRecording()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        cloud.failTranscription = fault == QLatin1String("transcription");
        const HostedUrl hosted(fault == QLatin1String("no route") ? QByteArray() : qgetenv("OMBRY_HOSTED_URL"));
        ProcessingRoad::Request r = request();
        r.wav[100] = char(fault.size()); // its own bytes
        const QStringList before = recordings();
        const qsizetype dictations = TestEnv::store()->dictations().size();
        runRoad(r);
        QVERIFY(pasted.isEmpty());
        QVERIFY2(host.calls.contains(QStringLiteral("fail ") + message), qPrintable(host.calls.join(u'|')));
        QCOMPARE(host.calls.last(), QStringLiteral("finish"));
        for (const QString &call : std::as_const(host.calls))
            QVERIFY2(!call.startsWith(QStringLiteral("show ")), qPrintable(call));
        QCOMPARE(TestEnv::store()->dictations().size(), dictations + 1);
        const Dictation kept = TestEnv::store()->dictations().first();
        QVERIFY(kept.untranscribed());
        QCOMPARE(kept.appName, QStringLiteral("Éditeur"));
        QCOMPARE(kept.duration, 10.0);
        QCOMPARE(kept.date, r.startedAt);

        QStringList added = recordings();
        for (const QString &f : before)
            added.removeAll(f);
        QCOMPARE(added.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.wav$")).match(added[0]).hasMatch(),
                 qPrintable(added[0]));
        QCOMPARE(TestEnv::readFile(QDir(Store::audioFolder()).filePath(added[0])), r.wav);
        QCOMPARE(kept.audioFileText(), added[0]);
        QVERIFY(journal().contains(QStringLiteral("dictée: enregistrement gardé ") + added[0] + QStringLiteral(" (")
                                   + message + QStringLiteral(")")));
    }

    // Silence and a failed voice command are no speech left without its text:
    // nothing is kept ("Transcrire" on a command would paste the instruction).
    void nothingKeptWithoutDictatedSpeech_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("voice command fails") << "command" << "Ombry : erreur 500";
    }
    void nothingKeptWithoutDictatedSpeech()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        cloud.failCommand = fault == QLatin1String("command");
        if (fault == QLatin1String("blank"))
            cloud.transcript = QStringLiteral(" ");
        ProcessingRoad::Request r = request();
        if (fault == QLatin1String("command"))
            r.commandText = QStringLiteral("texte sélectionné");
        const QStringList before = recordings();
        const qsizetype dictations = TestEnv::store()->dictations().size();
        runRoad(r);
        QVERIFY(pasted.isEmpty());
        QCOMPARE(host.calls, (QStringList{QStringLiteral("fail ") + message, QStringLiteral("finish")}));
        QCOMPARE(TestEnv::store()->dictations().size(), dictations);
        QCOMPARE(recordings(), before);
    }

    // "Transcrire" on a kept recording: the road runs on it again, gives the
    // entry its text and pastes nothing.
    void keptRecordingIsTranscribedLater_data()
    {
        QTest::addColumn<QString>("later"); // the state of things when the user asks
        QTest::addColumn<QString>("failure");
        QTest::newRow("the cloud answers") << "up" << QString();
        QTest::newRow("the cloud is still down") << "down" << "Ombry : erreur 500";
        QTest::newRow("the recording is gone") << "gone" << "L'enregistrement de cette dictée n'existe plus";
    }
    void keptRecordingIsTranscribedLater()
    {
        QFETCH(QString, later);
        QFETCH(QString, failure);
        Store *store = TestEnv::store();
        cloud.failTranscription = true;
        runRoad(request());
        const Dictation kept = store->dictations().first();
        QVERIFY(kept.untranscribed());
        store->waitForIo();
        const qsizetype entries = store->dictations().size();
        const qint64 counted = store->transcribedCount();

        cloud.failTranscription = later == QLatin1String("down");
        if (later == QLatin1String("gone"))
            QVERIFY(QFile::remove(store->audioURL(kept).toLocalFile()));
        host = {};
        pasted.clear();
        activated.clear();
        bool done = false;
        auto task = [](TestDictationRoad *self, Dictation entry, bool *flag) -> QCoro::Task<> {
            co_await ProcessingRoad::transcribeKept(&self->host, installedData(), std::move(entry));
            *flag = true;
        }(this, kept, &done);
        QVERIFY(TestEnv::waitFor([&] { return done; }, 15000));

        QVERIFY(pasted.isEmpty());
        QVERIFY(activated.isEmpty());
        QCOMPARE(store->dictations().size(), entries);
        const Dictation now = store->dictations().first();
        QCOMPARE(now.id, kept.id);
        QCOMPARE(now.date, kept.date);
        QCOMPARE(now.audioFile, kept.audioFile);
        if (failure.isEmpty()) {
            QCOMPARE(host.calls, QStringList{QStringLiteral("finish")});
            QCOMPARE(now.rawText, cloud.transcript);
            QCOMPARE(now.finalText, QStringLiteral("Bonjour, je voudrais réserver une table pour deux personnes ce soir."));
            QCOMPARE(store->transcribedCount(), counted + 1);
        } else {
            QCOMPARE(host.calls, (QStringList{QStringLiteral("fail ") + failure, QStringLiteral("finish")}));
            QVERIFY(now.untranscribed());
            QCOMPARE(store->transcribedCount(), counted);
            // Kept once, not again.
            QCOMPARE(recordings().filter(QUuid(kept.id).toString(QUuid::WithoutBraces).toUpper()).size(),
                     later == QLatin1String("gone") ? 0 : 1);
        }
    }

    // Without a key nor the hosted service the OpenRouter rewrite fails, and so
    // does the on-device model that is not installed: the cause kept is the key.
    void missingKeyBehindTheRewrite()
    {
        const HostedUrl hosted({});
        ProcessingRoad::Request r = request();
        r.pre = ChunkText{QStringLiteral("euh une phrase assez longue pour la réécriture"), QString()};
        runRoad(r);
        QCOMPARE(pasted, QStringList{QStringLiteral("Une phrase assez longue pour la réécriture")});
        QCOMPARE(host.calls.first(), QStringLiteral("lastError Clé OpenRouter absente"));
        QVERIFY(journal().contains(QStringLiteral("reformulation: Clé OpenRouter absente")));
    }

    // The recording is written once the paste is on its way, not before: the
    // record already names it when the paste goes out.
    void recordingIsWrittenAfterThePaste()
    {
        std::optional<bool> presentAtPaste;
        QString named;
        ProcessingRoad::Request r = request();
        RoadDesktop d = desktop();
        d.paste = [&](QString text, bool) -> QCoro::Task<PasteOutcome> {
            pasted << text;
            named = TestEnv::store()->dictations().first().audioFileText();
            presentAtPaste = QFileInfo::exists(QDir(Store::audioFolder()).filePath(named));
            co_return PasteOutcome{true, {}};
        };
        bool done = false;
        [](TestDictationRoad *self, ProcessingRoad::Request req, RoadDesktop desk, bool *flag) -> QCoro::Task<> {
            co_await ProcessingRoad::run(&self->host, installedData(), std::move(req), std::move(desk));
            *flag = true;
        }(this, r, d, &done);
        QVERIFY(TestEnv::waitFor([&] { return done; }, 15000));
        QCOMPARE(pasted.size(), 1);
        QCOMPARE(presentAtPaste, std::optional<bool>(false));
        TestEnv::store()->waitForIo();
        QCOMPARE(TestEnv::readFile(QDir(Store::audioFolder()).filePath(named)), r.wav);
    }

    // Nothing pasted is never reported as pasted or applied: a paste key that
    // could not be posted (no key code, XTEST refused), or read-only text in
    // front (page text, a label) as read while recording or at the paste. The
    // text stays in the history.
    void unpastedIsNotReported_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<bool>("posted");
        QTest::addColumn<QString>("readOnly"); // "", "at paste", "at start"
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("journalLine");
        QTest::addColumn<QString>("absentLine");
        const QString refused = QStringLiteral("(touche de collage non envoyée)");
        const QString commandReadOnly = QStringLiteral("Champ non modifiable : le résultat est dans l'historique");
        QTest::newRow("key refused: dictation")
            << "dictation" << false << "" << Road::pasteFailed() << refused << "caractères dans Éditeur";
        QTest::newRow("key refused: voice snippet")
            << "snippet" << false << "" << Road::pasteFailed() << refused << "raccourci vocal: ";
        QTest::newRow("key refused: voice command")
            << "command" << false << "" << Road::pasteFailed() << refused << "commande appliquée: ";
        QTest::newRow("read-only: dictation") << "dictation" << true << "at paste" << Road::notEditable()
                                              << "non collé: champ non modifiable dans Éditeur"
                                              << "caractères dans Éditeur";
        QTest::newRow("read-only as read while recording: dictation")
            << "dictation" << true << "at start" << Road::notEditable() << "non collé: champ non modifiable dans Éditeur"
            << "caractères dans Éditeur";
        QTest::newRow("read-only: voice command") << "command" << true << "at paste" << commandReadOnly
                                                  << "commande non appliquée: champ non modifiable"
                                                  << "commande appliquée: ";
        QTest::newRow("read-only as read while recording: voice command")
            << "command" << true << "at start" << commandReadOnly << "commande non appliquée: champ non modifiable"
            << "commande appliquée: ";
    }
    void unpastedIsNotReported()
    {
        QFETCH(QString, road);
        QFETCH(bool, posted);
        QFETCH(QString, readOnly);
        QFETCH(QString, message);
        QFETCH(QString, journalLine);
        QFETCH(QString, absentLine);
        keyPosted = posted;
        ProcessingRoad::Request r = request();
        if (readOnly == QLatin1String("at paste"))
            editable = false;
        else if (readOnly == QLatin1String("at start"))
            r.focus = Accessibility::FocusRead{std::nullopt, false, std::nullopt};
        takeRoad(road, r);
        const QString logBefore = journal();
        const qsizetype dictations = TestEnv::store()->dictations().size();
        const qsizetype fixes = TestEnv::store()->fixes().size();
        runRoad(r);
        QCOMPARE(pasted.size(), readOnly.isEmpty() ? 1 : 0);
        QCOMPARE(host.calls.last(), QStringLiteral("finish"));
        QVERIFY2(host.calls.contains(QStringLiteral("fail ") + message), qPrintable(host.calls.join(u'|')));
        for (const QString &call : std::as_const(host.calls))
            QVERIFY2(!call.startsWith(QStringLiteral("show ")), qPrintable(call));
        const QString log = journal();
        QCOMPARE(log.count(journalLine), logBefore.count(journalLine) + 1);
        QCOMPARE(log.count(absentLine), logBefore.count(absentLine));
        QCOMPARE(TestEnv::store()->fixes().size(), fixes + (road == QLatin1String("command") ? 1 : 0));
        if (road == QLatin1String("dictation")) {
            // The text is not lost: the record and its recording are kept.
            QCOMPARE(TestEnv::store()->dictations().size(), dictations + 1);
            TestEnv::store()->waitForIo();
            QVERIFY(TestEnv::store()->audioURL(TestEnv::store()->dictations().first()).isValid());
        } else {
            QCOMPARE(TestEnv::store()->dictations().size(), dictations);
        }
    }

    // A clipboard that could be kept only in part is what the capsule tells
    // after the paste, on every road that pastes.
    void clipboardNoteIsShown_data()
    {
        QTest::addColumn<QString>("road");
        QTest::newRow("dictation") << "dictation";
        QTest::newRow("voice snippet") << "snippet";
        QTest::newRow("voice command") << "command";
    }
    void clipboardNoteIsShown()
    {
        QFETCH(QString, road);
        clipboardNote = QStringLiteral("Presse-papiers gardé en partie");
        ProcessingRoad::Request r = request();
        takeRoad(road, r);
        runRoad(r);
        QCOMPARE(pasted.size(), 1);
        QCOMPARE(host.calls.mid(host.calls.size() - 2),
                 (QStringList{QStringLiteral("show Presse-papiers gardé en partie"), QStringLiteral("finish")}));
    }

    // No keys reach the window in front: the text waits on the clipboard and the
    // capsule says how to paste it, neither a failure nor a paste.
    void noKeysLeaveTheTextToPaste_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<QString>("journalLine");
        QTest::newRow("dictation") << "dictation" << "collé: ";
        QTest::newRow("voice snippet") << "snippet" << "raccourci vocal: ";
        QTest::newRow("voice command") << "command" << "commande appliquée: ";
    }
    void noKeysLeaveTheTextToPaste()
    {
        QFETCH(QString, road);
        QFETCH(QString, journalLine);
        keyPosted = false;
        leftOnClipboard = true;
        ProcessingRoad::Request r = request();
        takeRoad(road, r);
        const qsizetype linesBefore = journal().count(journalLine);
        const qsizetype dictations = TestEnv::store()->dictations().size();
        runRoad(r);
        QCOMPARE(pasted.size(), 1);
        QCOMPARE(host.calls.last(), QStringLiteral("finish"));
        QVERIFY2(host.calls.contains(QStringLiteral("show Texte copié : colle-le avec Ctrl+V")),
                 qPrintable(host.calls.join(u'|')));
        for (const QString &call : std::as_const(host.calls))
            QVERIFY2(!call.startsWith(QStringLiteral("fail ")), qPrintable(call));
        QCOMPARE(journal().count(journalLine), linesBefore);
        if (road == QLatin1String("dictation"))
            QCOMPARE(TestEnv::store()->dictations().size(), dictations + 1);
    }

    // The character before the caret, as AT-SPI tells it, decides the space.
    void dictationAfterAWordIsSeparated()
    {
        beforeCaret = QStringLiteral("t");
        runRoad(request());
        QCOMPARE(pasted, QStringList{QStringLiteral(" Bonjour, je voudrais réserver une table pour deux personnes ce soir.")});
    }

    // A road the watchdog gave up on (the user read "réessaie" and moved on) still
    // saves its text and recording, but neither takes the desktop back nor
    // pastes, and no longer speaks for the controller.
    void staleRoadLeavesTheControllerAlone_data()
    {
        QTest::addColumn<bool>("command");
        QTest::newRow("dictation") << false;
        QTest::newRow("voice command") << true;
    }
    void staleRoadLeavesTheControllerAlone()
    {
        QFETCH(bool, command);
        cloud.transcript = QStringLiteral("une phrase assez longue pour la réécriture complète");
        host.current = false;
        Store *store = TestEnv::store();
        const qsizetype before = store->dictations().size();
        const qsizetype fixes = store->fixes().size();
        ProcessingRoad::Request r = request();
        if (command)
            r.commandText = QStringLiteral("Texte sélectionné.");
        runRoad(r);
        QVERIFY(pasted.isEmpty());
        QVERIFY(activated.isEmpty());
        QCOMPARE(store->dictations().size(), before + (command ? 0 : 1));
        QCOMPARE(store->fixes().size(), fixes + (command ? 1 : 0));
        if (!command) {
            QCOMPARE(store->dictations().first().finalText, QStringLiteral("Une phrase assez longue pour la réécriture complète."));
            QCOMPARE(recordings().filter(uuidText(store->dictations().first().id)).size(), 1);
        }
        QVERIFY(host.calls.isEmpty());
        QVERIFY(journal().contains("non collé: dictée abandonnée après le délai"));
    }

    // Two records of one id (a history edited by hand): "Transcrire" gives the
    // text to the record whose recording it is, never to the other.
    void keptRecordingFindsItsOwnRecord()
    {
        Store *store = TestEnv::store();
        cloud.failTranscription = true;
        runRoad(request());
        const Dictation kept = store->dictations().first();
        Dictation twin = kept;
        twin.audioFile = QStringLiteral("autre.wav");
        twin.date = kept.date.addSecs(60);
        store->add(twin);
        cloud.failTranscription = false;
        bool done = false;
        auto task = [](TestDictationRoad *self, Dictation entry, bool *flag) -> QCoro::Task<> {
            co_await ProcessingRoad::transcribeKept(&self->host, installedData(), std::move(entry));
            *flag = true;
        }(this, kept, &done);
        QVERIFY(TestEnv::waitFor([&] { return done; }, 15000));
        QCOMPARE(store->dictations().at(0).audioFile, twin.audioFile);
        QVERIFY(store->dictations().at(0).untranscribed());
        QCOMPARE(store->dictations().at(1).audioFile, kept.audioFile);
        QCOMPARE(store->dictations().at(1).rawText, cloud.transcript);
    }

    // A chosen local model that does not answer hands nothing to the cloud, and
    // the capsule says the basic clean-up stood in.
    void rewriteFailureFallsBackToBasicCleanup_data()
    {
        QTest::addColumn<RewriteEngine>("engine");
        QTest::addColumn<int>("cloudRewrites");
        QTest::addColumn<QString>("shown");
        QTest::newRow("cloud fails") << RewriteEngine::OpenRouter << 1 << "show 7 mots";
        QTest::newRow("chosen local model down")
            << RewriteEngine::Local << 0 << "show Modèle local injoignable : texte nettoyé simplement";
    }
    void rewriteFailureFallsBackToBasicCleanup()
    {
        QFETCH(RewriteEngine, engine);
        QFETCH(int, cloudRewrites);
        QFETCH(QString, shown);
        TestEnv::settings()->setRewriteEngine(engine);
        cloud.transcript = QStringLiteral("euh une phrase assez longue pour la réécriture");
        cloud.failRewrite = true;
        runRoad(request());
        QCOMPARE(pasted, QStringList{QStringLiteral("Une phrase assez longue pour la réécriture")});
        QVERIFY(host.calls.first().startsWith(QStringLiteral("lastError ")));
        QCOMPARE(cloud.count(QStringLiteral("rewrite")), cloudRewrites);
        QCOMPARE(host.calls.at(host.calls.size() - 2), shown);
    }

    void voiceCommandAndSnippet()
    {
        Snippet snippet;
        snippet.trigger = QStringLiteral("ma signature");
        snippet.text = QStringLiteral("Jean Dupont\nParis");
        TestEnv::store()->setSnippets({snippet});

        cloud.transcript = QStringLiteral("ma signature");
        ProcessingRoad::Request withSelection = request();
        withSelection.commandText = QStringLiteral("texte sélectionné");
        const qsizetype dictations = TestEnv::store()->dictations().size();
        const qsizetype fixes = TestEnv::store()->fixes().size();
        runRoad(withSelection);
        QCOMPARE(pasted, QStringList{cloud.command});
        QCOMPARE(host.calls, (QStringList{QStringLiteral("clearCommand"), QStringLiteral("show Commande appliquée"), QStringLiteral("finish")}));
        QCOMPARE(TestEnv::store()->fixes().size(), fixes + 1);
        QCOMPARE(TestEnv::store()->fixes().first().action, QStringLiteral("Commande : ma signature"));

        host = {};
        pasted.clear();
        runRoad(request());
        QCOMPARE(pasted, QStringList{snippet.text});
        QCOMPARE(host.calls, (QStringList{QStringLiteral("show Raccourci « ma signature »"), QStringLiteral("finish")}));
        QCOMPARE(TestEnv::store()->dictations().size(), dictations);
    }

    // The journal promises no dictated text: a command or a snippet's trigger
    // is logged by its length in characters (grapheme clusters), never its words.
    void journalKeepsLengthsNotWords_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<QString>("spoken");
        QTest::addColumn<QString>("line");
        QTest::newRow("snippet") << "snippet" << QStringLiteral("ma signature secrète") << QStringLiteral("raccourci vocal: 20 caractères");
        QTest::newRow("snippet, accents") << "snippet" << QStringLiteral("café crème") << QStringLiteral("raccourci vocal: 10 caractères");
        QTest::newRow("command") << "command" << QStringLiteral("mets tout en majuscules") << QStringLiteral("commande appliquée: 23 caractères");
    }
    void journalKeepsLengthsNotWords()
    {
        QFETCH(QString, road);
        QFETCH(QString, spoken);
        QFETCH(QString, line);
        cloud.transcript = spoken;
        ProcessingRoad::Request r = request();
        if (road == QLatin1String("snippet")) {
            Snippet snippet;
            snippet.trigger = spoken;
            snippet.text = QStringLiteral("Texte du raccourci");
            TestEnv::store()->setSnippets({snippet});
        } else {
            TestEnv::store()->setSnippets({});
            r.commandText = QStringLiteral("texte sélectionné");
        }
        const qsizetype before = journal().count(line);
        runRoad(r);
        QCOMPARE(pasted.size(), 1);
        const QString log = journal();
        QCOMPARE(log.count(line), before + 1);
        QVERIFY2(!log.contains(spoken), qPrintable(log.right(2000)));
    }

    void pureRules_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("light");
        QTest::addColumn<bool>("hesitation");
        QTest::newRow("decimal comma") << "3,5 degrés, pas plus" << "3,5 degrés pas plus" << false;
        QTest::newRow("semicolons") << "un; deux;trois" << "un deux trois" << false;
        QTest::newRow("comma between words") << "rouge,vert, bleu," << "rouge vert bleu" << false;
        QTest::newRow("three spaces become two") << "a ,   b" << "a  b" << false;
        QTest::newRow("comma after digit then space") << "en 2024, puis" << "en 2024 puis" << false;
        QTest::newRow("hesitation with capital and period") << "Euh." << "Euh." << true;
        QTest::newRow("hesitation then words") << "Euh bonjour" << "Euh bonjour" << false;
        QTest::newRow("hesitation then line break") << "ben\n" << "ben\n" << false;
    }
    void pureRules()
    {
        QFETCH(QString, input);
        QFETCH(QString, light);
        QFETCH(bool, hesitation);
        QCOMPARE(Road::lightPunctuation(input), light);
        QCOMPARE(Road::isHesitation(input), hesitation);
    }
};

OMBRY_TEST_GUI_MAIN(TestDictationRoad)
#include "tst_dictation_road.moc"
