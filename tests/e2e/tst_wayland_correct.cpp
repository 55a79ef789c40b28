#include "app/Startup.h"
#include "core/Log.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "platform/FrontmostApp.h"
#include "platform/KeyPoster.h"
#include "platform/WaylandToplevels.h"
#include "shell/SingleInstance.h"
#include "support/AtspiReader.h"
#include "support/TestEnv.h"
#include "support/WaylandWindows.h"
#include "tools/test_editor_cloud.h"

#include <QApplication>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// A selection in a native Wayland editor (made over AT-SPI), corrected
// through `ombry-voice --action corriger` handed to the running copy: the
// correction replaces the selection, the rest of the text stays, and the
// clipboard the user had comes back.
class TestWaylandCorrect : public QObject
{
    Q_OBJECT

    EditorCloud cloud_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<WaylandWindows::SeatKeyboard> keyboard_;

    static bool run(const QString &program, const QStringList &arguments)
    {
        QProcess p;
        p.start(program, arguments);
        if (!p.waitForStarted(5000))
            return false;
        // The event loop runs meanwhile: the running copy is this process.
        const bool done = TestEnv::waitFor([&] { return p.state() == QProcess::NotRunning; }, 20000);
        return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    static QString journal()
    {
        Log::waitUntilWritten();
        return QString::fromUtf8(TestEnv::readFile(Log::path()));
    }

    static QStringList texts(const AtspiReader &reader)
    {
        QStringList found;
        for (const AtspiReader::Node &node : reader.all(u"text"_s))
            found << node.text;
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!WaylandWindows::session())
            QSKIP("needs the Wayland desktop (scripts/session --wayland)");
        cloud_.corrections.insert(u"Il a mangé des pomme hier"_s, u"Il a mangé des pommes hier."_s);
        cloud_.corrections.insert(u"somme"_s, u"sommes"_s);
        QVERIFY(cloud_.start());
        AppSettings *settings = TestEnv::settings();
        settings->setRewriteEngine(RewriteEngine::OpenRouter);
        settings->setSounds(false);
        keyboard_ = std::make_unique<WaylandWindows::SeatKeyboard>();
        QVERIFY(keyboard_->ok());
        KeyPoster::prepare({});

        DictationController *controller = TestEnv::own<DictationController>();
        QVERIFY(controller);
        controller->start();
        instance_ = std::make_unique<SingleInstance>(QDBusConnection::sessionBus());
        QCOMPARE(instance_->claim(), SingleInstance::Outcome::Primary);
        Startup::wireActions(*instance_, controller);
    }

    void cleanupTestCase()
    {
        instance_.reset();
        keyboard_.reset();
    }

    void correctsTheSelection_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("expected");
        QTest::newRow("la dernière ligne") << u"Première ligne intacte.\nIl a mangé des pomme hier"_s
                                           << u"Il a mangé des pomme hier"_s
                                           << u"Première ligne intacte.\nIl a mangé des pommes hier"_s;
        QTest::newRow("un mot au milieu") << u"Nous somme partis tôt."_s << u"somme"_s << u"Nous sommes partis tôt."_s;
    }
    void correctsTheSelection()
    {
        QFETCH(QString, content);
        QFETCH(QString, selected);
        QFETCH(QString, expected);
        const QByteArray users = "presse-papiers de l'utilisateur";
        const WaylandWindows::Window owner = WaylandWindows::serve(u"org.ombry.copieur"_s, false, users);
        QVERIFY(owner);

        QTemporaryDir dir;
        const QString file = dir.filePath(u"texte.txt"_s);
        QVERIFY(TestEnv::writeFile(file, content.toUtf8()));
        const WaylandWindows::Window gedit =
            WaylandWindows::start(u"env"_s, {u"GDK_BACKEND=wayland"_s, u"gedit"_s, u"--new-window"_s, file});
        std::optional<WaylandToplevels::Toplevel> window;
        QVERIFY(TestEnv::waitFor([&] {
            const std::optional<RunningApp> front = FrontmostApp::current();
            window = WaylandToplevels::active();
            return front && front->wmInstance == u"gedit"_s && window && window->title.contains(u"texte.txt"_s);
        }, 15000));
        const AtspiReader reader(window->title, gedit->processId());
        std::optional<AtspiReader::Node> view;
        QVERIFY(TestEnv::waitFor([&] {
            for (const AtspiReader::Node &node : reader.all(u"text"_s))
                if (node.text == content && node.states.contains(u"focused"_s))
                    view = node;
            return view.has_value();
        }, 10000));
        // No surrogate pairs here: QString indexes are the characters AT-SPI counts.
        const qsizetype at = content.indexOf(selected);
        QVERIFY(at >= 0);
        QVERIFY(reader.select(*view, int(at), int(at + selected.size())));

        const qsizetype logged = journal().size();
        QVERIFY(run(QStringLiteral(OMBRY_BINARY), {u"--action"_s, u"corriger"_s}));
        // The editor's text as a screen reader reads it, in the window whose
        // title now says it was changed.
        QStringList seen;
        QVERIFY2(TestEnv::waitFor([&] {
            window = WaylandToplevels::active();
            if (!window || !window->title.startsWith(u'*'))
                return false;
            seen = texts(AtspiReader(window->title, gedit->processId()));
            return seen.contains(expected);
        }, 10000), qPrintable(seen.join(u'|') + u'\n' + journal().mid(logged)));
        DictationController *controller = TestEnv::own<DictationController>();
        QVERIFY(TestEnv::waitFor([&] { return controller->state() == DictationController::State::Idle; }, 5000));
        std::optional<QByteArray> clipboard;
        QVERIFY2(TestEnv::waitFor([&] {
            return (clipboard = WaylandWindows::read(u"org.ombry.lecteur"_s, false)) == users;
        }, 8000), clipboard ? clipboard->constData() : "(rien)");
    }
};

OMBRY_TEST_ROOT_MAIN(TestWaylandCorrect)
#include "tst_wayland_correct.moc"
