// The text diagnostic switches, run in the built program against fake services.
#include "fakes/FakeHttpService.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QUrlQuery>

namespace {

const QString kChat = QStringLiteral("/api/v1/chat/completions");
const QString kLocalChat = QStringLiteral("/v1/chat/completions");
const QString kCheck = QStringLiteral("/v2/check");
const QString kText = QStringLiteral("Je suis allé a la plage hier soir");

QJsonObject completion(const QString &content)
{
    return QJsonObject{
        {QStringLiteral("choices"), QJsonArray{QJsonObject{{QStringLiteral("message"), QJsonObject{{QStringLiteral("content"), content}}}}}},
        {QStringLiteral("usage"), QJsonObject{{QStringLiteral("cost"), 0.0005}}},
    };
}

QPair<QString, QString> messages(const RecordedRequest &request)
{
    const QJsonArray list = request.json().value(QStringLiteral("messages")).toArray();
    return {list.at(0)[QStringLiteral("content")].toString(), list.at(1)[QStringLiteral("content")].toString()};
}

QString model(const RecordedRequest &request)
{
    return request.json().value(QStringLiteral("model")).toString();
}

} // namespace

class TestTextSwitches : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScopedHome> home_;
    FakeHttpService *cloud_ = nullptr;
    FakeHttpService *local_ = nullptr;
    FakeHttpService *grammar_ = nullptr;

    void setDefaults(const QJsonObject &values)
    {
        const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Ombry Voice/com.corvanel.ombryvoice.json");
        QVERIFY(TestEnv::writeFile(path, QJsonDocument(values).toJson()));
    }

    // Runs the program with `arguments`; its standard output lines.
    QStringList run(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OMBRY_OPENROUTER_URL"), cloud_->url());
        env.insert(QStringLiteral("OMBRY_LANGUAGETOOL_URL"), grammar_->url());
        env.insert(QStringLiteral("OMBRY_LOCAL_LLM_URL"), local_->url(QStringLiteral("/v1")));
        env.insert(QStringLiteral("OPENROUTER_API_KEY"), QStringLiteral("sk-test"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(OMBRY_BINARY), arguments);
        // The fakes live in this process: keep its event loop turning while the program runs.
        const bool finished = TestEnv::waitFor([&] { return process.state() == QProcess::NotRunning; }, 60000);
        if (!finished) {
            process.kill();
            process.waitForFinished();
        }
        [&] {
            QVERIFY2(finished, "the program did not end");
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 0);
        }();
        return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QJsonArray costs() const
    {
        const QString path = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Ombry Voice/costs.json");
        return QJsonDocument::fromJson(TestEnv::readFile(path)).array();
    }

    QString journal() const
    {
        return QString::fromUtf8(TestEnv::readFile(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Ombry Voice/journal.log")));
    }

private Q_SLOTS:
    void init()
    {
        home_ = std::make_unique<ScopedHome>();
        cloud_ = new FakeHttpService(this);
        local_ = new FakeHttpService(this);
        grammar_ = new FakeHttpService(this);
        QVERIFY(cloud_->start() && local_->start() && grammar_->start());
        local_->on("GET", QStringLiteral("/v1/models"),
                   ScriptedReply::json(QJsonObject{{QStringLiteral("data"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("local")}}}}}));
    }

    void cleanup()
    {
        delete cloud_;
        delete local_;
        delete grammar_;
        home_.reset();
    }

    void correct()
    {
        setDefaults({{QStringLiteral("rewriteEngine"), QStringLiteral("openRouter")},
                     {QStringLiteral("openRouterModel"), QStringLiteral("test/model")},
                     {QStringLiteral("ownKeyMode"), true}});
        const qsizetype a = kText.indexOf(QStringLiteral(" a ")) + 1;
        grammar_->on("POST", kCheck, ScriptedReply::json(QJsonObject{{QStringLiteral("matches"), QJsonArray{QJsonObject{
            {QStringLiteral("offset"), a}, {QStringLiteral("length"), 1},
            {QStringLiteral("message"), QStringLiteral("Confusion entre « a » et « à ».")},
            {QStringLiteral("replacements"), QJsonArray{QJsonObject{{QStringLiteral("value"), QStringLiteral("à")}}}},
            {QStringLiteral("rule"), QJsonObject{{QStringLiteral("category"), QJsonObject{{QStringLiteral("id"), QStringLiteral("TYPOS")},
                                                                                        {QStringLiteral("name"), QStringLiteral("Faute de frappe")}}}}},
        }}}}));
        cloud_->setHandler([](const RecordedRequest &request) {
            const QString system = messages(request).first;
            if (system.startsWith(QStringLiteral("Corrige ce texte")))
                return ScriptedReply::json(completion(QStringLiteral("Je suis allé à la plage hier soir.")));
            if (system.startsWith(QStringLiteral("Tu es professeur")))
                return ScriptedReply::json(completion(QStringLiteral(
                    "{\"items\": [{\"kind\": \"ponctuation\", \"explanation\": \"Une phrase finit par un point.\"}]}")));
            return ScriptedReply::json(completion(QStringLiteral("Je me suis rendu à la plage hier soir.")));
        });

        const QStringList lines = run({QStringLiteral("--correct"), kText});
        QCOMPARE(lines.size(), 5);
        QVERIFY2(QRegularExpression(QStringLiteral("^correction en \\d+\\.\\d s$")).match(lines[0]).hasMatch(), qPrintable(lines[0]));
        QVERIFY2(QRegularExpression(QStringLiteral("^analyse \\(\\d+\\.\\d s\\): Je suis allé à la plage hier soir\\.$")).match(lines[1]).hasMatch(),
                 qPrintable(lines[1]));
        QCOMPARE(lines[2], QStringLiteral("  [orthographe] a → à : Confusion entre « a » et « à »."));
        QCOMPARE(lines[3], QStringLiteral("  [ponctuation] soir → soir. : Une phrase finit par un point."));
        QCOMPARE(lines[4], QStringLiteral("formel: Je me suis rendu à la plage hier soir."));

        QByteArray form = grammar_->requests(kCheck).first().body;
        QCOMPARE(QUrlQuery(QString::fromUtf8(form.replace('+', ' '))).queryItemValue(QStringLiteral("level")), QStringLiteral("picky"));

        const QList<RecordedRequest> chats = cloud_->requests(kChat);
        QCOMPARE(chats.size(), 3);
        const auto [system, user] = messages(chats[0]);
        QCOMPARE(model(chats[0]), QStringLiteral("test/model"));
        QVERIFY(system.startsWith(QStringLiteral("Corrige ce texte en français. Corrige uniquement : l'orthographe, la grammaire, "
                                                 "la conjugaison et les accords, la ponctuation, les majuscules et les espaces. "
                                                 "Ponctuation légère :")));
        QCOMPARE(user, QStringLiteral("Je suis allé à la plage hier soir")); // the safe suggestion, no hint left
        QCOMPARE(model(chats[1]), QStringLiteral("google/gemini-2.5-flash"));
        QVERIFY(messages(chats[1]).second.endsWith(QStringLiteral("Corrections :\n1. « soir » → « soir. »")));
        QVERIFY(messages(chats[2]).first.startsWith(QStringLiteral("Réécris ce texte dans un registre plus formel")));

        // Three own-key calls, three spending records saved before the end.
        QCOMPARE(costs().size(), 3);
    }

    void translate()
    {
        setDefaults({{QStringLiteral("rewriteEngine"), QStringLiteral("apple")}});
        cloud_->on("POST", kChat, ScriptedReply::json(completion(QStringLiteral("Bonjour, comment vas-tu aujourd'hui ?"))));
        QStringList lines = run({QStringLiteral("--translate"), QStringLiteral("Hello, how are you today?")});
        QCOMPARE(lines, QStringList{QStringLiteral("traduit: Bonjour, comment vas-tu aujourd'hui ?")});
        const RecordedRequest request = cloud_->requests(kChat).first();
        QCOMPARE(model(request), QStringLiteral("google/gemini-2.5-flash-lite"));
        QVERIFY(messages(request).first.startsWith(QStringLiteral("Traduis ce texte en français.\n")));
        QCOMPARE(messages(request).second, QStringLiteral("Hello, how are you today?"));
        QCOMPARE(costs().size(), 1);

        // The cloud fails: the local model takes over, and the log says so.
        cloud_->on("POST", kChat, ScriptedReply::text("indisponible", 503));
        local_->on("POST", kLocalChat, ScriptedReply::json(completion(QStringLiteral("Bonjour (local)"))));
        lines = run({QStringLiteral("--translate"), QStringLiteral("Hello, how are you today?")});
        QCOMPARE(lines, QStringList{QStringLiteral("traduit: Bonjour (local)")});
        QVERIFY(messages(local_->requests(kLocalChat).first()).first.startsWith(QStringLiteral("Traduis ce texte en français.")));
        QVERIFY(journal().contains(QStringLiteral(" traduction: OpenRouter indisponible, modèle local prend le relais (OpenRouter : erreur 503)\n")));
    }

    void command()
    {
        setDefaults({{QStringLiteral("rewriteEngine"), QStringLiteral("openRouter")},
                     {QStringLiteral("openRouterModel"), QStringLiteral("test/model")}});
        cloud_->on("POST", kChat, ScriptedReply::json(completion(QStringLiteral("les chats dorment"))));
        const QStringList lines = run({QStringLiteral("--command"), QStringLiteral("mets au pluriel"), QStringLiteral("le chat dort")});
        QCOMPARE(lines, QStringList{QStringLiteral("commande: les chats dorment")});
        const RecordedRequest request = cloud_->requests(kChat).first();
        QCOMPARE(model(request), QStringLiteral("google/gemini-2.5-flash-lite"));
        QCOMPARE(messages(request).second, QStringLiteral("Instruction : mets au pluriel\n\nTexte :\nle chat dort"));
        QCOMPARE(costs().size(), 1);
    }

    void failurePrintsError()
    {
        cloud_->on("POST", kChat, ScriptedReply::text("", 500));
        const QStringList lines = run({QStringLiteral("--command"), QStringLiteral("x"), QStringLiteral("y")});
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(QStringLiteral("erreur: ")), qPrintable(lines[0]));
    }
};

OMBRY_TEST_MAIN(TestTextSwitches)
#include "tst_text_switches.moc"
