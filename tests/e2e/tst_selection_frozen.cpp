#include "dictation/Paster.h"
#include "dictation/SelectionActions.h"
#include "model/AppSettings.h"
#include "platform/Accessibility.h"
#include "platform/SelectionOwners.h"
#include "support/FakeSelectionHost.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"
#include "tools/test_editor_cloud.h"

#include <QApplication>
#include <QTimer>

#include <csignal>

// The selection actions while the focused application has stopped answering
// (SIGSTOP): their accessibility questions wait on the worker, and the main
// thread keeps serving events until the answer, or the timeout, comes.
class TestSelectionFrozen : public QObject
{
    Q_OBJECT

    EditorCloud cloud;
    DesktopTools::Editor editor;
    FakeSelectionHost host;
    QList<quint16> posted;
    // Server time of the user's copy series, which the seeded clipboard follows.
    quint64 seriesStart = 0;
    std::unique_ptr<Paster> paster;

    bool freeze(int sig) { return ::kill(pid_t(editor.pid()), sig) == 0; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(cloud.start());
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
        TestEnv::settings()->setTranslateTarget(QStringLiteral("anglais"));
        PasteDesktop desktop;
        // Keys are only recorded: a frozen window would take them much later.
        desktop.post = [this](quint16 key, quint64) {
            posted << key;
            return true;
        };
        desktop.targetClass = [] { return QString(); };
        desktop.modifiers = [] { return quint64(0); };
        desktop.frontmostName = [] { return QStringLiteral("Éditeur"); };
        desktop.copySeriesStart = [this] { return seriesStart; };
        paster = std::make_unique<Paster>(desktop);
        QVERIFY(editor.start(QString(), QStringLiteral("Une étiquette.")));
        Accessibility::warmUp();
        QVERIFY(TestEnv::waitFor([] { return Accessibility::available(); }, 5000));
    }

    void init()
    {
        host = {};
        host.pasterInUse = paster.get();
        posted.clear();
        // The editor answers, with its selection, until it is frozen.
        QVERIFY(editor.send(QStringLiteral("set Texte figé")));
        QVERIFY(editor.send(QStringLiteral("select-editor")));
        QVERIFY(TestEnv::waitFor([] { return Accessibility::selectedText() == QStringLiteral("Texte figé"); }, 10000));
    }

    void cleanup()
    {
        freeze(SIGCONT);
        paster->flushRestore();
    }

    void mainThreadRunsWhileAsking_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QList<quint16>>("keys");
        // Nothing read, nothing copied: the user is told.
        QTest::newRow("read aloud") << "speak" << QStringList{QStringLiteral("fail Aucun texte sélectionné")}
                                    << QList<quint16>{Paster::kKeyC};
        QTest::newRow("copy the selection") << "copy" << QStringList{QStringLiteral("copié ")}
                                            << QList<quint16>{Paster::kKeyC};
        // Whether the element takes text is unknown: the translation is pasted.
        QTest::newRow("translation of a copied text")
            << "translate" << QStringList{QStringLiteral("begin 1"), QStringLiteral("show Texte traduit")}
            << QList<quint16>{Paster::kKeyV};
    }

    void mainThreadRunsWhileAsking()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, calls);
        QFETCH(QList<quint16>, keys);
        seriesStart = SelectionOwners::serverTime();
        if (action == QLatin1String("translate"))
            QVERIFY(DesktopTools::seedClipboard(QStringLiteral("Le chat dort sur le canapé du salon.")));

        // Counts the main thread's turns taken while a query waits for its answer.
        int turnsWhileAsking = 0;
        QTimer turn;
        turn.setInterval(5);
        connect(&turn, &QTimer::timeout, this, [&] {
            if (Accessibility::waiting() > 0)
                ++turnsWhileAsking;
        });
        turn.start();
        const auto done = [&] {
            return host.calls.size() == calls.size() && host.state == FakeSelectionHost::State::Idle;
        };

        QVERIFY(freeze(SIGSTOP));
        if (action == QLatin1String("speak")) {
            SelectionActions::speakSelection(&host);
        } else if (action == QLatin1String("copy")) {
            [](Paster *p, FakeSelectionHost *h) -> QCoro::Task<> {
                QCoro::Task<std::optional<QString>> copying = p->copySelection();
                const std::optional<QString> copied = co_await std::move(copying);
                h->calls << QStringLiteral("copié ") + copied.value_or(QString());
            }(paster.get(), &host);
        } else {
            SelectionActions::correctSelection(&host, true, true);
        }
        const bool finished = TestEnv::waitFor(done, 20000);
        QVERIFY(freeze(SIGCONT));
        turn.stop();
        QVERIFY2(finished, qPrintable(host.calls.join(u'|')));
        QCOMPARE(host.calls, calls);
        QCOMPARE(posted, keys);
        QVERIFY2(turnsWhileAsking > 0, "the main thread stood still while the application was asked");
        QCOMPARE(Accessibility::waiting(), 0);
    }
};

OMBRY_TEST_ROOT_MAIN(TestSelectionFrozen)
#include "tst_selection_frozen.moc"
