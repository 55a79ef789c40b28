#include "engines/EngineTestUtil.h"

#include "engines/LocalSpeech.h"
#include "audio/AudioRecorder.h"
#include "engines/Deepgram.h"
#include "engines/GeminiSpeech.h"
#include "fakes/FakeHttpService.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"

#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {

const QString kChatPath = QStringLiteral("/api/v1/chat/completions");
const QString kHostedPath = QStringLiteral("/api/voice");

void setKey(APIService service, const QString &key)
{
    KeyStore::Keys keys = TestEnv::keys()->keys();
    if (key.isEmpty())
        keys.remove(service);
    else
        keys.insert(service, key);
    TestEnv::keys()->setKeys(keys);
}

// Seconds of silence (plus extra samples) as a WAV.
QByteArray wavOf(double seconds, int extraSamples = 0)
{
    return AudioRecorder::wav(QByteArray((qsizetype(seconds * 16000) + extraSamples) * 2, '\0'));
}

QJsonArray messages(const RecordedRequest &request)
{
    return request.json().value(QStringLiteral("messages")).toArray();
}

QString systemPrompt(const RecordedRequest &request)
{
    return messages(request).at(0).toObject().value(QStringLiteral("content")).toString();
}

} // namespace

class TestCloudSpeech : public QObject
{
    Q_OBJECT

private:
    FakeHttpService openRouter_;
    FakeHttpService hosted_;
    FakeHttpService deepgram_;

    static std::optional<QString> deepgramKey() { return TestEnv::keys()->key(APIService::Deepgram); }

    void ownKeyRoute()
    {
        setKey(APIService::OpenRouter, QStringLiteral("sk-or-test"));
        TestEnv::settings()->setOwnKeyMode(true);
    }
    void hostedRoute()
    {
        setKey(APIService::OpenRouter, QString());
        TestEnv::settings()->setOwnKeyMode(false);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(openRouter_.start());
        QVERIFY(hosted_.start());
        QVERIFY(deepgram_.start());
        qputenv("OMBRY_OPENROUTER_URL", openRouter_.url().toUtf8());
        qputenv("OMBRY_HOSTED_URL", hosted_.url().toUtf8());
        qputenv("OMBRY_DEEPGRAM_URL", deepgram_.url().toUtf8());
    }

    void init()
    {
        openRouter_.clear();
        hosted_.clear();
        deepgram_.clear();
        setKey(APIService::Deepgram, QString());
        ownKeyRoute();
    }

    void transcribeBody()
    {
        const QByteArray wav = wavOf(0.5);
        openRouter_.enqueue("POST", kChatPath, ScriptedReply::chat(QStringLiteral("  Bonjour Dupont.\n")));
        const QStringList words{QStringLiteral("  "), QStringLiteral("Dupont"), QStringLiteral(" Kubernetes ")};
        const auto out = await(GeminiSpeech::transcribe(installedAccess(), wav, QStringLiteral("français"), words));
        QCOMPARE(out.error, QString());
        QCOMPARE(*out.value, QStringLiteral("Bonjour Dupont."));

        QCOMPARE(openRouter_.count(kChatPath), 1);
        const RecordedRequest request = openRouter_.requests(kChatPath).first();
        const QJsonObject body = request.json();
        QCOMPARE(body.value(QStringLiteral("model")).toString(), QStringLiteral("google/gemini-2.5-flash-lite"));
        QVERIFY(body.value(QStringLiteral("temperature")).isDouble());
        QCOMPARE(body.value(QStringLiteral("temperature")).toInt(-1), 0);
        QVERIFY(request.body.contains("\"temperature\":0"));
        QVERIFY(!body.contains(QStringLiteral("response_format")));
        QCOMPARE(systemPrompt(request),
                 QStringLiteral("Transcris exactement cet enregistrement en français, mot pour mot, avec la "
                                "ponctuation.\nN'invente rien ; si l'audio est vide ou inaudible, renvoie une "
                                "chaîne vide. Renvoie uniquement la transcription.\nMots à reconnaître et à écrire "
                                "ainsi : Dupont,  Kubernetes ."));
        const QJsonObject user = messages(request).at(1).toObject();
        QCOMPARE(user.value(QStringLiteral("role")).toString(), QStringLiteral("user"));
        const QJsonArray content = user.value(QStringLiteral("content")).toArray();
        QCOMPARE(content.size(), 1);
        QCOMPARE(content.at(0).toObject().value(QStringLiteral("type")).toString(), QStringLiteral("input_audio"));
        QCOMPARE(content.at(0).toObject().value(QStringLiteral("input_audio")).toObject().value(QStringLiteral("format")).toString(),
                 QStringLiteral("wav"));
        QCOMPARE(request.chatAudio(), wav);
    }

    void transcribeReplies_data()
    {
        QTest::addColumn<ScriptedReply>("reply");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("no choice") << ScriptedReply::json({{QStringLiteral("choices"), QJsonArray()}}) << QString()
                                   << QString();
        QTest::newRow("null content") << ScriptedReply::chat(QJsonValue::Null) << QString() << QString();
        QTest::newRow("not a chat reply") << ScriptedReply::json({{QStringLiteral("id"), 1}}) << QString()
                                          << QStringLiteral("Gemini");
        QTest::newRow("refused") << ScriptedReply::text("", 500) << QString()
                                 << QStringLiteral("Gemini : erreur 500 ");
    }

    void transcribeReplies()
    {
        QFETCH(ScriptedReply, reply);
        QFETCH(QString, text);
        QFETCH(QString, error);
        openRouter_.enqueue("POST", kChatPath, reply);
        const auto out = await(GeminiSpeech::transcribe(installedAccess(), wavOf(0.1), QStringLiteral("français"), {}));
        QVERIFY(out.done);
        if (error.isEmpty()) {
            QCOMPARE(out.error, QString());
            QCOMPARE(*out.value, text);
        } else {
            QVERIFY2(out.error.startsWith(error), qPrintable(out.error));
        }
    }

    // The hosted route carries at most 70 s per request.
    void hostedSlices_data()
    {
        QTest::addColumn<bool>("hosted");
        QTest::addColumn<QByteArray>("wav");
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QList<qsizetype>>("sizes");
        QTest::addColumn<QString>("text");
        QTest::newRow("71 s in two") << true << wavOf(71) << QStringList{QStringLiteral("un"), QStringLiteral("deux")}
                                     << QList<qsizetype>{2240044, 32044} << QStringLiteral("un deux");
        QTest::newRow("second slice empty") << true << wavOf(71) << QStringList{QStringLiteral("un"), QString()}
                                            << QList<qsizetype>{2240044, 32044} << QStringLiteral("un");
        QTest::newRow("exactly 70 s whole") << true << wavOf(70) << QStringList{QStringLiteral("un")}
                                            << QList<qsizetype>{2240044} << QStringLiteral("un");
        QTest::newRow("one sample more") << true << wavOf(70, 1)
                                         << QStringList{QStringLiteral("un"), QStringLiteral("deux")}
                                         << QList<qsizetype>{2240044, 46} << QStringLiteral("un deux");
        QTest::newRow("own key sends it whole") << false << wavOf(71) << QStringList{QStringLiteral("tout")}
                                                << QList<qsizetype>{2272044} << QStringLiteral("tout");
    }

    void hostedSlices()
    {
        QFETCH(bool, hosted);
        QFETCH(QByteArray, wav);
        QFETCH(QStringList, replies);
        QFETCH(QList<qsizetype>, sizes);
        QFETCH(QString, text);
        if (hosted)
            hostedRoute();
        FakeHttpService &service = hosted ? hosted_ : openRouter_;
        const QString path = hosted ? kHostedPath : kChatPath;
        for (const QString &reply : replies)
            service.enqueue("POST", path, ScriptedReply::chat(reply));
        const auto out = await(GeminiSpeech::transcribe(installedAccess(), wav, QStringLiteral("français"), {}), 20000);
        QCOMPARE(out.error, QString());
        QCOMPARE(*out.value, text);
        const QList<RecordedRequest> requests = service.requests(path);
        QCOMPARE(requests.size(), sizes.size());
        QByteArray joined;
        for (qsizetype i = 0; i < sizes.size(); ++i) {
            const QByteArray audio = requests[i].chatAudio();
            QCOMPARE(audio.size(), sizes[i]);
            QCOMPARE(audio.left(44), AudioRecorder::wav(audio.mid(44)).left(44));
            joined += audio.mid(44);
        }
        QCOMPARE(joined, wav.mid(44));
        QCOMPARE((hosted ? openRouter_ : hosted_).count(), 0);
    }

    void hostedSliceFailureFailsTheCall()
    {
        hostedRoute();
        hosted_.enqueue("POST", kHostedPath, ScriptedReply::chat(QStringLiteral("un")));
        hosted_.enqueue("POST", kHostedPath, ScriptedReply::text("{\"error\": \"Trop long\"}", 413));
        const auto out = await(GeminiSpeech::transcribe(installedAccess(), wavOf(71), QStringLiteral("français"), {}), 20000);
        QCOMPARE(out.error, QStringLiteral("Ombry : erreur 413 Trop long"));
    }

    void transcribeAndClean()
    {
        openRouter_.enqueue("POST", kChatPath,
                            ScriptedReply::chat(QStringLiteral("Voici : {\"raw\": \" euh bonjour \", \"clean\": \"Bonjour.\"} fin")));
        const auto out = await(GeminiSpeech::transcribeAndClean(installedAccess(), wavOf(0.2), QStringLiteral("français"),
                                                                {QStringLiteral("Dupont")}, QStringLiteral("Ton amical."),
                                                                QStringLiteral("Ponctuation normale.")));
        QCOMPARE(out.error, QString());
        QCOMPARE(out.value->raw, QStringLiteral("euh bonjour"));
        QCOMPARE(out.value->clean, QStringLiteral("Bonjour."));
        const RecordedRequest request = openRouter_.requests(kChatPath).first();
        QCOMPARE(request.json().value(QStringLiteral("response_format")).toObject().value(QStringLiteral("type")).toString(),
                 QStringLiteral("json_object"));
        QCOMPARE(systemPrompt(request),
                 QStringLiteral("Tu entends une dictée vocale en français.\n"
                                "1) \"raw\" : transcris exactement ce qui est dit, mot pour mot.\n"
                                "2) \"clean\" : la même chose écrite proprement en français : sans hésitations ni "
                                "mots parasites (euh, ben, genre…),\n"
                                "sans répétitions ni faux départs, avec l'orthographe, la grammaire et les majuscules "
                                "justes. Ponctuation normale. Ton amical.\n"
                                "Garde tous les mots et toutes les idées, dans le ton de l'auteur ; ne résume pas, "
                                "n'ajoute rien,\n"
                                "ne réponds pas aux questions dictées. Garde l'argot et les abréviations.\n"
                                "Si l'audio est vide ou inaudible, renvoie des chaînes vides.\n"
                                "Réponds uniquement en JSON : {\"raw\": \"...\", \"clean\": \"...\"}\n"
                                "Mots à reconnaître et à écrire ainsi : Dupont."));

        openRouter_.enqueue("POST", kChatPath, ScriptedReply::chat(QStringLiteral("{\"raw\": \"coupé")));
        const auto broken = await(GeminiSpeech::transcribeAndClean(installedAccess(), wavOf(0.2), QStringLiteral("français"), {},
                                                                   QString(), QString()));
        QVERIFY(broken.errorAs<DecodingError>());
    }

    void transcribeAndTranslate_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("en");
        QTest::addColumn<QString>("fr");
        QTest::newRow("object inside prose") << QStringLiteral("Sure! {\"en\": \" Hello mate \", \"fr\": \"Salut\"} ok")
                                             << QStringLiteral("Hello mate") << QStringLiteral("Salut");
        QTest::newRow("cut off, escapes") << QStringLiteral("{\"en\": \"He said \\\"hi\\\"\", \"fr\": \"Ligne\\nsuite")
                                          << QStringLiteral("He said \"hi\"") << QStringLiteral("Ligne\nsuite");
        QTest::newRow("nothing usable") << QStringLiteral("inaudible") << QString() << QString();
    }

    void transcribeAndTranslate()
    {
        QFETCH(QString, model);
        QFETCH(QString, en);
        QFETCH(QString, fr);
        openRouter_.enqueue("POST", kChatPath, ScriptedReply::chat(model));
        const auto out = await(GeminiSpeech::transcribeAndTranslate(installedAccess(), wavOf(0.2), QString()));
        QCOMPARE(out.error, QString());
        QCOMPARE(out.value->en, en);
        QCOMPARE(out.value->fr, fr);
        QVERIFY(systemPrompt(openRouter_.requests(kChatPath).first())
                    .contains(QStringLiteral("pour t'aider à comprendre : aucun\n")));
    }

    void field_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QStringLiteral("fr") << QStringLiteral("{\"fr\" :  \"Bonjour\"}")
                               << QStringLiteral("Bonjour");
        QTest::newRow("escaped backslash") << QStringLiteral("en") << QStringLiteral("{\"en\":\"a\\\\b\"}")
                                           << QStringLiteral("a\\b");
        QTest::newRow("other escapes literal") << QStringLiteral("en") << QStringLiteral("{\"en\":\"a\\tb\"}")
                                               << QStringLiteral("atb");
        QTest::newRow("missing") << QStringLiteral("fr") << QStringLiteral("{\"en\":\"x\"}") << QString();
        QTest::newRow("first match counts") << QStringLiteral("en")
                                            << QStringLiteral("{\"en\":\" un \",\"en\":\"deux\"}") << QStringLiteral("un");
        QTest::newRow("unterminated") << QStringLiteral("en") << QStringLiteral("{\"en\": \"fin ouverte  ")
                                      << QStringLiteral("fin ouverte");
    }

    void field()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, value);
        QCOMPARE(GeminiSpeech::field(name, text), value);
    }

    void deepgramQuery_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("terms");
        QTest::addColumn<QString>("query");
        const QStringList terms{QStringLiteral("  "), QStringLiteral("Dupont"), QStringLiteral(" Kubernetes "),
                                QStringLiteral("C++"), QStringLiteral("\tSaint-Étienne")};
        QTest::newRow("nova-3 keyterms") << QStringLiteral("nova-3") << QStringLiteral("fr") << terms
                                         << QStringLiteral("model=nova-3&language=fr&punctuate=true&smart_format=true"
                                                           "&keyterm=Dupont&keyterm=Kubernetes&keyterm=C%2B%2B"
                                                           "&keyterm=Saint-%C3%89tienne");
        QTest::newRow("nova-2 keywords") << QStringLiteral("nova-2") << QStringLiteral("multi") << terms
                                         << QStringLiteral("model=nova-2&language=multi&punctuate=true&smart_format=true"
                                                           "&keywords=Dupont:2&keywords=Kubernetes:2&keywords=C%2B%2B:2"
                                                           "&keywords=Saint-%C3%89tienne:2");
        QTest::newRow("no terms") << QStringLiteral("nova-3-general") << QStringLiteral("en") << QStringList()
                                  << QStringLiteral("model=nova-3-general&language=en&punctuate=true&smart_format=true");
    }

    void deepgramQuery()
    {
        QFETCH(QString, model);
        QFETCH(QString, language);
        QFETCH(QStringList, terms);
        QFETCH(QString, query);
        setKey(APIService::Deepgram, QStringLiteral("dg-key"));
        deepgram_.enqueue("POST", QStringLiteral("/v1/listen"), ScriptedReply::json(QJsonObject{
            {QStringLiteral("results"), QJsonObject{{QStringLiteral("channels"), QJsonArray{QJsonObject{
                {QStringLiteral("alternatives"), QJsonArray{QJsonObject{{QStringLiteral("transcript"), QStringLiteral(" Salut ")}},
                                                            QJsonObject{{QStringLiteral("transcript"), QStringLiteral("autre")}}}}}}}}}}));
        const QByteArray wav = wavOf(0.3);
        const auto out = await(Deepgram::transcribe(wav, model, language, terms, deepgramKey()));
        QCOMPARE(out.error, QString());
        QCOMPARE(*out.value, QStringLiteral(" Salut ")); // not trimmed
        QCOMPARE(deepgram_.count(), 1);
        const RecordedRequest request = deepgram_.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QStringLiteral("/v1/listen"));
        QCOMPARE(request.rawQuery, query);
        QCOMPARE(request.header("Authorization"), QByteArray("Token dg-key"));
        QCOMPARE(request.header("Content-Type"), QByteArray("audio/wav"));
        QCOMPARE(request.body, wav);
        QCOMPARE(Deepgram::query(model, language, terms), query);
    }

    void deepgramReplies_data()
    {
        QTest::addColumn<ScriptedReply>("reply");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        const QByteArray long300(300, 'x');
        QTest::newRow("no channel") << ScriptedReply::json({{QStringLiteral("results"),
                                                             QJsonObject{{QStringLiteral("channels"), QJsonArray()}}}})
                                    << QString() << QString();
        QTest::newRow("no alternative")
            << ScriptedReply::json({{QStringLiteral("results"),
                                     QJsonObject{{QStringLiteral("channels"),
                                                  QJsonArray{QJsonObject{{QStringLiteral("alternatives"), QJsonArray()}}}}}}})
            << QString() << QString();
        QTest::newRow("401") << ScriptedReply::text(long300, 401) << QString()
                             << QStringLiteral("Deepgram : erreur 401 ") + QString(200, QLatin1Char('x'));
        QTest::newRow("no results") << ScriptedReply::json({{QStringLiteral("metadata"), QJsonObject()}}) << QString()
                                    << DecodingError(QStringLiteral("Deepgram")).description();
        QTest::newRow("transcript missing")
            << ScriptedReply::json({{QStringLiteral("results"),
                                     QJsonObject{{QStringLiteral("channels"),
                                                  QJsonArray{QJsonObject{{QStringLiteral("alternatives"),
                                                                          QJsonArray{QJsonObject()}}}}}}}})
            << QString() << DecodingError(QStringLiteral("Deepgram")).description();
    }

    void deepgramReplies()
    {
        QFETCH(ScriptedReply, reply);
        QFETCH(QString, text);
        QFETCH(QString, error);
        setKey(APIService::Deepgram, QStringLiteral("dg-key"));
        deepgram_.enqueue("POST", QStringLiteral("/v1/listen"), reply);
        const auto out = await(Deepgram::transcribe(wavOf(0.1), QStringLiteral("nova-3"), QStringLiteral("fr"), {}, deepgramKey()));
        QCOMPARE(out.error, error);
        if (error.isEmpty())
            QCOMPARE(*out.value, text);
    }

    void deepgramWithoutKeySendsNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("none") << QString();
        QTest::newRow("line break inside") << QStringLiteral("abc\r\nX-Evil: 1");
    }

    void deepgramWithoutKeySendsNothing()
    {
        QFETCH(QString, key);
        setKey(APIService::Deepgram, key);
        const auto out = await(Deepgram::transcribe(wavOf(0.1), QStringLiteral("nova-3"), QStringLiteral("fr"), {}, deepgramKey()));
        QCOMPARE(out.error, QStringLiteral("Clé Deepgram absente"));
        QTest::qWait(50);
        QCOMPARE(deepgram_.count(), 0);
    }

    void onDeviceWithoutServerFailsFast()
    {
        // The loopback port of the test environment is closed.
        const auto out = await(LocalSpeech::transcribe(wavOf(0.2), QStringLiteral("fr"), {}));
        QVERIFY(out.errorAs<EngineError>());
        QVERIFY(LocalSpeech::isUnavailable(*out.errorAs<EngineError>()));
        QCOMPARE(out.error, QStringLiteral("Reconnaissance locale : erreur 0 non disponible sur cet ordinateur "
                                           "(serveur local requis)"));
        QVERIFY2(out.elapsedMs < 1500, qPrintable(QString::number(out.elapsedMs)));
    }

    void onDeviceHangingServerFailsFast()
    {
        FakeHttpService asr;
        QVERIFY(asr.start());
        asr.on("GET", QStringLiteral("/v1/models"), ScriptedReply::hanging());
        qputenv("OMBRY_LOCAL_ASR_URL", asr.url(QStringLiteral("/v1")).toUtf8());
        const auto out = await(LocalSpeech::transcribe(wavOf(0.2), QStringLiteral("fr"), {}));
        qputenv("OMBRY_LOCAL_ASR_URL", "http://127.0.0.1:9");
        QVERIFY(out.errorAs<EngineError>() && LocalSpeech::isUnavailable(*out.errorAs<EngineError>()));
        QVERIFY2(out.elapsedMs < 2500, qPrintable(QString::number(out.elapsedMs)));
        QCOMPARE(asr.count(QStringLiteral("/v1/audio/transcriptions")), 0);
    }

    void onDeviceTranscribes()
    {
        FakeHttpService asr;
        QVERIFY(asr.start());
        asr.on("GET", QStringLiteral("/v1/models"),
               ScriptedReply::json({{QStringLiteral("data"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("whisper-small")}}}}}));
        asr.enqueue("POST", QStringLiteral("/v1/audio/transcriptions"),
                    ScriptedReply::json({{QStringLiteral("text"), QStringLiteral(" Bonjour à tous.\n")}}));
        asr.enqueue("POST", QStringLiteral("/v1/audio/transcriptions"), ScriptedReply::text("panne", 500));
        qputenv("OMBRY_LOCAL_ASR_URL", asr.url(QStringLiteral("/v1")).toUtf8());
        const QByteArray wav = wavOf(0.2);
        const auto out = await(LocalSpeech::transcribe(
            wav, QStringLiteral("fr"), {QStringLiteral(" \t"), QStringLiteral(" Dupont "), QStringLiteral("Lyon")}));
        const auto failed = await(LocalSpeech::transcribe(wav, QStringLiteral("fr"), {}));
        qputenv("OMBRY_LOCAL_ASR_URL", "http://127.0.0.1:9");
        QCOMPARE(out.error, QString());
        QCOMPARE(*out.value, QStringLiteral("Bonjour à tous."));
        QCOMPARE(failed.error, QStringLiteral("Reconnaissance locale : erreur 500 panne"));

        const RecordedRequest request = asr.requests(QStringLiteral("/v1/audio/transcriptions")).first();
        QVERIFY(request.header("Content-Type").startsWith("multipart/form-data"));
        QVERIFY(request.body.contains(wav));
        QVERIFY(request.body.contains("name=\"model\"\r\n\r\nwhisper-small\r\n"));
        QVERIFY(request.body.contains("name=\"language\"\r\n\r\nfr\r\n"));
        QVERIFY(request.body.contains("name=\"prompt\"\r\n\r\n Dupont , Lyon\r\n"));
        QVERIFY(request.body.contains("filename=\"murel-"));
    }
};

OMBRY_TEST_MAIN(TestCloudSpeech)
#include "tst_cloudspeech.moc"
