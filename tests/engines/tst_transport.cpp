#include "EngineTestUtil.h"

#include "engines/Deepgram.h"
#include "engines/EngineError.h"
#include "engines/Net.h"
#include "engines/OmbryAI.h"
#include "engines/OpenRouter.h"
#include "engines/Services.h"
#include "fakes/FakeHttpService.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QString kChatPath = QStringLiteral("/api/v1/chat/completions");
const QString kHostedPath = QStringLiteral("/api/voice");

// As a key read from "keys.json" would be: untrimmed.
void setOpenRouterKey(const QString &key)
{
    KeyStore::Keys keys = TestEnv::keys()->keys();
    if (key.isEmpty())
        keys.remove(APIService::OpenRouter);
    else
        keys.insert(APIService::OpenRouter, key);
    TestEnv::keys()->setKeys(keys);
}

QJsonObject sampleBody()
{
    return QJsonObject{
        {QStringLiteral("model"), QStringLiteral("google/gemini-2.5-flash")},
        {QStringLiteral("messages"), QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                                            {QStringLiteral("content"), QStringLiteral("salut")}}}},
        {QStringLiteral("usage"), QJsonObject{{QStringLiteral("include"), false}, {QStringLiteral("x"), 1}}},
    };
}

int liveReplies()
{
    return int(Net::session()->findChildren<QNetworkReply *>().size());
}

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

    FakeHttpService *openRouter_ = nullptr;
    FakeHttpService *hosted_ = nullptr;

private Q_SLOTS:
    void init()
    {
        openRouter_ = new FakeHttpService(this);
        hosted_ = new FakeHttpService(this);
        QVERIFY(openRouter_->start());
        QVERIFY(hosted_->start());
        qputenv("OMBRY_OPENROUTER_URL", openRouter_->url().toUtf8());
        qputenv("OMBRY_HOSTED_URL", hosted_->url().toUtf8());
        openRouter_->on("POST", kChatPath, ScriptedReply::json(chatCompletion(QStringLiteral("ok"))));
        hosted_->on("POST", kHostedPath, ScriptedReply::json(chatCompletion(QStringLiteral("ok"))));
        TestEnv::settings()->setOwnKeyMode(true);
        setOpenRouterKey(QStringLiteral("sk-test"));
        Net::setTimeScale(1);
    }

    void cleanup()
    {
        delete openRouter_;
        delete hosted_;
        openRouter_ = hosted_ = nullptr;
        qunsetenv("OMBRY_HOSTED_URL");
        Net::setTimeScale(1);
    }

    void routing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("ownKeyMode");
        QTest::addColumn<bool>("hostedAddress");
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("bearer");
        QTest::newRow("key, mode off, hosted") << "sk-test" << false << true << "hosted" << "";
        QTest::newRow("key, mode on, hosted") << "sk-test" << true << true << "own" << "Bearer sk-test";
        QTest::newRow("no key, mode on, hosted") << QString() << true << true << "hosted" << "";
        QTest::newRow("key, mode off, no hosted") << "sk-test" << false << false << "own" << "Bearer sk-test";
        QTest::newRow("no key, no hosted") << QString() << true << false << "missing" << "";
        QTest::newRow("blank key counts as none") << " \n" << true << false << "missing" << "";
        QTest::newRow("key trimmed") << "  sk-test\n" << true << true << "own" << "Bearer sk-test";
        QTest::newRow("line break inside refused") << "sk-te\nst" << true << true << "hosted" << "";
        QTest::newRow("control character refused") << "sk-\x01test" << true << false << "missing" << "";
    }

    void routing()
    {
        QFETCH(QString, key);
        QFETCH(bool, ownKeyMode);
        QFETCH(bool, hostedAddress);
        QFETCH(QString, route);
        QFETCH(QString, bearer);
        setOpenRouterKey(key);
        TestEnv::settings()->setOwnKeyMode(ownKeyMode);
        if (!hostedAddress)
            qunsetenv("OMBRY_HOSTED_URL");

        QCOMPARE(OmbryAI::usesOwnKey(installedAccess()), route == QLatin1String("own"));
        const auto out = await(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("Gemini")));
        QVERIFY(out.done);

        if (route == QLatin1String("missing")) {
            QVERIFY(!out.value);
            const auto *error = out.errorAs<EngineError>();
            QVERIFY(error);
            QCOMPARE(error->kind(), EngineError::Kind::MissingKey);
            QCOMPARE(out.error, QStringLiteral("Clé OpenRouter absente"));
            QCOMPARE(openRouter_->count() + hosted_->count(), 0);
            return;
        }
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(QJsonDocument::fromJson(*out.value).object(), chatCompletion(QStringLiteral("ok")));

        QJsonObject expectedBody = sampleBody();
        if (route == QLatin1String("own")) {
            QCOMPARE(hosted_->count(), 0);
            QCOMPARE(openRouter_->count(kChatPath), 1);
            const RecordedRequest r = openRouter_->requests().first();
            QCOMPARE(r.method, QByteArray("POST"));
            QCOMPARE(r.header("Authorization"), bearer.toUtf8());
            QCOMPARE(r.header("X-Title"), QByteArray("Ombry Voice"));
            QCOMPARE(r.header("Content-Type"), QByteArray("application/json"));
            expectedBody.insert(QStringLiteral("usage"), QJsonObject{{QStringLiteral("include"), true}});
            QCOMPARE(r.json(), expectedBody);
        } else {
            QCOMPARE(openRouter_->count(), 0);
            QCOMPARE(hosted_->count(kHostedPath), 1);
            const RecordedRequest r = hosted_->requests().first();
            QCOMPARE(r.method, QByteArray("POST"));
            QVERIFY(!r.headers.contains("authorization"));
            QVERIFY(!r.headers.contains("x-title"));
            QCOMPARE(r.header("Content-Type"), QByteArray("application/json"));
            expectedBody.remove(QStringLiteral("usage"));
            QCOMPARE(r.json(), expectedBody);
        }
    }

    void hostedAddressKeepsItsPath()
    {
        qputenv("OMBRY_HOSTED_URL", hosted_->url(QStringLiteral("/ia/")).toUtf8());
        TestEnv::settings()->setOwnKeyMode(false);
        hosted_->on("POST", QStringLiteral("/ia/api/voice"), ScriptedReply::json({}));
        const auto out = await(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("OpenRouter")));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(hosted_->count(QStringLiteral("/ia/api/voice")), 1);
    }

    void invalidHostedAddressCountsAsNone()
    {
        qputenv("OMBRY_HOSTED_URL", "pas une adresse");
        QVERIFY(!Services::hosted());
        setOpenRouterKey(QString());
        const auto out = await(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("OpenRouter")));
        QCOMPARE(out.error, QStringLiteral("Clé OpenRouter absente"));
    }

    void httpErrors_data()
    {
        QTest::addColumn<bool>("own");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");

        const QString long300 = QString(QStringLiteral("abcdefghij")).repeated(30);
        QTest::newRow("401 with a 300-character body")
            << true << "OpenRouter" << 401 << long300.toUtf8()
            << QStringLiteral("OpenRouter : erreur 401 ") + long300.left(200);
        // 300 characters of two code points each: the cut counts characters.
        const QString decomposed = QString(QStringLiteral("e\u0301")).repeated(300);
        QTest::newRow("characters, not code units")
            << true << "OpenRouter" << 401 << decomposed.toUtf8()
            << QStringLiteral("OpenRouter : erreur 401 ") + decomposed.left(400);
        QTest::newRow("500 with an empty body") << true << "Gemini" << 500 << QByteArray() << "Gemini : erreur 500 ";
        QTest::newRow("body not UTF-8") << true << "OpenRouter" << 402 << QByteArray("\xff\xfe oups")
                                        << "OpenRouter : erreur 402 ";
        QTest::newRow("hosted 503 with error")
            << false << "Gemini" << 503 << QByteArray(R"({"error":"Service indisponible"})")
            << "Ombry : erreur 503 Service indisponible";
        QTest::newRow("hosted 503 not JSON") << false << "Gemini" << 503 << QByteArray("<html>") << "Ombry : erreur 503 ";
        QTest::newRow("hosted error not a string")
            << false << "Gemini" << 429 << QByteArray(R"({"error":{"code":429}})") << "Ombry : erreur 429 ";
    }

    void httpErrors()
    {
        QFETCH(bool, own);
        QFETCH(QString, label);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        TestEnv::settings()->setOwnKeyMode(own);
        ScriptedReply reply = ScriptedReply::text(body, status);
        (own ? openRouter_ : hosted_)->on("POST", own ? kChatPath : kHostedPath, reply);

        const auto out = await(OmbryAI::chat(installedAccess(), sampleBody(), 20, label));
        QVERIFY(!out.value);
        const auto *error = out.errorAs<EngineError>();
        QVERIFY2(error, qPrintable(out.error));
        QCOMPARE(error->kind(), EngineError::Kind::Http);
        QCOMPARE(error->status(), status);
        QCOMPARE(error->description(), message);
        QCOMPARE(out.error, message);
    }

    void spendingCost_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<double>("cost");
        QTest::newRow("cost") << QByteArray(R"({"choices":[],"usage":{"cost":0.00042}})") << 0.00042;
        QTest::newRow("integer cost") << QByteArray(R"({"usage":{"cost":2}})") << 2.0;
        QTest::newRow("zero") << QByteArray(R"({"usage":{"cost":0}})") << 0.0;
        QTest::newRow("negative") << QByteArray(R"({"usage":{"cost":-1}})") << 0.0;
        QTest::newRow("no usage") << QByteArray(R"({"choices":[]})") << 0.0;
        QTest::newRow("usage without cost") << QByteArray(R"({"usage":{"total_tokens":5}})") << 0.0;
        QTest::newRow("cost as text") << QByteArray(R"({"usage":{"cost":"0.1"}})") << 0.0;
        QTest::newRow("not JSON") << QByteArray("merci") << 0.0;
        QTest::newRow("array") << QByteArray("[1]") << 0.0;
    }

    void spendingCost()
    {
        QFETCH(QByteArray, reply);
        QFETCH(double, cost);
        const std::optional<double> found = Spending::cost(reply);
        QCOMPARE(found.has_value(), cost > 0);
        if (found)
            QCOMPARE(*found, cost);
    }

    void spendingRecordsOwnKeyCosts_data()
    {
        QTest::addColumn<bool>("own");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("entries");
        QTest::newRow("own key with cost") << true << QByteArray(R"({"choices":[],"usage":{"cost":0.00042}})") << 1;
        QTest::newRow("own key, cost 0") << true << QByteArray(R"({"choices":[],"usage":{"cost":0}})") << 0;
        QTest::newRow("own key, no usage") << true << QByteArray(R"({"choices":[]})") << 0;
        QTest::newRow("own key, not JSON") << true << QByteArray("merci") << 0;
        QTest::newRow("hosted with cost") << false << QByteArray(R"({"choices":[],"usage":{"cost":0.5}})") << 0;
    }

    void spendingRecordsOwnKeyCosts()
    {
        QFETCH(bool, own);
        QFETCH(QByteArray, reply);
        QFETCH(int, entries);
        TestEnv::settings()->setOwnKeyMode(own);
        (own ? openRouter_ : hosted_)->on("POST", own ? kChatPath : kHostedPath, ScriptedReply::text(reply, 200));
        Store *store = TestEnv::store();
        store->setCosts({});
        store->flush();

        const auto out = await(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("OpenRouter")));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(*out.value, reply);
        // The entry is added on the main thread after the call returned.
        QTest::qWait(50);
        QCOMPARE(int(store->costs().size()), entries);
        store->flush();
        const QJsonArray saved =
            QJsonDocument::fromJson(TestEnv::readFile(Store::folder() + QStringLiteral("/costs.json"))).array();
        QCOMPARE(int(saved.size()), entries);
        if (entries) {
            QCOMPARE(store->costs().first().amount, 0.00042);
            QCOMPARE(saved.first().toObject().value(QStringLiteral("amount")).toDouble(), 0.00042);
        }
    }

    void transportFailureIsFrench()
    {
        // Nothing listens on port 9: refused at once.
        qputenv("OMBRY_OPENROUTER_URL", "http://127.0.0.1:9");
        const auto out = await(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("OpenRouter")));
        QVERIFY(!out.value);
        const auto *error = out.errorAs<NetworkError>();
        QVERIFY2(error, qPrintable(out.error));
        QCOMPARE(error->reason(), NetworkError::Reason::Unreachable);
        QCOMPARE(out.error, QStringLiteral("Le service est injoignable"));
        QVERIFY(!out.errorAs<EngineError>());
    }

    // A 20 s call that gets no answer fails as timed out on both routes (run at a
    // hundredth of the real time; the figures are in bench_transport).
    void stalledServerTimesOut()
    {
        Net::setTimeScale(0.01);
        openRouter_->on("POST", kChatPath, ScriptedReply::hanging());
        hosted_->on("POST", kHostedPath, ScriptedReply::hanging());
        TestEnv::settings()->setOwnKeyMode(true);
        auto own = capture(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("OpenRouter")));
        TestEnv::settings()->setOwnKeyMode(false);
        auto hosted = capture(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("OpenRouter")));
        QVERIFY(TestEnv::waitFor([&] { return own->done && hosted->done; }, 20000));

        QCOMPARE(own->error, QStringLiteral("Le service ne répond pas"));
        QCOMPARE(hosted->error, QStringLiteral("Le service ne répond pas"));
        QVERIFY(own->errorAs<NetworkError>()->reason() == NetworkError::Reason::TimedOut);
        QVERIFY(hosted->errorAs<NetworkError>()->reason() == NetworkError::Reason::TimedOut);
        QCOMPARE(openRouter_->count(kChatPath), 1);
        QCOMPARE(hosted_->count(kHostedPath), 1);

        // The next call goes through.
        openRouter_->on("POST", kChatPath, ScriptedReply::json(chatCompletion(QStringLiteral("de retour"))));
        TestEnv::settings()->setOwnKeyMode(true);
        const auto next = await(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("OpenRouter")));
        QVERIFY2(next.value, qPrintable(next.error));
        QVERIFY(TestEnv::waitFor([] { return liveReplies() == 0; }, 2000));
    }

    // A request that carries a key follows a redirect only within its own origin
    // (scheme, host and port); elsewhere the redirect is the answer, and the key
    // never leaves. Requests without a key follow redirects as before.
    void redirectsKeepTheKeyAtHome_data()
    {
        QTest::addColumn<QString>("client"); // "chat", "deepgram" or "plain"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("target"); // "same", "other port" or "localhost"
        QTest::addColumn<bool>("followed");
        QTest::newRow("chat, 307 to another port") << "chat" << 307 << "other port" << false;
        QTest::newRow("chat, 302 to another port") << "chat" << 302 << "other port" << false;
        QTest::newRow("chat, 308 to another host name") << "chat" << 308 << "localhost" << false;
        QTest::newRow("chat, 307 within its origin") << "chat" << 307 << "same" << true;
        QTest::newRow("deepgram, 307 to another port") << "deepgram" << 307 << "other port" << false;
        QTest::newRow("deepgram, 301 to another port") << "deepgram" << 301 << "other port" << false;
        QTest::newRow("deepgram, 308 within its origin") << "deepgram" << 308 << "same" << true;
        QTest::newRow("no key, 307 to another port") << "plain" << 307 << "other port" << true;
    }
    void redirectsKeepTheKeyAtHome()
    {
        QFETCH(QString, client);
        QFETCH(int, status);
        QFETCH(QString, target);
        QFETCH(bool, followed);
        FakeHttpService origin;
        FakeHttpService elsewhere;
        QVERIFY(origin.start());
        QVERIFY(elsewhere.start());
        QVERIFY(origin.port() != elsewhere.port());
        const bool chat = client == QLatin1String("chat");
        const bool deepgram = client == QLatin1String("deepgram");
        const QString path = chat ? kChatPath : deepgram ? QStringLiteral("/v1/listen") : QStringLiteral("/modeles");
        const QString moved = QStringLiteral("/ailleurs");
        QString location = elsewhere.url(moved);
        if (target == QLatin1String("same"))
            location = origin.url(moved);
        else if (target == QLatin1String("localhost"))
            location = QStringLiteral("http://localhost:%1%2").arg(origin.port()).arg(moved);
        ScriptedReply redirect = ScriptedReply::text("déplacé", status);
        redirect.headers.append({"Location", location.toUtf8()});
        origin.on(chat || deepgram ? "POST" : "GET", path, redirect);
        const QByteArray answer = deepgram
            ? QByteArray(R"({"results":{"channels":[{"alternatives":[{"transcript":"bonjour"}]}]}})")
            : QJsonDocument(chatCompletion(QStringLiteral("ok"))).toJson();
        for (FakeHttpService *service : {&origin, &elsewhere}) {
            for (const QByteArray &method : {QByteArray("POST"), QByteArray("GET")})
                service->on(method, moved, ScriptedReply::text(answer, 200));
        }

        QByteArray credential;
        bool succeeded = false;
        int failedStatus = 0;
        if (chat) {
            qputenv("OMBRY_OPENROUTER_URL", origin.url().toUtf8());
            credential = "Bearer sk-test";
            const auto out = await(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("OpenRouter")));
            QVERIFY(out.done);
            succeeded = out.value.has_value();
            if (const auto *error = out.errorAs<EngineError>())
                failedStatus = error->status();
        } else if (deepgram) {
            qputenv("OMBRY_DEEPGRAM_URL", origin.url().toUtf8());
            KeyStore::Keys keys = TestEnv::keys()->keys();
            keys.insert(APIService::Deepgram, QStringLiteral("dg-test"));
            TestEnv::keys()->setKeys(keys);
            credential = "Token dg-test";
            const std::optional<QString> stored = TestEnv::keys()->key(APIService::Deepgram);
            const auto out = await(Deepgram::transcribe(QByteArray(44, '\0'), QStringLiteral("nova-3"),
                                                        QStringLiteral("fr"), {}, stored));
            qputenv("OMBRY_DEEPGRAM_URL", "http://127.0.0.1:9");
            QVERIFY(out.done);
            succeeded = out.value == QStringLiteral("bonjour");
            if (const auto *error = out.errorAs<EngineError>())
                failedStatus = error->status();
        } else {
            const auto out = await(Net::send(Net::request(QUrl(origin.url(path))), "GET", QByteArray()));
            QVERIFY2(out.value, qPrintable(out.error));
            succeeded = out.value->status == 200;
        }

        QCOMPARE(succeeded, followed);
        const RecordedRequest first = origin.requests(path).value(0);
        QCOMPARE(first.header("Authorization"), credential);
        if (followed) {
            FakeHttpService &next = target == QLatin1String("same") ? origin : elsewhere;
            QCOMPARE(next.count(moved), 1);
            QCOMPARE(next.requests(moved).first().header("Authorization"), credential);
        } else {
            // The refusal is the service's answer: a failed request with its status.
            QCOMPARE(failedStatus, status);
            QCOMPARE(elsewhere.count(), 0);
            QCOMPARE(origin.count(moved), 0);
        }
        QVERIFY(TestEnv::waitFor([] { return liveReplies() == 0; }, 2000));
    }

    // A server that sends its headers and then stalls fails on the idle limit,
    // one that keeps trickling bytes does not.
    void idleLimitBetweenBytes_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("stalls after the headers") << 0 << false;
        QTest::newRow("trickles") << 6 << true;
    }

    void idleLimitBetweenBytes()
    {
        QFETCH(int, pieces);
        QFETCH(bool, succeeds);
        Net::setTimeScale(0.01); // idle 0.3 s, total 3 s
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QList<QTcpSocket *> sockets;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *socket = server.nextPendingConnection();
            sockets.append(socket);
            connect(socket, &QTcpSocket::readyRead, socket, [socket, pieces] {
                socket->readAll();
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 6\r\n\r\n");
                for (int i = 0; i < pieces; ++i)
                    QTimer::singleShot(150 * (i + 1), socket, [socket] { socket->write("x"); });
            });
        });
        QNetworkRequest request = Net::request(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort())));
        const auto out = await(Net::send(request, "GET", QByteArray(), Net::Timeouts{300, 30}), 8000);
        QVERIFY(out.done);
        if (succeeds) {
            QVERIFY2(out.value, qPrintable(out.error));
            QCOMPARE(out.value->body, QByteArray(pieces, 'x'));
        } else {
            QCOMPARE(out.error, QStringLiteral("Le service ne répond pas"));
            QVERIFY(out.errorAs<NetworkError>()->reason() == NetworkError::Reason::TimedOut);
        }
    }

    // A cancelled dictation's requests are aborted where they stand, and one asked
    // after the stop is never sent.
    void stopAbortsTheRequestsUnderWay_data()
    {
        QTest::addColumn<bool>("afterTheStop");
        QTest::newRow("under way") << false;
        QTest::newRow("asked after the stop") << true;
    }
    void stopAbortsTheRequestsUnderWay()
    {
        QFETCH(bool, afterTheStop);
        openRouter_->on("POST", kChatPath, ScriptedReply::hanging());
        OmbryAI::Access access = installedAccess();
        access.stop = std::make_shared<Net::Stop>();
        if (afterTheStop)
            access.stop->stop();
        auto out = capture(OmbryAI::chat(access, sampleBody(), 20, QStringLiteral("Gemini")));
        if (!afterTheStop) {
            QVERIFY(TestEnv::waitFor([&] { return openRouter_->count() == 1; }, 5000));
            QVERIFY(!out->done);
            access.stop->stop();
        }
        QVERIFY(TestEnv::waitFor([&] { return out->done; }, 5000));
        QCOMPARE(out->error, QStringLiteral("Requête annulée"));
        QCOMPARE(openRouter_->count(), afterTheStop ? 0 : 1);
        QVERIFY(TestEnv::waitFor([] { return liveReplies() == 0; }, 2000));
    }

    // Nothing bounds a service's answer but the program: a body past the bound is
    // abandoned while it arrives, a text past the longest answer is refused.
    void answersAreBounded_data()
    {
        QTest::addColumn<qsizetype>("characters");
        QTest::addColumn<QString>("error");
        QTest::newRow("a long dictation") << qsizetype(90000) << QString();
        QTest::newRow("past the longest text") << qsizetype(kMaxAnswerCharacters + 1) << "OpenRouter : réponse trop longue, ignorée";
        QTest::newRow("past the reply's size") << qsizetype(3) << "Réponse trop volumineuse, abandonnée";
    }
    void answersAreBounded()
    {
        QFETCH(qsizetype, characters);
        QFETCH(QString, error);
        if (characters == 3) {
            // Padding outside the text: the body alone is too big.
            QJsonObject reply = chatCompletion(QStringLiteral("abc"));
            reply.insert(QStringLiteral("padding"), QString(3 << 20, QLatin1Char('x')));
            openRouter_->on("POST", kChatPath, ScriptedReply::json(reply));
        } else {
            openRouter_->on("POST", kChatPath, ScriptedReply::json(chatCompletion(QString(characters, QLatin1Char('a')))));
        }
        const auto out = await(OpenRouter::complete(installedAccess(), QStringLiteral("consigne"), QStringLiteral("texte"),
                                                    QStringLiteral("m/1")));
        QVERIFY(out.done);
        QCOMPARE(out.error, error);
        if (error.isEmpty())
            QCOMPARE(out.value->size(), characters);
    }

    // A chat's timeout is the idle limit: an answer that keeps coming for longer
    // than it (a big recording on a slow line) is not cut.
    void chatTimeoutIsIdleNotTotal()
    {
        Net::setTimeScale(0.05); // the chat's 20 s: 1 s between bytes
        const QByteArray body = QJsonDocument(chatCompletion(QStringLiteral("lent"))).toJson(QJsonDocument::Compact);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *socket = server.nextPendingConnection();
            auto answered = std::make_shared<bool>(false);
            connect(socket, &QTcpSocket::readyRead, socket, [socket, body, answered] {
                socket->readAll();
                if (*answered)
                    return;
                *answered = true;
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\n\r\n");
                // Eight pieces 250 ms apart: 2 s in all, twice the limit, with room for a loaded machine.
                const qsizetype piece = (body.size() + 7) / 8;
                for (int i = 0; i < 8; ++i)
                    QTimer::singleShot(250 * (i + 1), socket,
                                       [socket, part = body.mid(i * piece, piece)] { socket->write(part); });
            });
        });
        qputenv("OMBRY_OPENROUTER_URL", QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()).toUtf8());
        qunsetenv("OMBRY_HOSTED_URL");
        const auto keys = TestEnv::keys()->keys();
        TestEnv::keys()->setKeys({{APIService::OpenRouter, QStringLiteral("sk-or-test")}});
        const auto restore = qScopeGuard([keys] { TestEnv::keys()->setKeys(keys); });
        const auto out = await(OmbryAI::chat(installedAccess(), sampleBody(), 20, QStringLiteral("OpenRouter")), 8000);
        QVERIFY(out.done);
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(*out.value, body);
    }

    void completeBuildsTheBodyAndReadsTheFirstChoice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxTokens");
        QTest::newRow("10 words") << "un deux trois quatre cinq six sept huit neuf dix" << 230;
        QTest::newRow("empty") << "" << 200;
    }

    void completeBuildsTheBodyAndReadsTheFirstChoice()
    {
        QFETCH(QString, text);
        QFETCH(int, maxTokens);
        QJsonObject reply = chatCompletion(QStringLiteral("  Texte propre.\n"));
        QJsonArray choices = reply.value(QStringLiteral("choices")).toArray();
        choices.append(QJsonObject{{QStringLiteral("message"), QJsonObject{{QStringLiteral("content"), QStringLiteral("autre")}}}});
        reply.insert(QStringLiteral("choices"), choices);
        openRouter_->on("POST", kChatPath, ScriptedReply::json(reply));

        const auto out = await(OpenRouter::complete(installedAccess(), QStringLiteral("consigne"), text, QStringLiteral("m/1")));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(*out.value, QStringLiteral("Texte propre."));
        const QJsonObject body = openRouter_->requests().first().json();
        QCOMPARE(body.value(QStringLiteral("model")).toString(), QStringLiteral("m/1"));
        QCOMPARE(body.value(QStringLiteral("temperature")).toDouble(), 0.2);
        QCOMPARE(body.value(QStringLiteral("max_tokens")).toInt(), maxTokens);
        const QJsonArray messages = body.value(QStringLiteral("messages")).toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(0).toObject(), (QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                                                        {QStringLiteral("content"), QStringLiteral("consigne")}}));
        QCOMPARE(messages.at(1).toObject(), (QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                                        {QStringLiteral("content"), text}}));
    }

    void completeDecoding_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("result"); // null: a decoding failure
        QTest::newRow("empty choices give the text back") << QByteArray(R"({"choices":[]})") << "  le texte ";
        QTest::newRow("no choices") << QByteArray(R"({"id":"x"})") << QString();
        QTest::newRow("choice without message") << QByteArray(R"({"choices":[{}]})") << QString();
        QTest::newRow("null content") << QByteArray(R"({"choices":[{"message":{"content":null}}]})") << QString();
        QTest::newRow("second choice broken")
            << QByteArray(R"({"choices":[{"message":{"content":"a"}},{"message":{}}]})") << QString();
        QTest::newRow("not JSON") << QByteArray("bonjour") << QString();
    }

    void completeDecoding()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, result);
        openRouter_->on("POST", kChatPath, ScriptedReply::text(reply, 200));
        const auto out = await(OpenRouter::complete(installedAccess(), QStringLiteral("s"), QStringLiteral("  le texte "), QStringLiteral("m")));
        QVERIFY(out.done);
        if (result.isNull()) {
            QVERIFY(!out.value);
            QVERIFY(out.errorAs<DecodingError>());
            QCOMPARE(out.error, QStringLiteral("OpenRouter : réponse illisible"));
        } else {
            QVERIFY2(out.value, qPrintable(out.error));
            QCOMPARE(*out.value, result);
        }
    }

    void warmUpSendsTwoHeadRequests_data()
    {
        QTest::addColumn<bool>("hostedAddress");
        QTest::newRow("hosted") << true;
        QTest::newRow("no hosted") << false;
    }

    void warmUpSendsTwoHeadRequests()
    {
        QFETCH(bool, hostedAddress);
        FakeHttpService languageTool;
        QVERIFY(languageTool.start());
        qputenv("OMBRY_LANGUAGETOOL_URL", languageTool.url().toUtf8());
        if (!hostedAddress)
            qunsetenv("OMBRY_HOSTED_URL");
        hosted_->on("HEAD", QStringLiteral("/"), ScriptedReply::hanging());

        Net::warmUp();
        QVERIFY(languageTool.waitForRequests(1));
        QCOMPARE(languageTool.requests().first().method, QByteArray("HEAD"));
        QCOMPARE(languageTool.requests().first().path, QStringLiteral("/v2/languages"));
        if (hostedAddress) {
            QVERIFY(hosted_->waitForRequests(1));
            QCOMPARE(hosted_->requests().first().method, QByteArray("HEAD"));
            QCOMPARE(openRouter_->count(), 0);
        } else {
            QVERIFY(openRouter_->waitForRequests(1));
            const RecordedRequest r = openRouter_->requests().first();
            QCOMPARE(r.method, QByteArray("HEAD"));
            QCOMPARE(r.path, QStringLiteral("/api/v1/models"));
            QCOMPARE(r.rawQuery, QStringLiteral("limit=1"));
        }
        qputenv("OMBRY_LANGUAGETOOL_URL", "http://127.0.0.1:9");
    }

    void serviceAddresses()
    {
        qputenv("OMBRY_DEEPGRAM_URL", "http://127.0.0.1:4321");
        QCOMPARE(Services::deepgram(), QUrl(QStringLiteral("http://127.0.0.1:4321")));
        qunsetenv("OMBRY_DEEPGRAM_URL");
        QCOMPARE(Services::deepgram(), QUrl(QStringLiteral("https://api.deepgram.com")));
        qputenv("OMBRY_DEEPGRAM_URL", "http://127.0.0.1:9");
        qunsetenv("OMBRY_HOSTED_URL");
        QVERIFY(!Services::hosted());
        QCOMPARE(Services::appending(QUrl(QStringLiteral("https://h.example/x/")), QStringLiteral("api/voice")),
                 QUrl(QStringLiteral("https://h.example/x/api/voice")));
        QCOMPARE(Services::appending(QUrl(QStringLiteral("https://h.example")), QStringLiteral("/v2/check")),
                 QUrl(QStringLiteral("https://h.example/v2/check")));
    }
};

OMBRY_TEST_MAIN(TestTransport)
#include "tst_transport.moc"
