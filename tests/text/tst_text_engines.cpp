#include "engines/EngineTestUtil.h"
#include "fakes/FakeHttpService.h"

#include "engines/CloudFirst.h"

#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "text/Analyzer.h"
#include "text/Corrector.h"
#include "text/Translator.h"
#include "text/VoiceCommand.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

namespace {

const QString kChat = QStringLiteral("/api/v1/chat/completions");
const QString kLocalChat = QStringLiteral("/v1/chat/completions");
const QString kCheck = QStringLiteral("/v2/check");

QJsonObject ltMatch(const QString &text, const QString &original, const QStringList &values, const QString &categoryId,
                    const QString &message = QStringLiteral("Faute"), qsizetype at = -1)
{
    QJsonArray replacements;
    for (const QString &v : values)
        replacements.append(QJsonObject{{QStringLiteral("value"), v}});
    return QJsonObject{
        {QStringLiteral("offset"), at >= 0 ? at : text.indexOf(original)},
        {QStringLiteral("length"), original.size()},
        {QStringLiteral("message"), message},
        {QStringLiteral("replacements"), replacements},
        {QStringLiteral("rule"), QJsonObject{{QStringLiteral("category"), QJsonObject{{QStringLiteral("id"), categoryId},
                                                                                     {QStringLiteral("name"), categoryId}}}}},
    };
}

QJsonObject ltReply(const QJsonArray &matches)
{
    return QJsonObject{{QStringLiteral("matches"), matches}};
}

// The messages of one chat request: system, user.
QPair<QString, QString> messages(const RecordedRequest &request)
{
    const QJsonArray list = request.json().value(QStringLiteral("messages")).toArray();
    return {list.at(0)[QStringLiteral("content")].toString(), list.at(1)[QStringLiteral("content")].toString()};
}

QString logText()
{
    Log::waitUntilWritten();
    QFile file(Log::path());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

Fix fix(const QString &original, const QString &correction, const QString &explanation = {})
{
    Fix f;
    f.original = original;
    f.correction = correction;
    f.kind = QStringLiteral("orthographe");
    f.explanation = explanation;
    return f;
}

QJsonObject explanations(int count)
{
    QJsonArray items;
    for (int k = 0; k < count; ++k)
        items.append(QJsonObject{{QStringLiteral("kind"), QStringLiteral("accord")},
                                 {QStringLiteral("explanation"), QStringLiteral("Règle %1").arg(k + 1)}});
    return QJsonObject{{QStringLiteral("items"), items}};
}

} // namespace

class TestTextEngines : public QObject
{
    Q_OBJECT

    FakeHttpService *cloud_ = nullptr;
    FakeHttpService *local_ = nullptr;
    FakeHttpService *grammar_ = nullptr;
    TextSettings settings_;

private Q_SLOTS:
    void init()
    {
        CloudFirst::forgetLocal();
        cloud_ = new FakeHttpService(this);
        local_ = new FakeHttpService(this);
        grammar_ = new FakeHttpService(this);
        QVERIFY(cloud_->start() && local_->start() && grammar_->start());
        qputenv("OMBRY_OPENROUTER_URL", cloud_->url().toUtf8());
        qputenv("OMBRY_LOCAL_LLM_URL", local_->url(QStringLiteral("/v1")).toUtf8());
        qputenv("OMBRY_LANGUAGETOOL_URL", grammar_->url().toUtf8());
        local_->on("GET", QStringLiteral("/v1/models"),
                   ScriptedReply::json(QJsonObject{{QStringLiteral("data"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("local")}}}}}));
        qputenv("OPENROUTER_API_KEY", "sk-test");
        TestEnv::keys()->setKeys({{APIService::OpenRouter, QStringLiteral("sk-test")}});

        settings_ = TextSettings{};
        settings_.rewriteEngine = RewriteEngine::OpenRouter;
        settings_.openRouterModel = QStringLiteral("test/model");
        settings_.useLanguageTool = true;
        settings_.correctorUsesLocalModel = true;
        settings_.correctionScope = CorrectionScope(15);
        settings_.punctuation = PunctuationLevel::Normal;
        settings_.language = Language::Fr;
    }

    void cleanup()
    {
        delete cloud_;
        delete local_;
        delete grammar_;
        cloud_ = local_ = grammar_ = nullptr;
        for (const char *name : {"OMBRY_OPENROUTER_URL", "OMBRY_LOCAL_LLM_URL", "OMBRY_LANGUAGETOOL_URL"})
            qputenv(name, "http://127.0.0.1:9");
    }

    void checkRequest()
    {
        const QString text = QStringLiteral("1+1 font 2 & c'est tout");
        grammar_->on("POST", kCheck, ScriptedReply::json(ltReply({ltMatch(text, QStringLiteral("font"), {QStringLiteral("fait")}, QStringLiteral("GRAMMAR"))})));
        const auto out = await(LanguageTool::check(text, QStringLiteral("auto")));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(out.value->size(), 1);
        QCOMPARE(out.value->first().original, QStringLiteral("font"));

        const RecordedRequest request = grammar_->requests(kCheck).first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.header("content-type"), QByteArray("application/x-www-form-urlencoded"));
        QByteArray body = request.body;
        QUrlQuery form(QString::fromUtf8(body.replace('+', ' ')));
        QCOMPARE(form.queryItemValue(QStringLiteral("text"), QUrl::FullyDecoded), text); // "+" is not a blank
        QCOMPARE(form.queryItemValue(QStringLiteral("language")), QStringLiteral("auto"));
        QCOMPARE(form.queryItemValue(QStringLiteral("level")), QStringLiteral("picky"));
    }

    void checkFailures()
    {
        grammar_->on("POST", kCheck, ScriptedReply::text("trop de requêtes", 429));
        auto out = await(LanguageTool::check(QStringLiteral("x"), QStringLiteral("fr")));
        QVERIFY(!out.value);
        QCOMPARE(out.error, QStringLiteral("LanguageTool : erreur 429 trop de requêtes"));

        grammar_->on("POST", kCheck, ScriptedReply::json(QJsonObject{{QStringLiteral("oops"), 1}}));
        out = await(LanguageTool::check(QStringLiteral("x"), QStringLiteral("fr")));
        QVERIFY(out.errorAs<DecodingError>());

        qputenv("OMBRY_LANGUAGETOOL_URL", "http://127.0.0.1:9");
        out = await(LanguageTool::check(QStringLiteral("x"), QStringLiteral("fr")));
        QVERIFY(out.errorAs<NetworkError>());
    }

    void correctWithCloud()
    {
        const QString text = QStringLiteral("Je suis allé a la plage hier soir");
        grammar_->on("POST", kCheck, ScriptedReply::json(ltReply({
            ltMatch(text, QStringLiteral("a"), {QStringLiteral("à")}, QStringLiteral("TYPOS"), QStringLiteral("Faute"),
                    text.indexOf(QStringLiteral(" a ")) + 1),
            ltMatch(text, QStringLiteral("hier soir"), {QStringLiteral("hier soir,")}, QStringLiteral("PUNCTUATION"), QStringLiteral("Virgule")),
        })));
        cloud_->on("POST", kChat, ScriptedReply::json(chatCompletion(
            QStringLiteral("Texte à corriger :\n<<<\nJe suis allé à la plage hier SOIR ?\n>>>"))));

        const auto out = await(Corrector::correctDetailed(installedAccess(), text, QStringLiteral("français"), {}, settings_));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(out.value->text, QStringLiteral("Je suis allé à la plage hier soir."));
        QCOMPARE(out.value->matches.size(), 2);

        const auto [system, user] = messages(cloud_->requests(kChat).first());
        QCOMPARE(cloud_->requests(kChat).first().json().value(QStringLiteral("model")).toString(), QStringLiteral("test/model"));
        QVERIFY(system.startsWith(
            Corrector::instructions(QStringLiteral("français"), {}, settings_.correctionScope, settings_.punctuation)));
        QVERIFY(system.endsWith(QStringLiteral("et corrige aussi toute autre faute.")));
        QCOMPARE(user, QStringLiteral("Texte à corriger :\n<<<\nJe suis allé à la plage hier soir\n>>>\n\nFautes repérées :\n"
                                      "- « hier soir » : Virgule (propositions : hier soir,)"));
        QVERIFY(logText().contains(QStringLiteral("languagetool: 2 fautes repérées")));
    }

    void cloudFailureFallsBackToLocal()
    {
        settings_.useLanguageTool = false;
        cloud_->on("POST", kChat, ScriptedReply::text("panne", 502));
        local_->on("POST", kLocalChat, ScriptedReply::json(chatCompletion(QStringLiteral("Bonjour à tous."))));
        const auto out = await(Corrector::correctDetailed(installedAccess(), QStringLiteral("bonjour a tous"), QStringLiteral("français"), {}, settings_));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(out.value->text, QStringLiteral("Bonjour à tous."));
        QCOMPARE(grammar_->count(), 0);
        QCOMPARE(messages(local_->requests(kLocalChat).first()).second, QStringLiteral("bonjour a tous"));
        QVERIFY(logText().contains(QStringLiteral("correction: OpenRouter indisponible, modèle local prend le relais (OpenRouter : erreur 502)")));
    }

    void checkOffForcesModel()
    {
        settings_.rewriteEngine = RewriteEngine::Local;
        settings_.useLanguageTool = false;
        settings_.correctorUsesLocalModel = false;
        local_->on("POST", kLocalChat, ScriptedReply::json(chatCompletion(QStringLiteral("tu viens."))));
        const auto out = await(Corrector::correctDetailed(installedAccess(), QStringLiteral("tu viens ?"), QStringLiteral("français"), {}, settings_));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(out.value->text, QStringLiteral("Tu viens ?"));
        QCOMPARE(local_->count(kLocalChat), 1);
        QCOMPARE(grammar_->count() + cloud_->count(), 0);
    }

    void localFailureIsThrown()
    {
        settings_.rewriteEngine = RewriteEngine::Local;
        settings_.useLanguageTool = false;
        qputenv("OMBRY_LOCAL_LLM_URL", "http://127.0.0.1:9");
        // No key either: nothing can stand in for the chosen local model.
        qunsetenv("OPENROUTER_API_KEY");
        TestEnv::keys()->setKeys({});
        const auto out = await(Corrector::correctDetailed(installedAccess(), QStringLiteral("x"), QStringLiteral("français"), {}, settings_));
        QVERIFY(!out.value);
        QVERIFY(out.errorAs<CloudFirst::Failure>());
        QCOMPARE(out.error, QStringLiteral("Modèle local injoignable"));
        QCOMPARE(cloud_->count(), 0);
    }

    void correctWithoutModel()
    {
        settings_.rewriteEngine = RewriteEngine::Local;
        settings_.correctorUsesLocalModel = false;
        const QString text = QStringLiteral("les chat de Kesso dort ok");
        grammar_->on("POST", kCheck, ScriptedReply::json(ltReply({
            ltMatch(text, QStringLiteral("les chat"), {QStringLiteral("le chat"), QStringLiteral("les chats")}, QStringLiteral("AGREEMENT")),
            ltMatch(text, QStringLiteral("Kesso"), {QStringLiteral("Kessa")}, QStringLiteral("TYPOS")),
            ltMatch(text, QStringLiteral("ok"), {QStringLiteral("OK")}, QStringLiteral("STYLE")),
        })));
        settings_.correctionScope = CorrectionScope(31);
        const auto out = await(Corrector::correctDetailed(installedAccess(), text, QStringLiteral("français"), {QStringLiteral("kesso")}, settings_));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(out.value->text, QStringLiteral("Les chats de Kesso dort ok."));
        QCOMPARE(out.value->matches.size(), 2); // the dictionary word is gone, the unapplied one stays
        QCOMPARE(cloud_->count() + local_->count(kLocalChat), 0);
    }

    void grammarFailureGoesOn()
    {
        grammar_->on("POST", kCheck, ScriptedReply::text("", 503));
        cloud_->on("POST", kChat, ScriptedReply::json(chatCompletion(QStringLiteral("Oui."))));
        const auto out = await(Corrector::correctDetailed(installedAccess(), QStringLiteral("oui"), QStringLiteral("français"), {}, settings_));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(out.value->text, QStringLiteral("Oui."));
        QVERIFY(out.value->matches.isEmpty());
        QVERIFY(logText().contains(QStringLiteral("languagetool: LanguageTool : erreur 503\n")));
    }

    void analyzeEnrichesFromMatches()
    {
        const QString text = QStringLiteral("il a manger");
        grammar_->on("POST", kCheck, ScriptedReply::json(ltReply({
            ltMatch(text, QStringLiteral("manger"), {QStringLiteral("mangé")}, QStringLiteral("CAT_GRAMMAIRE"), QStringLiteral("Participe passé")),
        })));
        cloud_->on("POST", kChat, ScriptedReply::json(chatCompletion(QStringLiteral("Il a mangé."))));
        const auto out = await(Analyzer::analyze(installedAccess(), text, QStringLiteral("français"), {}, settings_));
        QVERIFY2(out.value, qPrintable(out.error));
        QCOMPARE(out.value->corrected, QStringLiteral("Il a mangé."));
        QCOMPARE(out.value->fixes.size(), 2);
        QCOMPARE(out.value->fixes[1].original, QStringLiteral("manger"));
        QCOMPARE(out.value->fixes[1].kind, QStringLiteral("grammaire"));
        QCOMPARE(out.value->fixes[1].explanation, QStringLiteral("Participe passé"));
        QVERIFY(out.value->fixes[0].explanation.isEmpty());
    }

    void explainSubsetLandsInPlace()
    {
        cloud_->on("POST", kChat, ScriptedReply::json(chatCompletion(
            QStringLiteral("```json\n") + QString::fromUtf8(QJsonDocument(explanations(2)).toJson()) + QStringLiteral("```"))));
        const QList<Fix> fixes = {fix(QStringLiteral("a"), QStringLiteral("à")),
                                  fix(QStringLiteral("manger"), QStringLiteral("mangé"), QStringLiteral("Déjà expliqué")),
                                  fix(QStringLiteral("les"), QStringLiteral("le"))};
        const auto out = await(Analyzer::explain(installedAccess(), fixes, QStringLiteral("T"), QStringLiteral("français"), settings_));
        QVERIFY(out.value);
        const QList<Fix> &got = *out.value;
        QCOMPARE(got.size(), 3);
        QCOMPARE(got[0].explanation, QStringLiteral("Règle 1"));
        QCOMPARE(got[0].id, fixes[0].id);
        QCOMPARE(got[1].explanation, QStringLiteral("Déjà expliqué"));
        QCOMPARE(got[1].kind, QStringLiteral("orthographe"));
        QCOMPARE(got[2].explanation, QStringLiteral("Règle 2"));
        QCOMPARE(got[2].id, fixes[2].id);

        QCOMPARE(cloud_->count(kChat), 1);
        const RecordedRequest request = cloud_->requests(kChat).first();
        QCOMPARE(request.json().value(QStringLiteral("model")).toString(), QStringLiteral("google/gemini-2.5-flash"));
        const auto [system, user] = messages(request);
        QVERIFY(system.endsWith(QLatin1Char('\n') + Analyzer::explainJsonLine()));
        QVERIFY(user.endsWith(QStringLiteral("Corrections :\n1. « a » → « à »\n2. « les » → « le »")));
    }

    void explainLimit_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("calls");
        QTest::newRow("40") << 40 << 1;
        QTest::newRow("41") << 41 << 0;
    }
    void explainLimit()
    {
        QFETCH(int, count);
        QFETCH(int, calls);
        cloud_->on("POST", kChat, ScriptedReply::json(chatCompletion(QString::fromUtf8(QJsonDocument(explanations(count)).toJson()))));
        QList<Fix> fixes;
        for (int k = 0; k < count; ++k)
            fixes.append(fix(QStringLiteral("a"), QStringLiteral("b")));
        const auto out = await(Analyzer::explain(installedAccess(), fixes, QStringLiteral("T"), QStringLiteral("français"), settings_));
        QVERIFY(out.value);
        QCOMPARE(cloud_->count(kChat), calls);
        QCOMPARE(out.value->last().explanation.isEmpty(), calls == 0);
    }

    void explainOnDeviceUsesSchema()
    {
        settings_.rewriteEngine = RewriteEngine::Local;
        local_->on("POST", kLocalChat, ScriptedReply::json(chatCompletion(QString::fromUtf8(QJsonDocument(explanations(2)).toJson()))));
        const auto out = await(Analyzer::explain(installedAccess(), {fix(QStringLiteral("a"), QStringLiteral("à")), fix(QStringLiteral("b"), QStringLiteral("c"))},
                                                 QStringLiteral("T"), QStringLiteral("français"), settings_));
        QVERIFY(out.value);
        QCOMPARE(out.value->at(1).explanation, QStringLiteral("Règle 2"));
        QCOMPARE(out.value->at(1).kind, QStringLiteral("accord"));
        const RecordedRequest request = local_->requests(kLocalChat).first();
        QCOMPARE(messages(request).first, Analyzer::explainSystem(QStringLiteral("français")));
        const QJsonObject schema = request.json()[QStringLiteral("response_format")][QStringLiteral("json_schema")][QStringLiteral("schema")].toObject();
        QCOMPARE(schema, Analyzer::explanationSchema(2));
    }

    void explainFailureLogged()
    {
        cloud_->on("POST", kChat, ScriptedReply::json(chatCompletion(QStringLiteral("Je ne sais pas."))));
        const QList<Fix> fixes = {fix(QStringLiteral("a"), QStringLiteral("à"))};
        const auto out = await(Analyzer::explain(installedAccess(), fixes, QStringLiteral("T"), QStringLiteral("français"), settings_));
        QVERIFY(out.value);
        QCOMPARE(*out.value, fixes);
        QVERIFY(logText().contains(QStringLiteral("explications: OpenRouter : réponse illisible")));
    }

    void rewriteEngines()
    {
        cloud_->on("POST", kChat, ScriptedReply::json(chatCompletion(QStringLiteral("Madame, Monsieur"))));
        auto out = await(Analyzer::rewrite(installedAccess(), QStringLiteral("salut"), TextAction::Formal, QStringLiteral("français"), std::nullopt, settings_));
        QCOMPARE(out.value.value_or(QString()), QStringLiteral("Madame, Monsieur"));
        QCOMPARE(cloud_->requests(kChat).first().json().value(QStringLiteral("model")).toString(), QStringLiteral("test/model"));

        // No fallback: a cloud failure reaches the caller.
        cloud_->on("POST", kChat, ScriptedReply::text("", 500));
        local_->on("POST", kLocalChat, ScriptedReply::json(chatCompletion(QStringLiteral("local"))));
        out = await(Analyzer::rewrite(installedAccess(), QStringLiteral("salut"), TextAction::Formal, QStringLiteral("français"), std::nullopt, settings_));
        QCOMPARE(out.error, QStringLiteral("OpenRouter : erreur 500"));
        QCOMPARE(local_->count(kLocalChat), 0);

        settings_.rewriteEngine = RewriteEngine::None;
        out = await(Analyzer::rewrite(installedAccess(), QStringLiteral("salut"), TextAction::Summary, QStringLiteral("français"), std::nullopt, settings_));
        QCOMPARE(out.value.value_or(QString()), QStringLiteral("local"));
    }

    void translateModelAndFallback()
    {
        settings_.rewriteEngine = RewriteEngine::Local;
        cloud_->on("POST", kChat, ScriptedReply::json(chatCompletion(QStringLiteral("Bonjour, comment vas-tu ?"))));
        auto out = await(Translator::translate(installedAccess(), QStringLiteral("Hello, how are you today?"), QStringLiteral("anglais"), true, settings_));
        QCOMPARE(out.value.value_or(QString()), QStringLiteral("Bonjour, comment vas-tu ?"));
        const RecordedRequest request = cloud_->requests(kChat).first();
        QCOMPARE(request.json().value(QStringLiteral("model")).toString(), QStringLiteral("google/gemini-2.5-flash-lite"));
        QCOMPARE(messages(request).first, Translator::systemPrompt(QStringLiteral("français")));

        cloud_->on("POST", kChat, ScriptedReply::text("", 500));
        local_->on("POST", kLocalChat, ScriptedReply::json(chatCompletion(QStringLiteral("Hallo"))));
        out = await(Translator::translate(installedAccess(), QStringLiteral("Bonjour"), QStringLiteral("allemand"), false, settings_));
        QCOMPARE(out.value.value_or(QString()), QStringLiteral("Hallo"));
        QCOMPARE(messages(local_->requests(kLocalChat).first()).first, Translator::systemPrompt(QStringLiteral("allemand")));
        QVERIFY(logText().contains(QStringLiteral("traduction: OpenRouter indisponible, modèle local prend le relais (OpenRouter : erreur 500)\n")));
    }

    void voiceCommand()
    {
        TestEnv::settings()->setOpenRouterModel(QStringLiteral("other/model"));
        cloud_->on("POST", kChat, ScriptedReply::json(chatCompletion(QStringLiteral("les chats dorment"))));
        auto out = await(VoiceCommand::apply(installedAccess(), QString(), QStringLiteral("le chat dort")));
        QCOMPARE(out.value.value_or(QString()), QStringLiteral("les chats dorment"));
        const RecordedRequest request = cloud_->requests(kChat).first();
        QCOMPARE(request.json().value(QStringLiteral("model")).toString(), QStringLiteral("google/gemini-2.5-flash-lite"));
        QCOMPARE(messages(request).second, QStringLiteral("Instruction : \n\nTexte :\nle chat dort"));

        cloud_->on("POST", kChat, ScriptedReply::text("", 500));
        qputenv("OMBRY_LOCAL_LLM_URL", "http://127.0.0.1:9");
        out = await(VoiceCommand::apply(installedAccess(), QStringLiteral("x"), QStringLiteral("y")));
        // No local server: the cloud's cause, in short.
        QVERIFY(out.errorAs<CloudFirst::Failure>());
        QCOMPARE(out.error, QStringLiteral("OpenRouter : erreur 500"));
        QVERIFY(logText().contains(QStringLiteral("commande: OpenRouter indisponible, aucun modèle local (OpenRouter : erreur 500)\n")));
    }
};

OMBRY_TEST_MAIN(TestTextEngines)
#include "tst_text_engines.moc"
