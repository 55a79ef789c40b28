#include "fakes/FakeHttpService.h"
#include "support/TestEnv.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcessEnvironment>
#include <QStandardPaths>

class TestFakeHttp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void homeAndServicesAreIsolated()
    {
        const QString home = TestEnv::home();
        QVERIFY(!home.isEmpty());
        QCOMPARE(QDir::homePath(), home);
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).startsWith(home));
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).startsWith(home));
        QCOMPARE(qgetenv("OMBRY_OPENROUTER_URL"), QByteArray("http://127.0.0.1:9"));
        QVERIFY(qgetenv("OPENROUTER_API_KEY").isEmpty());
    }

    void recordsRequestsAndScriptsReplies()
    {
        FakeHttpService fake;
        QVERIFY(fake.start());
        fake.on("POST", QStringLiteral("/v1/listen"), ScriptedReply::json({{"ok", true}}));
        fake.enqueue("POST", QStringLiteral("/v1/listen"), ScriptedReply::text("premier", 503));

        QNetworkAccessManager nam;
        auto post = [&] {
            QNetworkRequest req(QUrl(fake.url(QStringLiteral("/v1/listen?keyterm=C%2B%2B&model=nova-3"))));
            req.setRawHeader("Authorization", "Token abc");
            req.setHeader(QNetworkRequest::ContentTypeHeader, "audio/wav");
            QNetworkReply *reply = nam.post(req, QByteArray("RIFF1234"));
            TestEnv::waitFor([&] { return reply->isFinished(); });
            const auto result = qMakePair(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                                          reply->readAll());
            reply->deleteLater();
            return result;
        };
        QCOMPARE(post(), qMakePair(503, QByteArray("premier")));
        QCOMPARE(post(), qMakePair(200, QByteArray(R"({"ok":true})")));

        QCOMPARE(fake.count(QStringLiteral("/v1/listen")), 2);
        const RecordedRequest r = fake.requests().first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.rawQuery, QStringLiteral("keyterm=C%2B%2B&model=nova-3"));
        QCOMPARE(r.query.queryItemValue(QStringLiteral("model")), QStringLiteral("nova-3"));
        QCOMPARE(r.header("authorization"), QByteArray("Token abc"));
        QCOMPARE(r.header("Content-Type"), QByteArray("audio/wav"));
        QCOMPARE(r.body, QByteArray("RIFF1234"));
    }

    void unknownRouteIs404AndHangingReplyNeverAnswers()
    {
        FakeHttpService fake;
        QVERIFY(fake.start());
        fake.on("GET", QStringLiteral("/lent"), ScriptedReply::hanging());
        QNetworkAccessManager nam;
        QNetworkReply *missing = nam.get(QNetworkRequest(QUrl(fake.url(QStringLiteral("/ailleurs")))));
        QNetworkReply *slow = nam.get(QNetworkRequest(QUrl(fake.url(QStringLiteral("/lent")))));
        QVERIFY(TestEnv::waitFor([&] { return missing->isFinished(); }));
        QCOMPARE(missing->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);
        QVERIFY(fake.waitForRequests(2));
        QTest::qWait(300);
        QVERIFY(!slow->isFinished());
        slow->abort();
        delete missing;
        delete slow;
    }
};

OMBRY_TEST_MAIN(TestFakeHttp)
#include "tst_fakehttp.moc"
