#include "app/Application.h"
#include "fakes/FakeHttpService.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "pages/CorrectorModel.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/QmlWindow.h"
#include "support/TestEnv.h"
#include "text/Analyzer.h"
#include "tools/test_editor_client.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QUrlQuery>

#include <algorithm>

namespace {

const QString kTitle = QStringLiteral("Ombry Voice — correcteur");
const QString kChat = QStringLiteral("/api/v1/chat/completions");
const QString kCheck = QStringLiteral("/v2/check");
const QString kSentence = QStringLiteral("Il est déjà parti a Lyon.");
const QString kTwice = QStringLiteral("Je vais à Paris puis a Lyon.");
const QString kWhy = QStringLiteral("Devant un nom de ville, on écrit la préposition « à ».");

QJsonArray messagesOf(const RecordedRequest &request)
{
    return request.json().value(QStringLiteral("messages")).toArray();
}

bool isRewrite(const RecordedRequest &request)
{
    const QString system = messagesOf(request).at(0)[QStringLiteral("content")].toString();
    for (const TextAction action : allTextActions())
        if (system == Analyzer::rewriteSystem(action, QStringLiteral("français"), QStringLiteral("anglais")))
            return true;
    return false;
}

bool isExplanation(const RecordedRequest &request)
{
    return messagesOf(request).at(0)[QStringLiteral("content")].toString().startsWith(QStringLiteral("Tu es professeur"));
}

QString formText(const RecordedRequest &request)
{
    QByteArray body = request.body;
    return QUrlQuery(QString::fromUtf8(body.replace('+', ' '))).queryItemValue(QStringLiteral("text"), QUrl::FullyDecoded);
}

QString journal()
{
    Log::waitUntilWritten();
    return QString::fromUtf8(TestEnv::readFile(Log::path()));
}

QJsonArray storedFixes()
{
    TestEnv::store()->flush();
    return QJsonDocument::fromJson(TestEnv::readFile(Store::folder() + QStringLiteral("/fixes.json"))).array();
}

} // namespace

// The corrector page on the private desktop, read and driven over AT-SPI as a
// screen reader would, against fake grammar and model services.
class TestCorrectorPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    std::unique_ptr<QQuickWindow> window_;
    FakeHttpService grammar_;
    FakeHttpService cloud_;
    int rewriteStatus_ = 200;
    int modelDelayMs_ = 0;
    QStringList freshShown_; // read once for every row of freshPage

    AtspiReader reader() const { return AtspiReader(kTitle); }

    int rewrites() const
    {
        int n = 0;
        for (const RecordedRequest &r : cloud_.requests(kChat))
            n += isRewrite(r) ? 1 : 0;
        return n;
    }

    // The names and texts of what is on screen now (hidden items stay on the bus).
    QStringList shown() const
    {
        QStringList out;
        for (const AtspiReader::Node &node : reader().nodes())
            if (node.states.contains(QStringLiteral("showing")))
                out << node.name << node.text;
        return out;
    }

    bool showsText(const QString &text, int timeoutMs = 8000) const
    {
        return TestEnv::waitFor([&] { return shown().contains(text); }, timeoutMs);
    }

    // Waits for one reading of the screen that shows every one of `texts`; the
    // last reading goes to `reading` for further checks. A reading of the whole
    // tree is slow under load: one serves several checks.
    bool showsAll(const QStringList &texts, QStringList *reading = nullptr, int timeoutMs = 8000) const
    {
        QStringList now;
        const bool all = TestEnv::waitFor([&] {
            now = shown();
            return std::all_of(texts.begin(), texts.end(), [&](const QString &text) { return now.contains(text); });
        }, timeoutMs);
        if (reading)
            *reading = now;
        return all;
    }

    // The page's state: what a press started shows there at once, before any request leaves.
    CorrectorModel *corrector() const { return window_ ? window_->findChild<CorrectorModel *>() : nullptr; }

    QQuickItem *item(const QString &objectName) const
    {
        return window_ ? window_->findChild<QQuickItem *>(objectName) : nullptr;
    }

    void openWindow()
    {
        QString error;
        window_ = QmlWindow::open(root_->engine(), QStringLiteral("CorrectorWindow.qml"), &error);
        QVERIFY2(window_, qPrintable(error));
        window_->requestActivate();
        QVERIFY(reader().find(QString(), QStringLiteral("Correcteur"), 10000));
    }

    // Clicks into the editor and pastes `text` from another client's clipboard.
    void paste(const QString &text)
    {
        const auto editor = reader().find(QString(), QStringLiteral("Texte à corriger"));
        QVERIFY(editor);
        const QPoint centre = editor->extents.center();
        DesktopTools::run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(centre.x()),
                                                      QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1")});
        QVERIFY(DesktopTools::seedClipboard(text));
        QVERIFY(DesktopTools::key(QStringLiteral("ctrl+v")));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        QVERIFY(grammar_.start() && cloud_.start());
        qputenv("OMBRY_LANGUAGETOOL_URL", grammar_.url().toUtf8());
        qputenv("OMBRY_OPENROUTER_URL", cloud_.url().toUtf8());
        grammar_.setHandler([](const RecordedRequest &request) {
            const QString text = formText(request);
            const qsizetype at = text.indexOf(QStringLiteral(" a ")) + 1;
            QJsonArray matches;
            if (at > 0)
                matches.append(QJsonObject{
                    {QStringLiteral("offset"), at},
                    {QStringLiteral("length"), 1},
                    {QStringLiteral("message"), kWhy},
                    {QStringLiteral("replacements"), QJsonArray{QJsonObject{{QStringLiteral("value"), QStringLiteral("à")}}}},
                    {QStringLiteral("rule"), QJsonObject{{QStringLiteral("category"),
                                                          QJsonObject{{QStringLiteral("id"), QStringLiteral("TYPOS")},
                                                                      {QStringLiteral("name"), QStringLiteral("Fautes de frappe")}}}}},
                });
            return ScriptedReply::json(QJsonObject{{QStringLiteral("matches"), matches}});
        });
        cloud_.setHandler([this](const RecordedRequest &request) {
            const QString user = messagesOf(request).at(1)[QStringLiteral("content")].toString();
            ScriptedReply reply;
            if (isRewrite(request)) {
                reply = rewriteStatus_ == 200 ? ScriptedReply::json(chatCompletion(QStringLiteral("Parti à Lyon.")))
                                              : ScriptedReply::text("service en panne", rewriteStatus_);
            } else if (user.contains(QStringLiteral("Je vais à Paris"))) {
                reply = ScriptedReply::json(chatCompletion(QStringLiteral("Je vais à Paris, puis à Lyon.")));
            } else if (isExplanation(request)) {
                reply = ScriptedReply::json(chatCompletion(QStringLiteral("{\"items\": [{\"kind\": \"ponctuation\", \"explanation\": \"Une virgule sépare les deux étapes.\"}]}")));
            } else {
                reply = ScriptedReply::json(chatCompletion(QStringLiteral("Il est déjà parti à Lyon.")));
            }
            reply.delayMs = modelDelayMs_;
            return reply;
        });
        root_ = std::make_unique<Application>();
        root_->keys()->setKeys({{APIService::OpenRouter, QStringLiteral("sk-test")}});
        AppSettings *settings = root_->settings();
        settings->setRewriteEngine(RewriteEngine::OpenRouter);
        settings->setUseLanguageTool(true);
        settings->setCorrectionScopeRaw(15);
        settings->setPunctuation(PunctuationLevel::Light);
        settings->setLanguage(Language::Fr);
        settings->setTheme(Ombry::Theme::Light);
        settings->setTranslateTarget(QStringLiteral("anglais"));
        openWindow();
    }

    void cleanupTestCase()
    {
        window_.reset();
        root_.reset();
    }

    void freshPage_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text : {"Correcteur", "Corriger", "Reformuler", "Résumer", "Colle ou écris ton texte",
                                 "Ponctuation légère · à changer dans Réglages", "0 mot"})
            QTest::newRow(text) << QString::fromUtf8(text);
    }
    void freshPage()
    {
        QFETCH(QString, text);
        if (freshShown_.isEmpty())
            freshShown_ = shown();
        QVERIFY2(freshShown_.contains(text), qPrintable(freshShown_.join(QLatin1Char('|'))));
    }

    void runButtonDisabledWhenEmpty()
    {
        QVERIFY(item(QStringLiteral("runButton")));
        QVERIFY(!item(QStringLiteral("runButton"))->isEnabled());
        QVERIFY(reader().act(QStringLiteral("push button"), QStringLiteral("Corriger"), QStringLiteral("Press")));
        QVERIFY(corrector());
        QVERIFY(!corrector()->working());
        QCOMPARE(grammar_.count(kCheck) + cloud_.count(), 0);
        QVERIFY(!shown().contains(QStringLiteral("Texte corrigé")));
    }

    void pastingCountsAndChecksOnce()
    {
        paste(kSentence);
        QVERIFY(showsAll({QStringLiteral("6 mots"), QStringLiteral("1 faute repérée")}));
        QCOMPARE(grammar_.count(kCheck), 1);
        QCOMPARE(formText(grammar_.requests(kCheck).first()), kSentence);
        QVERIFY(item(QStringLiteral("runButton"))->isEnabled());
    }

    // Ctrl+Return runs from anywhere on the page, the editor left.
    void correctingWithTheKeyboard()
    {
        item(QStringLiteral("correctorEditor"))->setFocus(false);
        QVERIFY(!item(QStringLiteral("correctorEditor"))->hasActiveFocus());
        QVERIFY(DesktopTools::key(QStringLiteral("ctrl+Return")));
        const QStringList result = {QStringLiteral("Texte corrigé"), QStringLiteral("Il est déjà parti à Lyon."),
                                    QStringLiteral("58"), QStringLiteral("100 / 100 après correction"),
                                    QStringLiteral("1 correction"), QStringLiteral("Orthographe"), kWhy};
        QStringList texts;
        showsAll(result, &texts);
        for (const QString &expected : result)
            QVERIFY2(texts.contains(expected), qPrintable(expected + QStringLiteral(" in ") + texts.join(QLatin1Char('|'))));
        QVERIFY(item(QStringLiteral("score")));
        QCOMPARE(item(QStringLiteral("score"))->property("color").value<QColor>(), QColor(QStringLiteral("#D70015")));

        QVERIFY(TestEnv::waitFor([] { return !TestEnv::store()->fixes().isEmpty(); }, 5000));
        const QJsonObject saved = storedFixes().at(0).toObject();
        QCOMPARE(saved.value(QStringLiteral("action")).toString(), QStringLiteral("Corriger"));
        QCOMPARE(saved.value(QStringLiteral("appName")).toString(), QStringLiteral("Ombry Voice"));
        QCOMPARE(saved.value(QStringLiteral("original")).toString(), kSentence);
        const QJsonObject fix = saved.value(QStringLiteral("fixes")).toArray().at(0).toObject();
        QCOMPARE(fix.value(QStringLiteral("original")).toString(), QStringLiteral("a"));
        QCOMPARE(fix.value(QStringLiteral("correction")).toString(), QStringLiteral("à"));
        QVERIFY(journal().contains(QStringLiteral("correcteur: Corriger, 25 caractères")));

        Screenshots::inBothThemes(QStringLiteral("corrector-result"), [this] { return Screenshots::scene(window_.get()); });
    }

    // Every fix ignored, the copy is the text as it was typed.
    void ignoringAllThenCopying_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fixes");
        QTest::addColumn<QString>("enter");
        QTest::newRow("the letters of the fix earlier in the text") << kSentence << "1 correction" << "";
        QTest::newRow("two fixes, keypad Enter") << kTwice << "2 corrections" << "ctrl+KP_Enter";
    }
    void ignoringAllThenCopying()
    {
        QFETCH(QString, text);
        QFETCH(QString, fixes);
        QFETCH(QString, enter);
        if (!enter.isEmpty()) {
            QVERIFY(reader().act(QStringLiteral("push button"), QStringLiteral("Effacer")));
            QVERIFY(showsText(QStringLiteral("0 mot")));
            paste(text);
            QVERIFY(showsText(QStringLiteral("7 mots")));
            QVERIFY(DesktopTools::key(enter));
        }
        QStringList result = {fixes};
        if (!enter.isEmpty())
            result << QStringLiteral("Je vais à Paris, puis à Lyon.");
        QVERIFY(showsAll(result));
        QVERIFY(reader().act(QStringLiteral("push button"), QStringLiteral("Tout ignorer")));
        QVERIFY(showsAll({QStringLiteral("Tout accepter"), QStringLiteral("Rétablir")}));
        QVERIFY(reader().act(QStringLiteral("push button"), QStringLiteral("Copier")));
        QVERIFY(showsText(QStringLiteral("Copié")));
        QCOMPARE(QString::fromUtf8(DesktopTools::readClipboard().out), text);
        QVERIFY(showsText(QStringLiteral("Copier"), 4000));
    }

    void rephrasing()
    {
        const qsizetype before = TestEnv::store()->fixes().size();
        QVERIFY(reader().act(QString(), QStringLiteral("Reformuler"), QStringLiteral("Press")));
        QStringList rephrase;
        QVERIFY(showsAll({QStringLiteral("Plus court")}, &rephrase));
        QVERIFY(!rephrase.contains(QStringLiteral("Texte corrigé")));
        QVERIFY(reader().act(QString(), QStringLiteral("Plus court"), QStringLiteral("Press")));
        QVERIFY(reader().act(QStringLiteral("push button"), QStringLiteral("Reformuler")));
        QVERIFY(showsText(QStringLiteral("Parti à Lyon.")));
        QCOMPARE(rewrites(), 1);
        QCOMPARE(TestEnv::store()->fixes().size(), before + 1);
        QCOMPARE(storedFixes().at(0).toObject().value(QStringLiteral("action")).toString(), QStringLiteral("Plus court"));
        Screenshots::inBothThemes(QStringLiteral("corrector-rewrite"), [this] { return Screenshots::scene(window_.get()); });

        // Another tone retitles the result; nothing is sent.
        QVERIFY(reader().act(QString(), QStringLiteral("Plus formel"), QStringLiteral("Press")));
        QVERIFY(TestEnv::waitFor([this] { return reader().find(QStringLiteral("heading"), QStringLiteral("Plus formel"), 500).has_value(); }, 5000));
        QVERIFY(!corrector()->working());
        QCOMPARE(rewrites(), 1);

        // The service fails: the red line, nothing saved.
        rewriteStatus_ = 500;
        QVERIFY(reader().act(QStringLiteral("push button"), QStringLiteral("Reformuler")));
        QVERIFY(showsText(QStringLiteral("OpenRouter : erreur 500")));
        QVERIFY(item(QStringLiteral("errorLine")));
        QCOMPARE(item(QStringLiteral("errorLine"))->property("color").value<QColor>(), QColor(QStringLiteral("#D70015")));
        QCOMPARE(TestEnv::store()->fixes().size(), before + 1);
        rewriteStatus_ = 200;
    }

    // With the result cleared, the most frequent changes of the history.
    void frequentMistakes()
    {
        QVERIFY(reader().act(QStringLiteral("push button"), QStringLiteral("Effacer")));
        const QStringList card = {QStringLiteral("Mes fautes fréquentes"), QStringLiteral("a"), QStringLiteral("à"),
                                  QStringLiteral("× 2"), QStringLiteral("Paris"), QStringLiteral("Paris,"), QStringLiteral("× 1")};
        QStringList texts;
        showsAll(card, &texts);
        for (const QString &expected : card)
            QVERIFY2(texts.contains(expected), qPrintable(expected + QStringLiteral(" in ") + texts.join(QLatin1Char('|'))));
        QVERIFY(!texts.contains(QStringLiteral("Parti à Lyon.")));
        Screenshots::inBothThemes(QStringLiteral("corrector-frequent"), [this] { return Screenshots::scene(window_.get()); });
    }

    void leavingDuringARun()
    {
        paste(kTwice);
        QVERIFY(showsText(QStringLiteral("7 mots")));
        const qsizetype before = TestEnv::store()->fixes().size();
        modelDelayMs_ = 1000;
        const int sent = cloud_.count();
        QVERIFY(reader().act(QStringLiteral("push button"), QStringLiteral("Reformuler")));
        QVERIFY(cloud_.waitForRequests(sent + 1, 5000));
        window_.reset();
        QVERIFY(TestEnv::waitFor([&] { return TestEnv::store()->fixes().size() == before + 1; }, 8000));
        QCOMPARE(TestEnv::store()->fixes().first().action, QStringLiteral("Plus formel"));
        modelDelayMs_ = 0;
    }
};

OMBRY_TEST_APP_MAIN(TestCorrectorPage)
#include "tst_corrector_page.moc"
