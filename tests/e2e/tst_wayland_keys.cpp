#include "app/Startup.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "shell/SingleInstance.h"
#include "support/TestEnv.h"
#include "support/WaylandWindows.h"

#include <QProcess>

#include <atomic>

// The keys of a compositor that runs programs from its own bindings: sway runs
// `ombry-voice --action NAME` on the press and release of keys typed with wtype,
// and the running copy (this test's controller, wired as the program wires it)
// records, cancels and acts on the selection as the keys do on X11.
using namespace Qt::StringLiterals;

namespace {

class StubRecorder final : public DictationRecorder
{
public:
    std::atomic<int> starts{0};
    void start() override { ++starts; }
    Recording stop() override { return {QByteArray("RIFF-wav"), 1.0, QByteArray(32000, '\1'), 1234}; }
    bool warmUp() override { return true; }
    QByteArray pcm(qint64, qint64) override { return {}; }
};

std::atomic<int> gRoads{0};

QCoro::Task<> road(DictationController *controller, DictationController::RoadRun run)
{
    ++gRoads;
    controller->finishRoad(run.seq);
    co_return;
}

// One key binding of the compositor.
bool bind(const QString &binding)
{
    QProcess p;
    p.start(u"swaymsg"_s, {binding});
    return p.waitForFinished(5000) && p.exitCode() == 0;
}

bool type(const QStringList &arguments)
{
    QProcess p;
    p.start(u"wtype"_s, arguments);
    if (!p.waitForStarted(5000))
        return false;
    // The event loop runs meanwhile: the actions arrive while keys are held.
    const bool done = TestEnv::waitFor([&] { return p.state() == QProcess::NotRunning; }, 20000);
    return done && p.exitCode() == 0;
}

} // namespace

class TestWaylandKeys : public QObject
{
    Q_OBJECT

    std::unique_ptr<DictationController> c_;
    std::unique_ptr<SingleInstance> instance_;
    StubRecorder *recorder_ = nullptr;
    QStringList hooks_;

    static QString log()
    {
        Log::waitUntilWritten();
        return QString::fromUtf8(TestEnv::readFile(Log::path()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!WaylandWindows::session())
            QSKIP("needs the Wayland desktop (scripts/session --wayland)");
        TestEnv::settings()->setKey(DictationKey::RightControl);
        TestEnv::settings()->setSounds(false);

        DictationController::Services services;
        services.road = road;
        services.makeRecorder = [this] {
            auto r = std::make_unique<StubRecorder>();
            recorder_ = r.get();
            return r;
        };
        services.hasDeepgramKey = [] { return false; };
        services.microphoneAvailable = [] { return true; };
        services.trusted = [] { return true; };
        services.pasteLast = [this](DictationController *) { hooks_ << u"recoller"_s; };
        services.speakSelection = [this](DictationController *) { hooks_ << u"lire"_s; };
        services.correctSelection = [this](DictationController *, bool copied, bool translate) {
            hooks_ << (translate ? u"traduire"_s : u"corriger"_s) + (copied ? u" copié"_s : QString());
        };
        c_ = std::make_unique<DictationController>(TestEnv::settings(), services);
        c_->hotkey().setRoute(SessionRoutes::Keys::Actions);
        c_->start();
        QVERIFY(log().contains(u"hotkey: touches par les raccourcis du compositeur (ombry-voice --action)"_s));

        instance_ = std::make_unique<SingleInstance>(QDBusConnection::sessionBus());
        QCOMPARE(instance_->claim(), SingleInstance::Outcome::Primary);
        Startup::wireActions(*instance_, c_.get());

        // The lines a sway user writes in their configuration.
        const QString run = QStringLiteral("exec " OMBRY_BINARY " --action ");
        QVERIFY(bind(u"bindsym --no-repeat Control_R "_s + run + u"dictee-debut"_s));
        QVERIFY(bind(u"bindsym --release Control_R "_s + run + u"dictee-fin"_s));
        QVERIFY(bind(u"bindsym --no-repeat F8 "_s + run + u"dictee-basculer"_s));
        QVERIFY(bind(u"bindsym Escape "_s + run + u"annuler"_s));
        QVERIFY(bind(u"bindsym Ctrl+Mod1+c "_s + run + u"corriger"_s));
        QVERIFY(bind(u"bindsym Ctrl+Mod1+r "_s + run + u"lire"_s));
    }

    void cleanupTestCase()
    {
        instance_.reset();
        c_.reset();
    }

    void keys_data()
    {
        QTest::addColumn<QStringList>("wtype");
        QTest::addColumn<QStringList>("actions");    // as the running copy received them
        QTest::addColumn<int>("recordings");         // recordings started
        QTest::addColumn<int>("roads");              // recordings that went on to be processed
        QTest::addColumn<QStringList>("hooks");
        const auto chord = [](const QString &key) {
            return QStringList{u"-M"_s, u"ctrl"_s, u"-M"_s, u"alt"_s, u"-k"_s, key, u"-m"_s, u"alt"_s, u"-m"_s, u"ctrl"_s};
        };
        QTest::newRow("Ctrl droit maintenu")
            << QStringList{u"-P"_s, u"Control_R"_s, u"-s"_s, u"1200"_s, u"-p"_s, u"Control_R"_s}
            << QStringList{u"dictee-debut"_s, u"dictee-fin"_s} << 1 << 1 << QStringList{};
        QTest::newRow("deux frappes : sans les mains")
            << QStringList{u"-k"_s, u"F8"_s, u"-s"_s, u"1000"_s, u"-k"_s, u"F8"_s}
            << QStringList{u"dictee-basculer"_s, u"dictee-basculer"_s} << 1 << 1 << QStringList{};
        QTest::newRow("Échap pendant la dictée")
            << QStringList{u"-k"_s, u"F8"_s, u"-s"_s, u"800"_s, u"-k"_s, u"Escape"_s}
            << QStringList{u"dictee-basculer"_s, u"annuler"_s} << 1 << 0 << QStringList{};
        QTest::newRow("Échap hors dictée") << QStringList{u"-k"_s, u"Escape"_s} << QStringList{u"annuler"_s} << 0 << 0
                                           << QStringList{};
        QTest::newRow("Ctrl+Alt+C") << chord(u"c"_s) << QStringList{u"corriger"_s} << 0 << 0 << QStringList{u"corriger"_s};
        QTest::newRow("Ctrl+Alt+R") << chord(u"r"_s) << QStringList{u"lire"_s} << 0 << 0 << QStringList{u"lire"_s};
    }

    void keys()
    {
        QFETCH(QStringList, wtype);
        QFETCH(QStringList, actions);
        QFETCH(int, recordings);
        QFETCH(int, roads);
        QFETCH(QStringList, hooks);
        hooks_.clear();
        gRoads = 0;
        const int startsBefore = recorder_ ? recorder_->starts.load() : 0;
        const qsizetype logBefore = log().size();
        const auto received = [&] {
            QStringList names;
            const QString lines = log().mid(logBefore);
            for (const QString &line : lines.split(u'\n'))
                if (const qsizetype at = line.indexOf(u"touche: action "_s); at >= 0)
                    names << line.mid(at + 15);
            return names;
        };
        QVERIFY(type(wtype));
        QVERIFY2(TestEnv::waitFor([&] { return received() == actions; }, 10000), qPrintable(log().mid(logBefore)));
        QVERIFY(TestEnv::waitFor([&] {
            return c_->state() == DictationController::State::Idle && gRoads == roads && hooks_.size() == hooks.size();
        }));
        QCOMPARE((recorder_ ? recorder_->starts.load() : 0) - startsBefore, recordings);
        QCOMPARE(hooks_, hooks);
        QCOMPARE(int(gRoads), roads);
    }
};

OMBRY_TEST_GUI_MAIN(TestWaylandKeys)
#include "tst_wayland_keys.moc"
