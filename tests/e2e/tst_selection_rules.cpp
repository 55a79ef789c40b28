#include "dictation/BubbleController.h"
#include "dictation/Paster.h"
#include "dictation/ProcessingRoad.h"
#include "dictation/SelectionActions.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "model/Store.h"
#include "platform/Clipboard.h"
#include "support/FakeSelectionHost.h"
#include "support/TestEnv.h"
#include "tools/test_editor_cloud.h"

#include <QApplication>

#include <stdexcept>

// The selection actions' rules with the desktop replaced: keys are recorded,
// the clipboard is this process's own, the engines are fakes.
class TestSelectionRules : public QObject
{
    Q_OBJECT

    EditorCloud cloud;
    FakeSelectionHost host;
    QList<quint16> posted;
    bool keyPosted = true;
    bool keyThrows = false;
    // The desktop as the paster sees it: whether the user's copy series took the
    // clipboard, the front application's PRIMARY, the focused element, a terminal.
    bool userCopied = true;
    std::optional<QString> primary;
    Accessibility::FocusRead focus;
    QString targetClass;
    std::unique_ptr<Paster> paster;

    void act(bool alreadyCopied, bool translate)
    {
        SelectionActions::correctSelection(&host, alreadyCopied, translate);
        QVERIFY(TestEnv::waitFor([&] { return host.state == FakeSelectionHost::State::Idle; }, 8000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        cloud.corrections.insert(QStringLiteral("Il a mangé des pomme hier"), QStringLiteral("Il a mangé des pommes hier."));
        cloud.corrections.insert(QStringLiteral("Tout est juste."), QStringLiteral("Tout est juste."));
        QVERIFY(cloud.start());
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
        TestEnv::settings()->setTranslateTarget(QStringLiteral("anglais"));
        PasteDesktop desktop;
        desktop.post = [this](quint16 key, quint64) {
            posted << key;
            if (keyThrows)
                throw std::runtime_error("serveur X perdu");
            return keyPosted;
        };
        desktop.targetClass = [this] { return targetClass; };
        desktop.modifiers = [] { return quint64(0); };
        desktop.frontmostName = [] { return QStringLiteral("Test"); };
        desktop.frontPrimary = [this] { return primary; };
        desktop.readFocus = [this]() -> QCoro::Task<Accessibility::FocusRead> { co_return focus; };
        desktop.clipboardTakenSince = [this](quint64) { return userCopied; };
        desktop.copySeriesStart = [] { return quint64(1); };
        paster = std::make_unique<Paster>(desktop);
        // No key reaches a window here, so no target fetches: the restore comes
        // at the end of the wait.
        paster->setRestoreDelay(1000);
    }

    void init()
    {
        host = {};
        host.pasterInUse = paster.get();
        posted.clear();
        keyPosted = true;
        keyThrows = false;
        userCopied = true;
        primary.reset();
        focus = {};
        targetClass.clear();
        paster->flushRestore();
        TestEnv::own<BubbleController>()->close();
    }

    void correctionReplacesTheSelection_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("flash");
        QTest::addColumn<int>("records");
        QTest::addColumn<QList<quint16>>("keys");
        QTest::newRow("a fault") << "Il a mangé des pomme hier" << "Texte corrigé" << 1 << QList<quint16>{Paster::kKeyV};
        // Nothing pasted: the formatted text in the document stays as it is.
        QTest::newRow("nothing to fix") << "Tout est juste." << "Aucune faute" << 0 << QList<quint16>{};
    }
    void correctionReplacesTheSelection()
    {
        QFETCH(QString, selected);
        QFETCH(QString, flash);
        QFETCH(int, records);
        QFETCH(QList<quint16>, keys);
        Clipboard::setText(selected); // the user's own Ctrl+C
        const qsizetype before = TestEnv::store()->fixes().size();
        act(true, false);
        QCOMPARE(host.calls, (QStringList{QStringLiteral("begin 0"), QStringLiteral("show ") + flash}));
        QCOMPARE(posted, keys);
        QCOMPARE(TestEnv::store()->fixes().size(), before + records);
        QVERIFY(TestEnv::waitFor([&] { return Clipboard::text() == selected; }, 2000));
    }

    // The paste key refused by the desktop: the user is told, not shown success.
    void pasteKeyRefusedIsAFailure_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("correction") << "correct"
                                    << QStringList{QStringLiteral("begin 0"), QStringLiteral("fail ") + Road::pasteFailed()};
        QTest::newRow("last dictation again") << "paste last" << QStringList{QStringLiteral("fail ") + Road::pasteFailed()};
    }
    void pasteKeyRefusedIsAFailure()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, calls);
        keyPosted = false;
        if (action == QLatin1String("correct")) {
            Clipboard::setText(QStringLiteral("Il a mangé des pomme hier"));
            act(true, false);
        } else {
            bool done = false;
            [](SelectionHost *h, bool *flag) -> QCoro::Task<> {
                QCoro::Task<> pasting = SelectionActions::runPasteLast(h, QStringLiteral("La dernière dictée."));
                co_await std::move(pasting);
                *flag = true;
            }(&host, &done);
            QVERIFY(TestEnv::waitFor([&] { return done; }, 5000));
        }
        QCOMPARE(posted, QList<quint16>{Paster::kKeyV});
        QCOMPARE(host.calls, calls);
    }

    // An action ended by an exception is logged and shown like any failure, and
    // the controller is idle again.
    void exceptionIsShown_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("log");
        const QString failed = QStringLiteral("fail serveur X perdu");
        QTest::newRow("last dictation again") << "paste last" << QStringList{failed}
                                              << "collage échoué: dernière dictée, serveur X perdu";
        QTest::newRow("correction") << "correct" << QStringList{QStringLiteral("begin 0"), failed}
                                    << "correction échouée: serveur X perdu";
        QTest::newRow("translation") << "translate" << QStringList{QStringLiteral("begin 1"), failed}
                                     << "traduction échouée: serveur X perdu";
        QTest::newRow("read aloud") << "speak" << QStringList{failed} << "lecture échouée: serveur X perdu";
    }
    void exceptionIsShown()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, calls);
        QFETCH(QString, log);
        keyThrows = true;
        if (action == QLatin1String("paste last")) {
            Dictation last;
            last.id = QUuid::createUuid();
            last.date = QDateTime::currentDateTimeUtc();
            last.finalText = QStringLiteral("La dernière dictée.");
            TestEnv::store()->add(last);
            SelectionActions::pasteLast(&host);
        } else if (action == QLatin1String("speak")) {
            SelectionActions::speakSelection(&host);
        } else {
            // A text to correct, so that the paste is tried.
            Clipboard::setText(QStringLiteral("Il a mangé des pomme hier"));
            SelectionActions::correctSelection(&host, true, action == QLatin1String("translate"));
        }
        QVERIFY2(TestEnv::waitFor([&] { return host.calls.size() == calls.size(); }, 8000), qPrintable(host.calls.join(u'|')));
        QTest::qWait(100);
        QCOMPARE(host.calls, calls);
        QVERIFY(host.state == FakeSelectionHost::State::Idle);
        Log::waitUntilWritten();
        QVERIFY2(TestEnv::readFile(Log::path()).contains(log.toUtf8()), qPrintable(log));
    }

    void nothingSelectedRestoresTheClipboard()
    {
        Clipboard::setText(QStringLiteral("à garder"));
        act(false, false);
        QCOMPARE(host.calls, (QStringList{QStringLiteral("begin 0"), QStringLiteral("fail Aucun texte sélectionné")}));
        QCOMPARE(posted, QList<quint16>{Paster::kKeyC});
        QCOMPARE(Clipboard::text(), std::optional<QString>(QStringLiteral("à garder")));
    }

    // A copy series whose copy did not happen (a terminal's Ctrl+C): what the
    // clipboard holds is older than the selection and goes nowhere.
    void staleClipboardIsNeverTheSelection_data()
    {
        QTest::addColumn<bool>("translate");
        QTest::newRow("twice: correction") << false;
        QTest::newRow("three times: translation") << true;
    }
    void staleClipboardIsNeverTheSelection()
    {
        QFETCH(bool, translate);
        const QString secret = QStringLiteral("Mot de passe du wifi : hunter2");
        Clipboard::setText(secret);
        userCopied = false;
        const qsizetype requests = cloud.http.requests().size();
        act(true, translate);
        QCOMPARE(host.calls, (QStringList{QStringLiteral("begin %1").arg(translate),
                                          QStringLiteral("fail Aucun texte sélectionné")}));
        QVERIFY(posted.isEmpty());
        QCOMPARE(cloud.http.requests().size(), requests);
        QCOMPARE(Clipboard::text(), std::optional<QString>(secret));
    }

    // A result that cannot replace the selection (a terminal's output,
    // read-only text) is shown in the bubble; nothing is typed or copied there.
    void resultGoesToTheBubbleWhenItCannotBePutBack_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("translate");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("result");
        const QString fault = QStringLiteral("Il a mangé des pomme hier");
        // A fragment (no final stop) gets none added.
        const QString fixed = QStringLiteral("Il a mangé des pommes hier");
        QTest::newRow("terminal, correction") << "xterm" << fault << false << QStringList{QStringLiteral("begin 0")}
                                              << "Correction proposée" << fixed;
        QTest::newRow("read-only text, correction") << "" << fault << false << QStringList{QStringLiteral("begin 0")}
                                                    << "Correction proposée" << fixed;
        QTest::newRow("terminal, translation") << "lxterminal" << fault << true << QStringList{QStringLiteral("begin 1")}
                                               << "Traduit en anglais" << cloud.translation;
        QTest::newRow("terminal, nothing to fix") << "xterm" << "Tout est juste." << false
                                                  << QStringList{QStringLiteral("begin 0"), QStringLiteral("show Aucune faute")}
                                                  << "" << "";
    }
    void resultGoesToTheBubbleWhenItCannotBePutBack()
    {
        QFETCH(QString, target);
        QFETCH(QString, selected);
        QFETCH(bool, translate);
        QFETCH(QStringList, calls);
        QFETCH(QString, title);
        QFETCH(QString, result);
        Clipboard::setText(QStringLiteral("presse-papiers"));
        targetClass = target;
        if (target.isEmpty()) {
            focus.selected = selected;
            focus.editable = false;
        } else {
            primary = selected;
        }
        act(false, translate);
        QCOMPARE(host.calls, calls);
        QVERIFY(posted.isEmpty());
        BubbleController *bubble = TestEnv::own<BubbleController>();
        QCOMPARE(bubble->visible(), !title.isEmpty());
        if (!title.isEmpty()) {
            QCOMPARE(bubble->title(), title);
            QCOMPARE(bubble->text(), result);
            QCOMPARE(bubble->original(), selected);
        }
        QCOMPARE(Clipboard::text(), std::optional<QString>(QStringLiteral("presse-papiers")));
    }

    void refusedWithoutTrustOrWhenBusy()
    {
        host.isTrusted = false;
        SelectionActions::correctSelection(&host, true, false);
        QCOMPARE(host.calls, QStringList{QStringLiteral("fail Accessibilité non autorisée")});
        host = {};
        host.state = FakeSelectionHost::State::Busy;
        SelectionActions::correctSelection(&host, true, true);
        SelectionActions::pasteLast(&host);
        QTest::qWait(200);
        QVERIFY(host.calls.isEmpty());
        QVERIFY(posted.isEmpty());
    }

    void engineFailureIsShown()
    {
        FakeHttpService broken;
        QVERIFY(broken.start());
        broken.setHandler([](const RecordedRequest &) { return ScriptedReply::text("panne", 500); });
        const QByteArray previous = qgetenv("OMBRY_HOSTED_URL");
        qputenv("OMBRY_HOSTED_URL", broken.url(QStringLiteral("/")).toUtf8());
        Clipboard::setText(QStringLiteral("Bonjour tout le monde, comment allez-vous ?"));
        act(true, true);
        qputenv("OMBRY_HOSTED_URL", previous);
        QCOMPARE(host.calls.size(), 2);
        // The cloud failed and so did the on-device stand-in: its message is shown.
        QVERIFY2(host.calls[1].startsWith(QStringLiteral("fail ")) && host.calls[1].size() > 5, qPrintable(host.calls[1]));
        QVERIFY(posted.isEmpty());
        QCOMPARE(Clipboard::text(), std::optional<QString>(QStringLiteral("Bonjour tout le monde, comment allez-vous ?")));
    }

    void bubbleLanguage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("language");
        QTest::newRow("French to English") << "Le chat dort sur le canapé du salon depuis ce matin, et personne ne veut le réveiller avant le déjeuner." << "anglais" << "anglais";
        QTest::newRow("English with English target") << "The cat has been sleeping on the sofa since this morning." << "anglais" << "français";
        QTest::newRow("French with French target") << "Le chat dort sur le canapé du salon depuis ce matin, et personne ne veut le réveiller avant le déjeuner." << "français" << "anglais";
    }
    void bubbleLanguage()
    {
        QFETCH(QString, text);
        QFETCH(QString, target);
        QFETCH(QString, language);
        QCOMPARE(SelectionActions::bubbleLanguage(text, target), language);
    }
};

OMBRY_TEST_ROOT_MAIN(TestSelectionRules)
#include "tst_selection_rules.moc"
