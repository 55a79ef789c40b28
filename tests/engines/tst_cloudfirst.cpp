#include "EngineTestUtil.h"

#include "engines/LocalRewrite.h"
#include "engines/CloudFirst.h"
#include "engines/OpenRouter.h"
#include "fakes/FakeHttpService.h"
#include "model/KeyStore.h"
#include "core/Log.h"

#include <QFile>
#include <QJsonArray>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kChat = QStringLiteral("/api/v1/chat/completions");
const QString kLocalChat = QStringLiteral("/v1/chat/completions");

QString logText()
{
    Log::waitUntilWritten();
    QFile file(Log::path());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

// The one "cloud, then local" rule, with a fake OpenRouter and a fake local server.
class TestCloudFirst : public QObject
{
    Q_OBJECT

    FakeHttpService *cloud_ = nullptr;
    FakeHttpService *local_ = nullptr;

private Q_SLOTS:
    void init()
    {
        cloud_ = new FakeHttpService(this);
        local_ = new FakeHttpService(this);
        QVERIFY(cloud_->start() && local_->start());
        qputenv("OMBRY_OPENROUTER_URL", cloud_->url().toUtf8());
        qunsetenv("OMBRY_HOSTED_URL");
        CloudFirst::forgetLocal();
    }

    void cleanup()
    {
        delete cloud_;
        delete local_;
        cloud_ = local_ = nullptr;
        qputenv("OMBRY_OPENROUTER_URL", "http://127.0.0.1:9");
        qputenv("OMBRY_LOCAL_LLM_URL", "http://127.0.0.1:9");
        TestEnv::keys()->setKeys({});
    }

    // cloud: the status OpenRouter answers, 0 for a closed port.
    // result: the text returned, or the error the user sees.
    void policy_data()
    {
        QTest::addColumn<bool>("localChosen");
        QTest::addColumn<bool>("key");
        QTest::addColumn<int>("cloud");
        QTest::addColumn<bool>("localUp");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("journal");
        QTest::addColumn<bool>("fallback");

        QTest::newRow("cloud answers") << false << true << 200 << false << u"nuage"_s << QString() << true;
        QTest::newRow("refused key, no local server")
            << false << true << 401 << false << u"Clé OpenRouter refusée"_s
            << u"correction: OpenRouter indisponible, aucun modèle local (OpenRouter : erreur 401)"_s << true;
        QTest::newRow("unreachable cloud, no local server")
            << false << true << 0 << false << u"OpenRouter injoignable"_s
            << u"correction: OpenRouter indisponible, aucun modèle local"_s << true;
        QTest::newRow("no key, no local server")
            << false << false << 200 << false << u"Clé OpenRouter absente"_s
            << u"correction: OpenRouter indisponible, aucun modèle local (Clé OpenRouter absente)"_s << true;
        QTest::newRow("refused key, local server answers")
            << false << true << 401 << true << u"local"_s
            << u"correction: OpenRouter indisponible, modèle local prend le relais (OpenRouter : erreur 401"_s << true;
        QTest::newRow("local chosen and up") << true << true << 200 << true << u"local"_s << QString() << true;
        // The user chose this computer: a local server that does not answer is
        // said so, and nothing goes to the cloud, whatever key is stored.
        QTest::newRow("local chosen but down, key stored")
            << true << true << 200 << false << u"Modèle local injoignable"_s
            << u"correction: modèle local injoignable"_s << true;
        QTest::newRow("local chosen but down, no key")
            << true << false << 200 << false << u"Modèle local injoignable"_s << u"correction: modèle local injoignable"_s
            << true;
        // Where the cloud's failure must reach the caller, a local server is not asked.
        QTest::newRow("no fallback wanted, local server answers")
            << false << true << 500 << true << u"OpenRouter : erreur 500"_s
            << u"correction: OpenRouter indisponible (OpenRouter : erreur 500"_s << false;
    }

    void policy()
    {
        QFETCH(bool, localChosen);
        QFETCH(bool, key);
        QFETCH(int, cloud);
        QFETCH(bool, localUp);
        QFETCH(QString, result);
        QFETCH(QString, journal);
        QFETCH(bool, fallback);

        if (key)
            TestEnv::keys()->setKeys({{APIService::OpenRouter, u"sk-or-test"_s}});
        if (cloud == 0)
            qputenv("OMBRY_OPENROUTER_URL", "http://127.0.0.1:9");
        else if (cloud == 200)
            cloud_->on("POST", kChat, ScriptedReply::chat(u"nuage"_s));
        else
            cloud_->on("POST", kChat, ScriptedReply::text("{\"error\":{\"message\":\"User not found.\"}}", cloud));
        qputenv("OMBRY_LOCAL_LLM_URL", localUp ? local_->url(u"/v1"_s).toUtf8() : QByteArray("http://127.0.0.1:9/v1"));
        local_->on("GET", u"/v1/models"_s,
                   ScriptedReply::json(QJsonObject{{u"data"_s, QJsonArray{QJsonObject{{u"id"_s, u"petit"_s}}}}}));
        local_->on("POST", kLocalChat, ScriptedReply::chat(u"local"_s));

        const qsizetype logBefore = logText().size();
        const CloudFirst::Plan plan{u"correction"_s, u"OpenRouter"_s, CloudFirst::Local::Text, localChosen, fallback};
        const auto out = await(CloudFirst::run<QString>(
            plan, installedAccess(),
            [] { return OpenRouter::complete(installedAccess(), u"système"_s, u"texte"_s, u"test/model"_s); },
            [] { return LocalRewrite::run(u"système"_s, u"texte"_s); }));
        QVERIFY(out.done);
        QCOMPARE(out.value ? *out.value : out.error, result);
        const QString written = logText().mid(logBefore);
        if (journal.isEmpty())
            QVERIFY2(!written.contains(u"relais"_s) && !written.contains(u"injoignable"_s)
                         && !written.contains(u"indisponible"_s),
                     qPrintable(written));
        else
            QVERIFY2(written.contains(journal), qPrintable(written));
        // A failure the user sees never names the missing local server unless
        // the user chose it, and a local server not wanted is never asked.
        if (!localChosen && !out.value)
            QVERIFY(!out.error.contains(u"local"_s));
        if (!fallback)
            QCOMPARE(local_->count(), 0);
        if (localChosen)
            QCOMPARE(cloud_->count(), 0);
    }

    // The local server's answer is kept for a while: a second request in a row
    // does not probe again.
    void probeIsRemembered()
    {
        qputenv("OMBRY_LOCAL_LLM_URL", local_->url(u"/v1"_s).toUtf8());
        local_->on("GET", u"/v1/models"_s,
                   ScriptedReply::json(QJsonObject{{u"data"_s, QJsonArray{QJsonObject{{u"id"_s, u"petit"_s}}}}}));
        QCOMPARE(CloudFirst::lastAnswer(CloudFirst::Local::Text), std::nullopt);
        QCOMPARE(*await(CloudFirst::localAnswers(CloudFirst::Local::Text)).value, true);
        QCOMPARE(*await(CloudFirst::localAnswers(CloudFirst::Local::Text)).value, true);
        QCOMPARE(local_->count(u"/v1/models"_s), 1);
        QCOMPARE(CloudFirst::lastAnswer(CloudFirst::Local::Text), std::optional<bool>(true));
        // Another address is another server.
        qputenv("OMBRY_LOCAL_LLM_URL", "http://127.0.0.1:9/v1");
        QCOMPARE(*await(CloudFirst::localAnswers(CloudFirst::Local::Text)).value, false);
    }
};

OMBRY_TEST_MAIN(TestCloudFirst)
#include "tst_cloudfirst.moc"
