#include "engines/EngineTestUtil.h"
#include "fakes/FakeHttpService.h"

#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "pages/CorrectorModel.h"
#include "platform/Clipboard.h"
#include "text/Analyzer.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

namespace {

const QString kChat = QStringLiteral("/api/v1/chat/completions");
const QString kCheck = QStringLiteral("/v2/check");
const QString kSentence = QStringLiteral("Il est déjà parti a Lyon.");
const QString kFixed = QStringLiteral("Il est déjà parti à Lyon.");

// One finding of the grammar service on `word` in `text`, of a category.
QJsonObject finding(const QString &text, const QString &word, const QString &replacement, const QString &category,
                    const QString &message = QStringLiteral("Confusion entre « a » et « à »."))
{
    const qsizetype at = text.indexOf(QLatin1Char(' ') + word + QLatin1Char(' '));
    return QJsonObject{
        {QStringLiteral("offset"), at >= 0 ? at + 1 : text.indexOf(word)},
        {QStringLiteral("length"), word.size()},
        {QStringLiteral("message"), message},
        {QStringLiteral("replacements"), QJsonArray{QJsonObject{{QStringLiteral("value"), replacement}}}},
        {QStringLiteral("rule"), QJsonObject{{QStringLiteral("category"), QJsonObject{{QStringLiteral("id"), category},
                                                                                     {QStringLiteral("name"), category}}}}},
    };
}

ScriptedReply findings(const QJsonArray &matches, int delayMs = 0)
{
    ScriptedReply reply = ScriptedReply::json(QJsonObject{{QStringLiteral("matches"), matches}});
    reply.delayMs = delayMs;
    return reply;
}

QString systemOf(const RecordedRequest &request)
{
    return request.json().value(QStringLiteral("messages")).toArray().at(0)[QStringLiteral("content")].toString();
}

bool isExplanation(const RecordedRequest &request)
{
    return systemOf(request).startsWith(QStringLiteral("Tu es professeur de"));
}

QString formText(const RecordedRequest &request)
{
    QByteArray body = request.body;
    return QUrlQuery(QString::fromUtf8(body.replace('+', ' '))).queryItemValue(QStringLiteral("text"), QUrl::FullyDecoded);
}

QString logText()
{
    Log::waitUntilWritten();
    QFile file(Log::path());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QJsonObject explanationsReply(const QStringList &texts)
{
    QJsonArray items;
    for (const QString &t : texts)
        items.append(QJsonObject{{QStringLiteral("kind"), QStringLiteral("accord")}, {QStringLiteral("explanation"), t}});
    return chatCompletion(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("items"), items}}).toJson()));
}

} // namespace

class TestCorrectorModel : public QObject
{
    Q_OBJECT

    FakeHttpService *cloud_ = nullptr;
    FakeHttpService *grammar_ = nullptr;
    // What the language model answers: a correction or rewrite, and explanations.
    QString answer_;
    int answerStatus_ = 200;
    int answerDelayMs_ = 0;
    QList<ScriptedReply> explanations_;

    int answers() const
    {
        int n = 0;
        for (const RecordedRequest &r : cloud_->requests(kChat))
            n += isExplanation(r) ? 0 : 1;
        return n;
    }
    int explanationRequests() const { return cloud_->count(kChat) - answers(); }

    static QList<CorrectionRecord> records() { return TestEnv::store()->fixes(); }

private Q_SLOTS:
    void init()
    {
        TestEnv::store()->setFixes({});
        cloud_ = new FakeHttpService(this);
        grammar_ = new FakeHttpService(this);
        QVERIFY(cloud_->start() && grammar_->start());
        qputenv("OMBRY_OPENROUTER_URL", cloud_->url().toUtf8());
        qputenv("OMBRY_LANGUAGETOOL_URL", grammar_->url().toUtf8());
        TestEnv::keys()->setKeys({{APIService::OpenRouter, QStringLiteral("sk-test")}});
        answer_ = kFixed;
        answerStatus_ = 200;
        answerDelayMs_ = 0;
        explanations_.clear();
        cloud_->setHandler([this](const RecordedRequest &request) {
            if (isExplanation(request))
                return explanations_.isEmpty() ? ScriptedReply::json(explanationsReply({QStringLiteral("Règle.")}))
                                               : explanations_.takeFirst();
            ScriptedReply reply = answerStatus_ == 200 ? ScriptedReply::json(chatCompletion(answer_))
                                                       : ScriptedReply::text("panne du service", answerStatus_);
            reply.delayMs = answerDelayMs_;
            return reply;
        });

        AppSettings *settings = TestEnv::settings();
        settings->setRewriteEngine(RewriteEngine::OpenRouter);
        settings->setOpenRouterModel(QStringLiteral("test/model"));
        settings->setUseLanguageTool(true);
        settings->setCorrectionScopeRaw(15);
        settings->setPunctuation(PunctuationLevel::Light);
        settings->setLanguage(Language::Fr);
        settings->setTranslateTarget(QStringLiteral("anglais"));
    }

    void cleanup()
    {
        delete cloud_;
        delete grammar_;
        cloud_ = grammar_ = nullptr;
        for (const char *name : {"OMBRY_OPENROUTER_URL", "OMBRY_LANGUAGETOOL_URL"})
            qputenv(name, "http://127.0.0.1:9");
    }

    void freshPage_data()
    {
        QTest::addColumn<PunctuationLevel>("level");
        QTest::addColumn<QString>("hint");
        QTest::newRow("light") << PunctuationLevel::Light << "Ponctuation légère · à changer dans Réglages";
        QTest::newRow("normal") << PunctuationLevel::Normal << "Ponctuation normale · à changer dans Réglages";
        QTest::newRow("full") << PunctuationLevel::Full << "Ponctuation complète · à changer dans Réglages";
    }
    void freshPage()
    {
        QFETCH(PunctuationLevel, level);
        QFETCH(QString, hint);
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        QSignalSpy hintSpy(&page, &CorrectorModel::punctuationHintChanged);
        TestEnv::settings()->setPunctuation(level);
        QCOMPARE(page.punctuationHint(), hint);
        QCOMPARE(hintSpy.isEmpty(), level == PunctuationLevel::Light);
        QCOMPARE(page.wordCountText(), QStringLiteral("0 mot"));
        QVERIFY(!page.canRun());
        QCOMPARE(page.liveCount(), -1);
        QCOMPARE(page.mode(), CorrectorModel::Mode::Correct);
        QCOMPARE(page.tone(), QStringLiteral("formal"));
        QCOMPARE(page.runLabel(), QStringLiteral("Corriger"));
        QVERIFY(!page.hasAnalysis() && !page.hasRewrite() && page.error().isEmpty());
    }

    void runButton_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("words");
        QTest::newRow("empty") << "" << false << "0 mot";
        QTest::newRow("blanks and line breaks") << " \n\t\u2028 " << false << "0 mot";
        QTest::newRow("one word") << "bonjour" << true << "1 mot";
        QTest::newRow("sentence") << kSentence << true << "6 mots";
    }
    void runButton()
    {
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(QString, words);
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(text);
        QCOMPARE(page.canRun(), enabled);
        QCOMPARE(page.wordCountText(), words);
        page.run();
        QCOMPARE(page.working(), enabled);
    }

    // The count the live check shows for what the service found, under the settings.
    // The mode chips and the run button read the same label and symbol.
    void modeLooks_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("icon");
        QTest::newRow("correct") << int(CorrectorModel::Mode::Correct) << "Corriger" << "checkmark.seal";
        QTest::newRow("rephrase") << int(CorrectorModel::Mode::Rephrase) << "Reformuler" << "wand.and.stars";
        QTest::newRow("summary") << int(CorrectorModel::Mode::Summary) << "Résumer" << "text.alignleft";
        QTest::newRow("past the last") << 3 << "" << "";
        QTest::newRow("negative") << -1 << "" << "";
    }
    void modeLooks()
    {
        QFETCH(int, mode);
        QFETCH(QString, label);
        QFETCH(QString, icon);
        const auto value = CorrectorModel::Mode(mode);
        QCOMPARE(CorrectorModel::label(value), label);
        QCOMPARE(CorrectorModel::icon(value), icon);
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setMode(value);
        QCOMPARE(page.runLabel(), label);
        QCOMPARE(page.runIcon(), icon);
        if (label.isEmpty())
            return;
        QVariantMap chip;
        for (const QVariant &entry : page.modes())
            if (entry.toMap().value(QStringLiteral("mode")).value<CorrectorModel::Mode>() == value)
                chip = entry.toMap();
        QCOMPARE(chip.value(QStringLiteral("label")).toString(), label);
        QCOMPARE(chip.value(QStringLiteral("icon")).toString(), icon);
    }

    void liveCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("categories");
        QTest::addColumn<int>("scope");
        QTest::addColumn<PunctuationLevel>("punctuation");
        QTest::addColumn<bool>("useGrammar");
        QTest::addColumn<int>("checks");
        QTest::addColumn<int>("count");
        const QStringList all{"TYPOS", "AGREEMENT", "PUNCTUATION", "CASING", "STYLE"};
        QTest::newRow("one spelling fault") << kSentence << QStringList{"TYPOS"} << 15 << PunctuationLevel::Light << true << 1 << 1;
        QTest::newRow("nothing found") << kSentence << QStringList{} << 15 << PunctuationLevel::Light << true << 1 << 0;
        QTest::newRow("punctuation not counted when light") << kSentence << all << 15 << PunctuationLevel::Light << true << 1 << 3;
        QTest::newRow("punctuation counted when normal") << kSentence << all << 15 << PunctuationLevel::Normal << true << 1 << 4;
        QTest::newRow("style counted in scope") << kSentence << all << 31 << PunctuationLevel::Full << true << 1 << 5;
        QTest::newRow("spelling only") << kSentence << all << 1 << PunctuationLevel::Full << true << 1 << 1;
        QTest::newRow("one word: no check") << "bonjour" << QStringList{"TYPOS"} << 15 << PunctuationLevel::Light << true << 0 << -1;
        QTest::newRow("grammar check off") << kSentence << QStringList{"TYPOS"} << 15 << PunctuationLevel::Light << false << 0 << -1;
    }
    void liveCount()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, categories);
        QFETCH(int, scope);
        QFETCH(PunctuationLevel, punctuation);
        QFETCH(bool, useGrammar);
        QFETCH(int, checks);
        QFETCH(int, count);
        AppSettings *settings = TestEnv::settings();
        settings->setCorrectionScopeRaw(scope);
        settings->setPunctuation(punctuation);
        settings->setUseLanguageTool(useGrammar);
        QJsonArray matches;
        for (const QString &c : categories)
            matches.append(finding(text, QStringLiteral("a"), QStringLiteral("à"), c));
        grammar_->on("POST", kCheck, findings(matches));

        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(text);
        if (checks > 0) {
            QVERIFY(TestEnv::waitFor([&] { return page.liveCount() >= 0; }, 5000));
        } else {
            // The live check would have gone out by now.
            QTest::qWait(CorrectorModel::liveDelayMs + 300);
        }
        QCOMPARE(grammar_->count(kCheck), checks);
        QCOMPARE(page.liveCount(), count);
        if (checks > 0)
            QCOMPARE(formText(grammar_->requests(kCheck).first()), text);
    }

    // Typing: one check, for the last text, once typing pauses.
    void liveCheckWaitsForThePause()
    {
        grammar_->on("POST", kCheck, findings({finding(kSentence, QStringLiteral("a"), QStringLiteral("à"), QStringLiteral("TYPOS"))}));
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        QString typed;
        for (const QChar c : kSentence) {
            typed.append(c);
            page.setText(typed);
            QTest::qWait(20);
        }
        QVERIFY(TestEnv::waitFor([&] { return page.liveCount() == 1; }, 5000));
        QTest::qWait(300);
        QCOMPARE(grammar_->count(kCheck), 1);
        QCOMPARE(formText(grammar_->requests(kCheck).first()), kSentence);
        QCOMPARE(page.liveCountText(), QStringLiteral("1 faute repérée"));
    }

    // A reply that comes back after the text changed does not label the new text.
    void lateCountIsDropped()
    {
        grammar_->enqueue("POST", kCheck, findings({finding(kSentence, QStringLiteral("a"), QStringLiteral("à"), QStringLiteral("TYPOS"))}, 800));
        grammar_->on("POST", kCheck, findings({}, 0));
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(kSentence);
        QVERIFY(grammar_->waitForRequests(1, 3000, kCheck));
        page.setText(kSentence + QStringLiteral(" Et puis"));
        QTest::qWait(500);
        QCOMPARE(page.liveCount(), -1); // the first reply came back and was not applied
        QVERIFY(TestEnv::waitFor([&] { return grammar_->count(kCheck) == 2 && page.liveCount() == 0; }, 5000));
        QCOMPARE(page.liveCount(), 0);
    }

    void liveCountGoesWithTheMode()
    {
        grammar_->on("POST", kCheck, findings({}));
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(kSentence);
        QVERIFY(TestEnv::waitFor([&] { return page.liveCount() == 0; }));
        page.setMode(CorrectorModel::Mode::Rephrase);
        page.setText(kSentence + QStringLiteral(" Voilà."));
        QCOMPARE(page.liveCount(), -1);
        QTest::qWait(CorrectorModel::liveDelayMs + 300);
        QCOMPARE(grammar_->count(kCheck), 1);
    }

    void correctRun()
    {
        grammar_->on("POST", kCheck, findings({finding(kSentence, QStringLiteral("a"), QStringLiteral("à"), QStringLiteral("TYPOS"))}));
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(kSentence);
        page.run();
        QVERIFY(page.working());
        QVERIFY(!page.canRun());
        QVERIFY(TestEnv::waitFor([&] { return !records().isEmpty(); }, 8000));
        QVERIFY(!page.working());
        QVERIFY(!page.explaining());
        QVERIFY(page.hasAnalysis());
        QCOMPARE(page.finalText(), kFixed);
        QCOMPARE(page.highlights(), (QList<int>{18, 1}));
        QCOMPARE(page.score(), 58);
        QCOMPARE(page.fixesTitle(), QStringLiteral("1 correction"));
        QCOMPARE(page.fixes()->count(), 1);
        const QModelIndex row = page.fixes()->index(0);
        QCOMPARE(row.data(FixListModel::OriginalRole).toString(), QStringLiteral("a"));
        QCOMPARE(row.data(FixListModel::CorrectionRole).toString(), QStringLiteral("à"));
        QCOMPARE(row.data(FixListModel::KindRole).toString(), QStringLiteral("Orthographe"));
        QCOMPARE(row.data(FixListModel::ExplanationRole).toString(), QStringLiteral("Confusion entre « a » et « à »."));
        // The grammar service explained it already: no explanation request.
        QCOMPARE(explanationRequests(), 0);

        const CorrectionRecord saved = records().first();
        QCOMPARE(saved.action, QStringLiteral("Corriger"));
        QCOMPARE(saved.appName, QStringLiteral("Ombry Voice"));
        QCOMPARE(saved.bundleID.value_or(QString()), QStringLiteral("com.corvanel.ombryvoice"));
        QCOMPARE(saved.original, kSentence);
        QCOMPARE(saved.result, kFixed);
        QCOMPARE(saved.fixes.size(), 1);
        QCOMPARE(saved.fixes.first().original, QStringLiteral("a"));
        QVERIFY(logText().contains(QStringLiteral("correcteur: Corriger, 25 caractères")));

        // The score counts the words of the text as it is now: 1 fix in 6 + 6 words.
        QSignalSpy scores(&page, &CorrectorModel::scoreChanged);
        page.setText(kSentence + QStringLiteral(" Et encore quelques mots de plus."));
        QCOMPARE(page.score(), 79);
        QCOMPARE(scores.count(), 1);
    }

    void unexplainedFixesAreExplained()
    {
        grammar_->on("POST", kCheck, findings({}));
        explanations_ = {ScriptedReply::json(explanationsReply({QStringLiteral("On écrit « à » devant un lieu.")}))};
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        QSignalSpy resets(page.fixes(), &QAbstractItemModel::modelReset);
        QSignalSpy rows(page.fixes(), &QAbstractItemModel::dataChanged);
        page.setText(kSentence);
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return !records().isEmpty(); }, 8000));
        QCOMPARE(explanationRequests(), 1);
        QCOMPARE(page.fixes()->index(0).data(FixListModel::ExplanationRole).toString(), QStringLiteral("On écrit « à » devant un lieu."));
        QCOMPARE(page.fixes()->index(0).data(FixListModel::KindRole).toString(), QStringLiteral("Accord"));
        QCOMPARE(resets.size(), 2);     // the reset of the run, the new analysis
        QCOMPARE(rows.size(), 1);       // the explanation changed the row in place
        QCOMPARE(records().first().fixes.first().explanation, QStringLiteral("On écrit « à » devant un lieu."));
        QVERIFY(!page.explaining());
    }

    void nothingToCorrect()
    {
        grammar_->on("POST", kCheck, findings({}));
        answer_ = kFixed;
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(kFixed);
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return !page.working(); }, 8000));
        QVERIFY(page.hasAnalysis());
        QCOMPARE(page.fixCount(), 0);
        QCOMPARE(page.fixesTitle(), QStringLiteral("Aucune faute"));
        QCOMPARE(page.score(), 100);
        QTest::qWait(200);
        QCOMPARE(explanationRequests(), 0);
        QVERIFY(records().isEmpty());
    }

    void ignoring()
    {
        const QString text = QStringLiteral("Je vais à Paris puis a Lyon.");
        grammar_->on("POST", kCheck, findings({}));
        answer_ = QStringLiteral("Je vais à Paris, puis à Lyon.");
        explanations_ = {ScriptedReply::json(explanationsReply({QStringLiteral("Virgule."), QStringLiteral("Préposition.")}))};
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(text);
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return !records().isEmpty(); }, 8000));
        QCOMPARE(page.fixCount(), 2);
        QSignalSpy resets(page.fixes(), &QAbstractItemModel::modelReset);
        QSignalSpy rows(page.fixes(), &QAbstractItemModel::dataChanged);

        const QString second = page.fixes()->index(1).data(FixListModel::IdRole).toString();
        page.toggleFix(second);
        QCOMPARE(page.finalText(), QStringLiteral("Je vais à Paris, puis a Lyon."));
        QVERIFY(page.anyIgnored());
        QVERIFY(page.fixes()->index(1).data(FixListModel::IgnoredRole).toBool());
        QVERIFY(!page.fixes()->index(0).data(FixListModel::IgnoredRole).toBool());

        page.toggleAll(); // some ignored: accept all
        QCOMPARE(page.finalText(), QStringLiteral("Je vais à Paris, puis à Lyon."));
        QVERIFY(!page.anyIgnored());
        page.toggleAll(); // none ignored: ignore all
        QCOMPARE(page.finalText(), text);
        QCOMPARE(page.highlights(), QList<int>{});
        QCOMPARE(page.score(), 29); // every fix still counts: 2 in 7 words

        page.copy(page.finalText());
        QCOMPARE(Clipboard::text().value_or(QString()), text);
        QVERIFY(page.copied());
        QVERIFY(TestEnv::waitFor([&] { return !page.copied(); }, 4000));

        QCOMPARE(resets.size(), 0);
        QCOMPARE(rows.size(), 1 + 1 + 2); // one toggle, one row accepted, two ignored
    }

    void replaceAndClear()
    {
        grammar_->on("POST", kCheck, findings({}));
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(kSentence);
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return !records().isEmpty(); }, 8000));
        page.replace(page.finalText());
        QCOMPARE(page.text(), kFixed);
        QVERIFY(!page.hasAnalysis());
        QCOMPARE(page.fixes()->count(), 0);
        page.clear();
        QCOMPARE(page.text(), QString());
        QCOMPARE(page.wordCountText(), QStringLiteral("0 mot"));
        QCOMPARE(page.liveCount(), -1);
    }

    void rewrite_data()
    {
        QTest::addColumn<CorrectorModel::Mode>("mode");
        QTest::addColumn<QString>("tone");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("title");
        QTest::newRow("shorter") << CorrectorModel::Mode::Rephrase << "concise" << "Plus court" << "Plus court";
        QTest::newRow("formal") << CorrectorModel::Mode::Rephrase << "formal" << "Plus formel" << "Plus formel";
        QTest::newRow("email") << CorrectorModel::Mode::Rephrase << "email" << "Email pro" << "Email pro";
        QTest::newRow("summary, whatever the tone") << CorrectorModel::Mode::Summary << "friendly" << "Résumer" << "Résumé";
    }
    void rewrite()
    {
        QFETCH(CorrectorModel::Mode, mode);
        QFETCH(QString, tone);
        QFETCH(QString, action);
        QFETCH(QString, title);
        answer_ = QStringLiteral("Il est parti à Lyon.");
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setMode(mode);
        page.setTone(tone);
        page.setText(kSentence);
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return !page.working(); }, 8000));
        QVERIFY(page.hasRewrite());
        QVERIFY(!page.hasAnalysis());
        QCOMPARE(page.rewritten(), answer_);
        QCOMPARE(page.rewriteTitle(), title);
        QCOMPARE(cloud_->count(kChat), 1);
        QCOMPARE(grammar_->count(kCheck), 0);
        QCOMPARE(records().size(), 1);
        QCOMPARE(records().first().action, action);
        QCOMPARE(records().first().result, answer_);
        QVERIFY(records().first().fixes.isEmpty());
        const QString expected =
            Analyzer::rewriteSystem(*textActionFromRawValue(mode == CorrectorModel::Mode::Summary ? QStringLiteral("summary") : tone),
                                    QStringLiteral("français"), QStringLiteral("anglais"));
        QCOMPARE(systemOf(cloud_->requests(kChat).first()), expected);
    }

    void toneRetitlesWithoutRunning()
    {
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setMode(CorrectorModel::Mode::Rephrase);
        page.setText(kSentence);
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return page.hasRewrite(); }, 8000));
        QCOMPARE(page.rewriteTitle(), QStringLiteral("Plus formel"));
        page.setTone(QStringLiteral("clearer"));
        QCOMPARE(page.rewriteTitle(), QStringLiteral("Plus clair"));
        QVERIFY(page.hasRewrite());
        page.setTone(QStringLiteral("translate")); // not a chip
        QCOMPARE(page.tone(), QStringLiteral("clearer"));
        QTest::qWait(200);
        QCOMPARE(cloud_->count(kChat), 1);
        page.setMode(CorrectorModel::Mode::Summary);
        QVERIFY(!page.hasRewrite());
    }

    void failure_data()
    {
        QTest::addColumn<CorrectorModel::Mode>("mode");
        QTest::newRow("correct") << CorrectorModel::Mode::Correct;
        QTest::newRow("rephrase") << CorrectorModel::Mode::Rephrase;
        QTest::newRow("summary") << CorrectorModel::Mode::Summary;
    }
    void failure()
    {
        QFETCH(CorrectorModel::Mode, mode);
        TestEnv::settings()->setUseLanguageTool(false);
        answerStatus_ = 500;
        // The on-device model that takes over a failed correction is not there either.
        qputenv("OMBRY_LOCAL_LLM_URL", "http://127.0.0.1:9");
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setMode(mode);
        page.setText(kSentence);
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return !page.working(); }, 8000));
        QVERIFY(!page.error().isEmpty());
        QVERIFY(!page.hasAnalysis() && !page.hasRewrite());
        QVERIFY(records().isEmpty());
        QVERIFY(logText().contains(QStringLiteral("correcteur: ") + page.error()));
        if (mode != CorrectorModel::Mode::Correct)
            QCOMPARE(page.error(), QStringLiteral("OpenRouter : erreur 500"));

        // The next run clears the error when it starts.
        answerStatus_ = 200;
        page.run();
        QVERIFY(page.error().isEmpty());
        QVERIFY(TestEnv::waitFor([&] { return records().size() == 1; }, 8000));
        QVERIFY(page.hasAnalysis() || page.hasRewrite());
    }

    // A second run of the same text while the first one's explanation is still on its
    // way: the late explanation neither replaces the second's fixes nor the ignores.
    void lateExplanationOfAnEarlierRun()
    {
        grammar_->on("POST", kCheck, findings({}));
        ScriptedReply first = ScriptedReply::json(explanationsReply({QStringLiteral("Ancienne.")}));
        first.delayMs = 1000;
        ScriptedReply second = ScriptedReply::json(explanationsReply({QStringLiteral("Nouvelle.")}));
        second.delayMs = 2500;
        explanations_ = {first, second};
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(kSentence);
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return page.explaining(); }, 8000));
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return page.hasAnalysis() && page.explaining(); }, 8000));
        page.toggleFix(page.fixes()->index(0).data(FixListModel::IdRole).toString());
        QCOMPARE(page.finalText(), kSentence);

        // The first run's explanation: saved with its record, not shown.
        QVERIFY(TestEnv::waitFor([&] { return records().size() == 1; }, 8000));
        QCOMPARE(records().first().fixes.first().explanation, QStringLiteral("Ancienne."));
        QVERIFY(page.explaining());
        QCOMPARE(page.fixes()->index(0).data(FixListModel::ExplanationRole).toString(), QString());
        QVERIFY(page.anyIgnored());
        QCOMPARE(page.finalText(), kSentence);

        QVERIFY(TestEnv::waitFor([&] { return records().size() == 2; }, 8000));
        QVERIFY(!page.explaining());
        QCOMPARE(page.fixes()->index(0).data(FixListModel::ExplanationRole).toString(), QStringLiteral("Nouvelle."));
        QVERIFY(page.anyIgnored());
        page.toggleAll();
        page.toggleAll();
        QCOMPARE(page.finalText(), kSentence);
    }

    void pageGoesDuringARun()
    {
        grammar_->on("POST", kCheck, findings({}));
        answerDelayMs_ = 400;
        auto page = std::make_unique<CorrectorModel>(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page->setText(kSentence);
        page->run();
        QVERIFY(cloud_->waitForRequests(1, 5000, kChat));
        page.reset();
        QVERIFY(TestEnv::waitFor([&] { return !records().isEmpty(); }, 8000));
        QCOMPARE(records().first().result, kFixed);
    }

    void modeChangeResets()
    {
        grammar_->on("POST", kCheck, findings({}));
        CorrectorModel page(TestEnv::settings(), TestEnv::store(), TestEnv::keys());
        page.setText(kSentence);
        page.run();
        QVERIFY(TestEnv::waitFor([&] { return !records().isEmpty(); }, 8000));
        QSignalSpy result(&page, &CorrectorModel::resultChanged);
        page.setMode(CorrectorModel::Mode::Summary);
        QVERIFY(!page.hasAnalysis());
        QCOMPARE(page.fixes()->count(), 0);
        QCOMPARE(result.size(), 1);
        QCOMPARE(page.runLabel(), QStringLiteral("Résumer"));
        QCOMPARE(page.text(), kSentence);
    }
};

OMBRY_TEST_GUI_MAIN(TestCorrectorModel)
#include "tst_corrector_model.moc"
