#include "EngineTestUtil.h"

#include "engines/LocalRewrite.h"
#include "fakes/FakeHttpService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {

QJsonObject models()
{
    return QJsonObject{{QStringLiteral("object"), QStringLiteral("list")},
                       {QStringLiteral("data"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("qwen-local")}},
                                                           QJsonObject{{QStringLiteral("id"), QStringLiteral("autre")}}}}};
}

QJsonObject answer(const QString &content)
{
    return QJsonObject{{QStringLiteral("choices"),
                        QJsonArray{QJsonObject{{QStringLiteral("message"),
                                                QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                                            {QStringLiteral("content"), content}}}}}}};
}

const QString kUnavailable =
    QStringLiteral("Modèle local : erreur 0 non disponible sur cet ordinateur (serveur local requis)");

} // namespace

class TestLocalRewrite : public QObject
{
    Q_OBJECT

    FakeHttpService *server_ = nullptr;

private Q_SLOTS:
    void init()
    {
        server_ = new FakeHttpService(this);
        QVERIFY(server_->start());
        qputenv("OMBRY_LOCAL_LLM_URL", server_->url(QStringLiteral("/v1")).toUtf8());
        qunsetenv("OMBRY_LOCAL_LLM_MODEL");
        server_->on("GET", QStringLiteral("/v1/models"), ScriptedReply::json(models()));
        server_->on("POST", QStringLiteral("/v1/chat/completions"),
                    ScriptedReply::json(answer(QStringLiteral("  Bonjour à  tous.\n"))));
    }

    void cleanup()
    {
        delete server_;
        server_ = nullptr;
        qputenv("OMBRY_LOCAL_LLM_URL", "http://127.0.0.1:9");
    }

    void answersTrimmed_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first listed model") << QString() << "qwen-local";
        QTest::newRow("chosen model") << "autre" << "autre";
    }

    void answersTrimmed()
    {
        QFETCH(QString, model);
        QFETCH(QString, expected);
        if (!model.isEmpty())
            qputenv("OMBRY_LOCAL_LLM_MODEL", model.toUtf8());
        const auto out = await(LocalRewrite::run(QStringLiteral("Consigne"), QString()));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(*out.value, QStringLiteral("Bonjour à  tous."));

        const QList<RecordedRequest> chats = server_->requests(QStringLiteral("/v1/chat/completions"));
        QCOMPARE(chats.size(), 1);
        const QJsonObject body = chats.first().json();
        QCOMPARE(body.value(QStringLiteral("model")).toString(), expected);
        const QJsonArray messages = body.value(QStringLiteral("messages")).toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(0).toObject().value(QStringLiteral("role")).toString(), QStringLiteral("system"));
        QCOMPARE(messages.at(0).toObject().value(QStringLiteral("content")).toString(), QStringLiteral("Consigne"));
        QCOMPARE(messages.at(1).toObject().value(QStringLiteral("role")).toString(), QStringLiteral("user"));
        // An empty text is still sent.
        QCOMPARE(messages.at(1).toObject().value(QStringLiteral("content")).toString(), QString());
        QVERIFY(!body.contains(QStringLiteral("temperature")));
        QVERIFY(!body.contains(QStringLiteral("max_tokens")));
        QVERIFY(!body.contains(QStringLiteral("usage")));
        QVERIFY(!body.contains(QStringLiteral("response_format")));
    }

    void structuredReply()
    {
        server_->on("POST", QStringLiteral("/v1/chat/completions"),
                    ScriptedReply::json(answer(QStringLiteral(R"({"texte":"Salut","langue":"fr"})"))));
        const QJsonObject schema{{QStringLiteral("type"), QStringLiteral("object")}};
        const auto out = await(LocalRewrite::runStructured(QStringLiteral("s"), QStringLiteral("t"),
                                                           QStringLiteral("traduction"), schema));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(out.value->value(QStringLiteral("texte")).toString(), QStringLiteral("Salut"));
        const QJsonObject format =
            server_->requests(QStringLiteral("/v1/chat/completions")).first().json().value(QStringLiteral("response_format")).toObject();
        QCOMPARE(format.value(QStringLiteral("type")).toString(), QStringLiteral("json_schema"));
        QCOMPARE(format.value(QStringLiteral("json_schema")).toObject().value(QStringLiteral("name")).toString(),
                 QStringLiteral("traduction"));
        QCOMPARE(format.value(QStringLiteral("json_schema")).toObject().value(QStringLiteral("schema")).toObject(), schema);

        server_->on("POST", QStringLiteral("/v1/chat/completions"), ScriptedReply::json(answer(QStringLiteral("pas du JSON"))));
        const auto bad = await(LocalRewrite::runStructured(QStringLiteral("s"), QStringLiteral("t"),
                                                           QStringLiteral("traduction"), schema));
        QVERIFY(bad.errorAs<DecodingError>());
    }

    void unavailableAtOnceWithoutServer()
    {
        qputenv("OMBRY_LOCAL_LLM_URL", "http://127.0.0.1:9/v1");
        const auto out = await(LocalRewrite::run(QStringLiteral("s"), QStringLiteral("t")));
        QVERIFY(!out.value);
        const auto *error = out.errorAs<EngineError>();
        QVERIFY2(error, qPrintable(out.error));
        QVERIFY(LocalRewrite::isUnavailable(*error));
        QCOMPARE(out.error, kUnavailable);
        const auto available = await(LocalRewrite::isAvailable());
        QCOMPARE(available.value, std::optional<bool>(false));
    }

    void unavailableWhenTheServerIsTooSlow()
    {
        server_->on("GET", QStringLiteral("/v1/models"), ScriptedReply::hanging());
        const auto out = await(LocalRewrite::run(QStringLiteral("s"), QStringLiteral("t")));
        // The probe gives up on its own (figures in bench_transport).
        QVERIFY(out.done);
        QCOMPARE(out.error, kUnavailable);
        QCOMPARE(server_->count(QStringLiteral("/v1/chat/completions")), 0);

        // Nothing is remembered: once the server answers, the next call works.
        server_->on("GET", QStringLiteral("/v1/models"), ScriptedReply::json(models()));
        QCOMPARE(await(LocalRewrite::isAvailable()).value, std::optional<bool>(true));
        QVERIFY(await(LocalRewrite::run(QStringLiteral("s"), QStringLiteral("t"))).value);
    }

    void unavailableWhenNoModelIsListed()
    {
        server_->on("GET", QStringLiteral("/v1/models"), ScriptedReply::json({{QStringLiteral("data"), QJsonArray()}}));
        QCOMPARE(await(LocalRewrite::run(QStringLiteral("s"), QStringLiteral("t"))).error, kUnavailable);
    }

    void refusedGeneration()
    {
        server_->on("POST", QStringLiteral("/v1/chat/completions"), ScriptedReply::text("modèle absent", 404));
        const auto out = await(LocalRewrite::run(QStringLiteral("s"), QStringLiteral("t")));
        QCOMPARE(out.error, QStringLiteral("Modèle local : erreur 404 modèle absent"));
        QVERIFY(!LocalRewrite::isUnavailable(*out.errorAs<EngineError>()));
    }
};

OMBRY_TEST_MAIN(TestLocalRewrite)
#include "tst_localrewrite.moc"
