#include "app/Application.h"
#include "shell/InterfaceKeys.h"
#include "shell/MainWindow.h"
#include "shell/Navigation.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Records.h"
#include "model/Store.h"
#include "fakes/FakeHttpService.h"
#include "settings/SettingsCards.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

QJsonObject prefs(const QString &configHome = {})
{
    if (configHome.isEmpty())
        Defaults::standard();
    const QString folder = configHome.isEmpty() ? Defaults::folder() : configHome + u"/Ombry Voice"_s;
    return QJsonDocument::fromJson(TestEnv::readFile(folder + u"/com.corvanel.ombryvoice.json"_s)).object();
}

// Every name, description and text that a screen reader could get from `reader`'s window.
QStringList everythingSaid(const AtspiReader &reader)
{
    QStringList said;
    for (const AtspiReader::Node &n : reader.nodes())
        said << n.name << n.description << n.text;
    return said;
}

// Clicks the middle of the first node of `role` named `name` shown in `reader`'s window.
bool click(const AtspiReader &reader, const QString &role, const QString &name, int timeoutMs = 3000)
{
    const auto node = reader.find(role, name, timeoutMs);
    if (!node || node->extents.isEmpty())
        return false;
    const QPoint c = node->extents.center();
    // No --sync: it waits for a motion that never comes when the pointer is already there.
    return DesktopTools::run(u"xdotool"_s, {u"mousemove"_s, QString::number(c.x()),
                                            QString::number(c.y()), u"click"_s, u"1"_s}).exitCode == 0;
}

// The program started in a home of its own, as a user starts it.
class Program
{
public:
    explicit Program(const QString &home) : home_(home) {}
    ~Program() { quit(); }

    QString configHome() const { return home_ + u"/.config"_s; }
    QString dataFolder() const { return home_ + u"/.local/share/Ombry Voice"_s; }

    // Preferences found at the first start.
    bool prefer(const QJsonObject &values) const
    {
        const QString folder = configHome() + u"/Ombry Voice"_s;
        return QDir().mkpath(folder)
            && TestEnv::writeFile(folder + u"/com.corvanel.ombryvoice.json"_s, QJsonDocument(values).toJson());
    }

    bool start(const QList<QPair<QString, QString>> &extra = {})
    {
        process_ = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : extra)
            env.insert(name, value);
        env.insert(u"HOME"_s, home_);
        env.insert(u"XDG_CONFIG_HOME"_s, configHome());
        env.insert(u"XDG_DATA_HOME"_s, home_ + u"/.local/share"_s);
        env.insert(u"XDG_CACHE_HOME"_s, home_ + u"/.cache"_s);
        env.insert(u"XDG_STATE_HOME"_s, home_ + u"/.local/state"_s);
        process_->setProcessEnvironment(env);
        process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_->setStandardOutputFile(QProcess::nullDevice());
        process_->start(QStringLiteral(OMBRY_BINARY), {});
        if (!process_->waitForStarted(5000))
            return false;
        reader_ = std::make_unique<AtspiReader>(u"Ombry Voice"_s, process_->processId());
        // The dashboard's status card is there once the window is drawn; a home
        // without a key reads so.
        return TestEnv::waitFor([&] {
            return reader_->find(u"label"_s, u"Prêt"_s, 0) || reader_->find(u"label"_s, u"Clé OpenRouter manquante"_s, 0);
        }, 15000);
    }

    void quit()
    {
        if (!process_)
            return;
        ::kill(pid_t(process_->processId()), SIGTERM);
        if (!process_->waitForFinished(10000))
            process_->kill();
        process_.reset();
    }

    const AtspiReader &reader() const { return *reader_; }

private:
    QString home_;
    std::unique_ptr<QProcess> process_;
    std::unique_ptr<AtspiReader> reader_;
};

// A sound server of the test's own, which it can stop and start again without
// taking sound away from the rest of the suite.
class SoundServer
{
public:
    explicit SoundServer(const QString &folder) : folder_(folder) {}
    ~SoundServer() { stop(); }

    QString address() const { return u"unix:"_s + folder_ + u"/native"_s; }

    bool start()
    {
        if (!QDir().mkpath(folder_ + u"/home"_s) || !QDir().mkpath(folder_ + u"/run"_s)
            || !QFile::setPermissions(folder_ + u"/run"_s, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            return false;
        process_ = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, folder_ + u"/home"_s);
        env.insert(u"XDG_CONFIG_HOME"_s, folder_ + u"/home/.config"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, folder_ + u"/run"_s);
        env.remove(u"PULSE_SERVER"_s);
        process_->setProcessEnvironment(env);
        process_->setStandardOutputFile(QProcess::nullDevice());
        process_->setStandardErrorFile(folder_ + u"/pulse.log"_s, QIODevice::Append);
        process_->start(u"pulseaudio"_s,
                        {u"-n"_s, u"--daemonize=no"_s, u"--exit-idle-time=-1"_s, u"--use-pid-file=no"_s, u"--system=false"_s,
                         u"--load=module-native-protocol-unix auth-anonymous=1 socket="_s + folder_ + u"/native"_s,
                         u"--load=module-null-sink sink_name=testsink"_s,
                         u"--load=module-remap-source master=testsink.monitor source_name=testmic"_s});
        if (!process_->waitForStarted(5000))
            return false;
        return TestEnv::waitFor([this] {
            return process_->state() == QProcess::Running
                && DesktopTools::run(u"pactl"_s, {u"-s"_s, address(), u"info"_s}).exitCode == 0;
        }, 10000);
    }

    void stop()
    {
        if (!process_)
            return;
        process_->terminate();
        if (!process_->waitForFinished(5000))
            process_->kill();
        process_->waitForFinished(5000);
        process_.reset();
    }

    QString log() const { return QString::fromUtf8(TestEnv::readFile(folder_ + u"/pulse.log"_s).right(2000)); }

private:
    QString folder_;
    std::unique_ptr<QProcess> process_;
};

} // namespace

// The account, permissions and advanced tabs and the first-run sheet on the
// private desktop, driven over AT-SPI as a screen reader user would.
class TestSettingsCardsDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    AtspiReader reader_{u"Ombry Voice"_s};
    QTemporaryDir bin_;
    QByteArray path_;

    bool openTab(const QString &label)
    {
        const auto shown = reader_.find(u"page tab"_s, label, 3000);
        if (shown && shown->states.contains(u"checked"_s))
            return true;
        if (!click(reader_, u"page tab"_s, label))
            return false;
        return TestEnv::waitFor([&] {
            const auto tab = reader_.find(u"page tab"_s, label, 0);
            return tab && tab->states.contains(u"checked"_s);
        }, 3000);
    }

    // The text read right after the label `label` in `nodes` (a row's state, a key), "" while not shown.
    static QString readAfter(const QList<AtspiReader::Node> &nodes, const QString &label)
    {
        bool next = false;
        for (const AtspiReader::Node &n : nodes) {
            if (!n.showing() || n.role != u"label"_s)
                continue;
            if (next)
                return n.name;
            next = n.name == label;
        }
        return {};
    }

    bool permissionsRead(const QString &mic, const QString &ax, const QString &audio, int timeoutMs)
    {
        return permissionsRead(reader_, mic, ax, audio, timeoutMs);
    }
    static bool permissionsRead(const AtspiReader &reader, const QString &mic, const QString &ax, const QString &audio,
                                int timeoutMs)
    {
        return TestEnv::waitFor([&] {
            const QList<AtspiReader::Node> nodes = reader.nodes(3000);
            return readAfter(nodes, u"Micro"_s) == mic && readAfter(nodes, u"Accessibilité"_s) == ax
                && readAfter(nodes, u"Audio système (sous-titres d'appel)"_s) == audio;
        }, timeoutMs);
    }

    bool activate()
    {
        QQuickWindow *w = root_->mainWindow()->window();
        w->requestActivate();
        return QTest::qWaitForWindowActive(w);
    }

    // The masked key or "Absente" shown for `service`.
    QString keyShown(const QString &service) const { return readAfter(reader_.nodes(3000), service); }

    static QJsonObject keysFile() { return QJsonDocument::fromJson(TestEnv::readFile(TestEnv::keys()->filePath())).object(); }

    static QStringList dataFiles()
    {
        return {u"history.json"_s, u"words.json"_s,    u"corrections.json"_s, u"fixes.json"_s,
                u"snippets.json"_s, u"costs.json"_s,   u"meetings.json"_s,    u"keys.json"_s};
    }

    // The file dialog opened by "Exporter le journal…", answered with `destination`.
    bool exportTo(const QString &destination)
    {
        if (!reader_.act(u"push button"_s, u"Exporter le journal…"_s))
            return false;
        const AtspiReader dialog(u"Exporter le journal"_s);
        if (!TestEnv::waitFor([&] { return dialog.exists(); }, 5000))
            return false;
        // The proposed name is in the file name field, which has the focus.
        const auto field = dialog.find(QString(), QString(), 0);
        bool proposed = false;
        for (const AtspiReader::Node &n : dialog.nodes())
            proposed = proposed || (n.text == u"Ombry Voice - journal.txt"_s && n.states.contains(u"focused"_s));
        if (!field || !proposed) {
            qWarning() << dialog.texts();
            return false;
        }
        const bool older = QFileInfo::exists(destination);
        if (!DesktopTools::key(u"ctrl+a"_s)
            || DesktopTools::run(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"5"_s, destination}).exitCode != 0
            || !DesktopTools::key(u"Return"_s))
            return false;
        if (older) {
            // An older file is replaced only once the user says so.
            const AtspiReader question(u"Remplacer le fichier ?"_s);
            if (!TestEnv::waitFor([&] { return question.exists(); }, 5000) || !question.act(u"push button"_s, u"Remplacer"_s))
                return false;
        }
        return TestEnv::waitFor([&] { return !dialog.exists(); }, 5000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        QVERIFY2(QProcess::execute(u"pactl"_s, {u"info"_s}) == 0, "run under scripts/session");
        QVERIFY(bin_.isValid());
        path_ = qgetenv("PATH");
        qunsetenv("XDG_CURRENT_DESKTOP");
        Defaults::standard().set(u"onboarded"_s, true);
        Defaults::standard().set(u"settingsTab"_s, u"permissions"_s);
        root_ = std::make_unique<Application>();
        TestEnv::own<Navigation>()->setPage(Navigation::Page::Settings);
        root_->mainWindow()->show();
        QVERIFY(QTest::qWaitForWindowExposed(root_->mainWindow()->window()));
    }

    void cleanup() { qputenv("PATH", path_); }

    void cleanupTestCase() { root_.reset(); }

    // A fresh home: the sheet walks through its three steps, a stray click does
    // not end it, the OpenRouter key is checked and kept, the key picked is
    // stored, and the next start shows nothing.
    void onboardingWalkThrough()
    {
        FakeHttpService cloud;
        QVERIFY(cloud.start());
        cloud.setHandler([](const RecordedRequest &request) {
            return request.header("authorization") == "Bearer sk-or-v1-onboarding-0001"
                ? ScriptedReply::json(QJsonObject{{u"data"_s, QJsonObject{{u"label"_s, u"sk-or-v1-onb...001"_s}}}})
                : ScriptedReply::text("{\"error\":{\"message\":\"User not found.\",\"code\":401}}", 401);
        });
        QTemporaryDir home;
        Program program(home.path());
        QVERIFY(program.start({{u"OMBRY_OPENROUTER_URL"_s, cloud.url()}}));
        const AtspiReader &r = program.reader();
        QVERIFY(r.find(u"heading"_s, u"Bienvenue dans Ombry Voice"_s, 5000));
        QVERIFY(r.find(u"label"_s, u"1 sur 3"_s, 0));
        QVERIFY(r.find(u"label"_s, u"Clé OpenRouter manquante"_s, 0));
        QVERIFY(!r.find(u"push button"_s, u"Retour"_s, 0));

        // A click on the window beside the sheet.
        const QList<AtspiReader::Node> nodes = r.nodes();
        QVERIFY(!nodes.isEmpty());
        const QRect window = nodes.first().extents;
        QVERIFY(!window.isEmpty());
        QVERIFY(DesktopTools::run(u"xdotool"_s, {u"mousemove"_s, u"--sync"_s, QString::number(window.x() + 20),
                                                 QString::number(window.bottom() - 20), u"click"_s, u"1"_s})
                    .exitCode == 0);
        QTest::qWait(300);
        QVERIFY(r.find(u"heading"_s, u"Bienvenue dans Ombry Voice"_s, 0));
        QVERIFY(!prefs(program.configHome()).contains(u"onboarded"_s));

        QVERIFY(r.act(u"push button"_s, u"Continuer"_s));
        QVERIFY(r.find(u"heading"_s, u"Ta clé OpenRouter"_s, 3000));
        QVERIFY(r.find(u"label"_s, u"2 sur 3"_s, 0));
        // A refused key, then the right one.
        for (const QString &key : {u"sk-or-v1-wrong-0000"_s, u"sk-or-v1-onboarding-0001"_s}) {
            QVERIFY(click(r, u"text"_s, u"Clé OpenRouter"_s));
            QVERIFY(DesktopTools::key(u"ctrl+a"_s) && DesktopTools::key(u"BackSpace"_s));
            QVERIFY(DesktopTools::run(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"5"_s, key}).exitCode == 0);
            QVERIFY(r.act(u"push button"_s, u"Vérifier la clé OpenRouter"_s));
            const QString verdict = key.endsWith(u"0001"_s) ? u"Clé valide"_s : u"Clé refusée"_s;
            QVERIFY2(r.find(u"alert"_s, verdict, 5000), qPrintable(r.texts().join(u'|')));
        }
        QVERIFY(TestEnv::waitFor([&] {
            return QJsonDocument::fromJson(TestEnv::readFile(program.dataFolder() + u"/keys.json"_s)).object()
                == QJsonObject{{u"openRouter"_s, u"sk-or-v1-onboarding-0001"_s}};
        }, 3000));
        QVERIFY(r.find(u"label"_s, u"Prêt"_s, 3000));
        QVERIFY(r.act(u"push button"_s, u"Continuer"_s));
        QVERIFY(r.find(u"heading"_s, u"Ta touche de dictée"_s, 3000));
        QVERIFY(r.find(u"label"_s, u"3 sur 3"_s, 0));
        QVERIFY(r.find(u"label"_s, u"Ctrl+C ×2"_s, 0));
        QVERIFY(r.find(u"push button"_s, u"Retour"_s, 0));

        // The settings page's keys: no Fn.
        QVERIFY(click(r, u"combo box"_s, u"Touche"_s));
        QVERIFY(r.find(QString(), u"Super droit"_s, 3000));
        QVERIFY(!r.find(QString(), u"Fn"_s, 0));
        QVERIFY(click(r, QString(), u"Super droit"_s));
        QVERIFY(TestEnv::waitFor([&] { return prefs(program.configHome()).value(u"key"_s) == u"rightCommand"_s; }, 3000));

        QVERIFY(r.act(u"push button"_s, u"Commencer"_s));
        QVERIFY(TestEnv::waitFor([&] { return prefs(program.configHome()).value(u"onboarded"_s) == true; }, 3000));
        QVERIFY(TestEnv::waitFor([&] { return !r.find(u"heading"_s, u"Ta touche de dictée"_s, 0); }, 3000));
        program.quit();

        QVERIFY(program.start({{u"OMBRY_OPENROUTER_URL"_s, cloud.url()}}));
        QVERIFY(!program.reader().find(u"heading"_s, u"Bienvenue dans Ombry Voice"_s, 0));
        QCOMPARE(prefs(program.configHome()).value(u"key"_s).toString(), u"rightCommand"_s);
    }

    // Someone who already dictated is never walked through.
    void onboardingSkippedWithADictation()
    {
        Dictation d;
        d.finalText = u"Bonjour"_s;
        TestEnv::store()->setDictations({d});
        TestEnv::store()->flush();
        TestEnv::store()->waitForIo();
        const QByteArray history = TestEnv::readFile(Store::folder() + u"/history.json"_s);
        TestEnv::store()->setDictations({});
        QVERIFY(!history.isEmpty());

        QTemporaryDir home;
        Program program(home.path());
        QVERIFY(QDir().mkpath(program.dataFolder()));
        QVERIFY(TestEnv::writeFile(program.dataFolder() + u"/history.json"_s, history));
        QVERIFY(program.start());
        QVERIFY(!program.reader().find(u"heading"_s, u"Bienvenue dans Ombry Voice"_s, 0));
        QVERIFY(TestEnv::waitFor([&] { return prefs(program.configHome()).value(u"onboarded"_s) == true; }, 3000));
    }

    // "Autorisé" means the sound server answers, and the X server has what
    // the global keys need.
    void permissionsReadGranted()
    {
        QVERIFY(openTab(u"Autorisations"_s));
        QVERIFY2(permissionsRead(u"Autorisé"_s, u"Autorisé"_s, u"Autorisé"_s, 5000), qPrintable(reader_.texts().join(u'|')));
        int granted = 0;
        for (const AtspiReader::Node &n : reader_.all(u"label"_s))
            granted += n.showing() && n.name == u"Autorisé"_s;
        QCOMPARE(granted, 3);
    }

    // Without a sound server the microphone and the system audio read "Non
    // autorisé" within 3 s while the window goes on answering; they read
    // "Autorisé" again once it is back.
    void permissionsFollowTheSoundServer()
    {
        QTemporaryDir folder;
        SoundServer sound(folder.filePath(u"pulse"_s));
        QVERIFY2(sound.start(), qPrintable(sound.log()));
        Program program(folder.filePath(u"home"_s));
        QVERIFY(program.prefer({{u"onboarded"_s, true}, {u"settingsTab"_s, u"permissions"_s}}));
        QVERIFY(program.start({{u"PULSE_SERVER"_s, sound.address()}}));
        const AtspiReader &r = program.reader();
        const auto showTab = [&r](const QString &label) {
            return r.act(u"page tab"_s, label, u"Press"_s) && TestEnv::waitFor([&] {
                const auto tab = r.find(u"page tab"_s, label, 0);
                return tab && tab->states.contains(u"checked"_s);
            }, 3000);
        };
        QVERIFY(showTab(u"Réglages"_s));
        QVERIFY(showTab(u"Autorisations"_s));
        QVERIFY2(permissionsRead(r, u"Autorisé"_s, u"Autorisé"_s, u"Autorisé"_s, 8000), qPrintable(r.texts().join(u'|')));

        sound.stop();
        QVERIFY2(permissionsRead(r, u"Non autorisé"_s, u"Autorisé"_s, u"Non autorisé"_s, 3000), qPrintable(r.texts().join(u'|')));
        // The window answers while the server is away.
        QVERIFY(showTab(u"Avancé"_s));
        QVERIFY(showTab(u"Autorisations"_s));
        QVERIFY2(permissionsRead(r, u"Non autorisé"_s, u"Autorisé"_s, u"Non autorisé"_s, 3000), qPrintable(r.texts().join(u'|')));

        QVERIFY2(sound.start(), qPrintable(sound.log()));
        QVERIFY2(permissionsRead(r, u"Autorisé"_s, u"Autorisé"_s, u"Autorisé"_s, 5000), qPrintable(r.texts().join(u'|')));
    }

    void openSettings_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("explanation");
        QTest::newRow("microphone: input tab") << u"Micro"_s << true << u"--tab=4\n"_s << QString();
        QTest::newRow("system audio: recording tab")
            << u"Audio système (sous-titres d'appel)"_s << true << u"--tab=2\n"_s << QString();
    }

    // No settings program for the row: no button, and no explanation while granted.
    void openSettingsNotOffered_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("nothing installed") << u"Micro"_s;
        QTest::newRow("accessibility") << u"Accessibilité"_s;
    }

    void openSettingsNotOffered()
    {
        QFETCH(QString, row);
        QTemporaryDir dir(bin_.filePath(u"XXXXXX"_s));
        qputenv("PATH", QFile::encodeName(dir.path()));
        QVERIFY(openTab(u"Autorisations"_s));
        // The next check sees what PATH holds now.
        QVERIFY2(reader_.find(u"label"_s, u"Autorisé"_s, 5000), qPrintable(reader_.texts().join(u'|')));
        QVERIFY(TestEnv::waitFor([&] { return !reader_.find(u"push button"_s, u"Ouvrir le réglage : "_s + row, 0); }, 5000));
        QVERIFY(!reader_.find(u"label"_s, PermissionsModel::soundExplanation(), 0));
        QVERIFY(!reader_.find(u"label"_s, PermissionsModel::sessionExplanation(), 0));
    }

    void openSettings()
    {
        QFETCH(QString, row);
        QFETCH(bool, installed);
        QFETCH(QString, arguments);
        QFETCH(QString, explanation);
        QTemporaryDir dir(bin_.filePath(u"XXXXXX"_s));
        const QString written = dir.filePath(u"pavucontrol.args"_s);
        if (installed) {
            const QString fake = dir.filePath(u"pavucontrol"_s);
            QVERIFY(TestEnv::writeFile(fake, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + QFile::encodeName(written) + "\"\n"));
            QVERIFY(QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        // Nothing but the fake on PATH: a real sound settings program is never started.
        qputenv("PATH", QFile::encodeName(dir.path()));
        QVERIFY(openTab(u"Autorisations"_s));
        QVERIFY(reader_.act(u"push button"_s, u"Ouvrir le réglage : "_s + row));
        if (!arguments.isEmpty())
            QVERIFY(TestEnv::waitFor([&] { return TestEnv::readFile(written) == arguments.toUtf8(); }, 5000));
        if (!explanation.isEmpty()) {
            QVERIFY2(reader_.find(u"label"_s, explanation, 3000), qPrintable(reader_.texts().join(u'|')));
        } else {
            QVERIFY(TestEnv::waitFor([&] {
                return !reader_.find(u"label"_s, PermissionsModel::soundExplanation(), 0)
                    && !reader_.find(u"label"_s, PermissionsModel::sessionExplanation(), 0);
            }, 3000));
        }
        QTest::qWait(200);
        if (arguments.isEmpty())
            QVERIFY(!QFile::exists(written));
    }

    // A key typed with blanks around it is stored trimmed in an owner-only file,
    // shown masked, and never said whole; "Enregistrer" on an untouched field
    // keeps it, "Supprimer" removes it. With no hosted service the rows need no
    // advanced mode; with one they wait behind it.
    void ownKey()
    {
        qunsetenv("OPENROUTER_API_KEY");
        const QString key = u"sk-or-v1-e2e-0123456789abcdef"_s;
        qputenv("OMBRY_HOSTED_URL", "https://127.0.0.1:9/service");
        QVERIFY(openTab(u"Compte"_s));
        QVERIFY(reader_.find(u"check box"_s, u"Mode avancé"_s, 3000));
        QVERIFY(!reader_.find(u"push button"_s, u"Modifier la clé OpenRouter"_s, 0));
        QVERIFY(openTab(u"Général"_s));
        qunsetenv("OMBRY_HOSTED_URL");
        QVERIFY(openTab(u"Compte"_s));
        // The missing OpenRouter key's field waits open; Deepgram's row is closed.
        QVERIFY(reader_.find(u"push button"_s, u"Enregistrer la clé OpenRouter"_s, 3000));
        QVERIFY(reader_.find(u"push button"_s, u"Modifier la clé Deepgram"_s, 0));
        QVERIFY(!reader_.find(u"check box"_s, u"Mode avancé"_s, 0));
        QCOMPARE(keyShown(u"OpenRouter"_s), u"Absente"_s);
        QCOMPARE(keyShown(u"Deepgram"_s), u"Absente"_s);

        QVERIFY(activate());
        QVERIFY(click(reader_, u"text"_s, u"Nouvelle clé OpenRouter"_s));
        QTest::qWait(200);
        QVERIFY(DesktopTools::run(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"5"_s, u"  "_s + key + u"  "_s}).exitCode == 0);
        // While it is typed, the field, found by its name, says bullets only.
        const auto typed = reader_.find(u"text"_s, u"Nouvelle clé OpenRouter"_s, 3000);
        QVERIFY(typed);
        QCOMPARE(typed->text, QString(key.size() + 4, u'•'));
        const QStringList whileTyped = everythingSaid(reader_);
        QQuickWindow *w = root_->mainWindow()->window();
        QCOMPARE(Screenshots::inBothThemes(u"settings-key-typed"_s, [w] { return Screenshots::scene(w); }).size(), 2);
        QVERIFY(std::none_of(whileTyped.cbegin(), whileTyped.cend(),
                             [](const QString &said) { return said.contains(u"0123456789abcdef"_s); }));

        QVERIFY(reader_.act(u"push button"_s, u"Enregistrer la clé OpenRouter"_s));
        QVERIFY(TestEnv::waitFor([&] { return keysFile() == QJsonObject{{u"openRouter"_s, key}}; }, 3000));
        QCOMPARE(QFile::permissions(TestEnv::keys()->filePath())
                     & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
        QVERIFY(TestEnv::waitFor([&] { return keyShown(u"OpenRouter"_s) == u"••••cdef"_s; }, 3000));
        for (const QString &said : everythingSaid(reader_))
            QVERIFY2(!said.contains(u"0123456789abcdef"_s), qPrintable(said));

        // Pasted over what was typed: the paste is what is saved, and the bus
        // never gets it either.
        const QString pasted = u"sk-or-v1-pasted-fedcba9876543210"_s;
        QVERIFY(reader_.act(u"push button"_s, u"Modifier la clé OpenRouter"_s));
        QVERIFY(reader_.find(u"push button"_s, u"Enregistrer la clé OpenRouter"_s, 3000));
        QTest::qWait(200);
        QVERIFY(DesktopTools::run(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"5"_s, u"abc"_s}).exitCode == 0);
        QVERIFY(DesktopTools::seedClipboard(pasted));
        QVERIFY(DesktopTools::key(u"ctrl+a"_s) && DesktopTools::key(u"ctrl+v"_s));
        QVERIFY(TestEnv::waitFor([&] {
            const auto field = reader_.find(u"text"_s, u"Nouvelle clé OpenRouter"_s, 0);
            return field && field->text == QString(pasted.size(), u'•');
        }, 3000));
        for (const QString &said : everythingSaid(reader_))
            QVERIFY2(!said.contains(u"fedcba9876543210"_s), qPrintable(said));
        QVERIFY(DesktopTools::key(u"Return"_s));
        QVERIFY(TestEnv::waitFor([&] { return keysFile() == QJsonObject{{u"openRouter"_s, pasted}}; }, 3000));

        // Opened again and saved untouched: the key stays.
        QVERIFY(reader_.act(u"push button"_s, u"Modifier la clé OpenRouter"_s));
        QVERIFY(reader_.act(u"push button"_s, u"Enregistrer la clé OpenRouter"_s));
        QVERIFY(reader_.find(u"push button"_s, u"Modifier la clé OpenRouter"_s, 3000));
        QCOMPARE(keysFile(), (QJsonObject{{u"openRouter"_s, pasted}}));
        QCOMPARE(keyShown(u"OpenRouter"_s), u"••••3210"_s);

        // Removed on purpose: the key goes.
        QVERIFY(reader_.act(u"push button"_s, u"Modifier la clé OpenRouter"_s));
        QVERIFY(reader_.act(u"push button"_s, u"Supprimer la clé OpenRouter"_s));
        QVERIFY(TestEnv::waitFor([&] { return keysFile().isEmpty() && keyShown(u"OpenRouter"_s) == u"Absente"_s; }, 3000));
        QVERIFY(!TestEnv::keys()->key(APIService::OpenRouter));
    }

    void controlCharactersAreRefused_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::newRow("tab inside") << u"dg-abc\tdef-0123"_s;
        QTest::newRow("bell inside") << u"dg-abc\u0007def-0123"_s;
    }

    void controlCharactersAreRefused()
    {
        QFETCH(QString, pasted);
        QVERIFY(TestEnv::keys()->save(u"dg-stored-key-4321"_s, APIService::Deepgram));
        TestEnv::settings()->setOwnKeyMode(true);
        QVERIFY(openTab(u"Compte"_s));
        QVERIFY(activate());
        QVERIFY(reader_.act(u"push button"_s, u"Modifier la clé Deepgram"_s));
        // The field takes the focus as it opens.
        QVERIFY(reader_.find(u"push button"_s, u"Enregistrer la clé Deepgram"_s, 3000));
        QTest::qWait(200);
        QVERIFY(DesktopTools::seedClipboard(pasted));
        QVERIFY(DesktopTools::key(u"ctrl+v"_s));
        QTest::qWait(200);
        QVERIFY(reader_.act(u"push button"_s, u"Enregistrer la clé Deepgram"_s));
        QVERIFY2(reader_.find(u"alert"_s, u"Clé invalide"_s, 3000), qPrintable(reader_.texts().join(u'|')));
        QCOMPARE(TestEnv::keys()->key(APIService::Deepgram), std::optional<QString>(u"dg-stored-key-4321"_s));
        QCOMPARE(keysFile().value(u"deepgram"_s).toString(), u"dg-stored-key-4321"_s);
        QVERIFY(DesktopTools::key(u"Escape"_s));
        QVERIFY(reader_.find(u"push button"_s, u"Modifier la clé Deepgram"_s, 3000));
    }

    // The journal is copied where the user says, over an older file (the name is
    // typed by xdotool, which drops accented letters).
    void exportJournal()
    {
        Log::write(u"test: ligne pour l'export"_s);
        Log::waitUntilWritten();
        QTemporaryDir out;
        const QString destination = out.filePath(u"journal-exporte.txt"_s);
        QVERIFY(TestEnv::writeFile(destination, "ancien contenu"));
        QVERIFY(openTab(u"Avancé"_s));
        QVERIFY(activate());
        QVERIFY(exportTo(destination));
        Log::waitUntilWritten();
        QVERIFY(TestEnv::waitFor([&] { return TestEnv::readFile(destination).contains("test: ligne pour l'export"); }, 3000));
        QVERIFY(TestEnv::readFile(Log::path()).startsWith(TestEnv::readFile(destination)));
        QVERIFY(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size() == 1);
    }

    // Escape and Return keep everything; only the explicit button erases.
    void eraseAsksFirst()
    {
        Store *store = TestEnv::store();
        Dictation d;
        d.finalText = u"Bonjour"_s;
        store->add(d);
        store->setWords({u"Ombry"_s});
        Correction c;
        c.heard = u"ombri"_s;
        c.written = u"Ombry"_s;
        store->addCorrection(c);
        CorrectionRecord fix;
        fix.action = u"Corriger"_s;
        fix.original = u"a"_s;
        fix.result = u"b"_s;
        store->addFix(fix);
        Snippet s;
        s.trigger = u"ma signature"_s;
        s.text = u"Jean"_s;
        store->addSnippet(s);
        store->addCost(0.01);
        Meeting m;
        m.title = u"Point"_s;
        store->addMeeting(m);
        QVERIFY(TestEnv::keys()->save(u"sk-or-erase-me-1111"_s, APIService::OpenRouter));
        QVERIFY(QDir().mkpath(Store::audioFolder()));
        QVERIFY(TestEnv::writeFile(Store::audioFolder() + u"/enregistrement.wav"_s, "RIFF"));
        store->flush();
        store->waitForIo();
        const QString folder = Store::folder();
        for (const QString &file : dataFiles())
            QVERIFY2(QFile::exists(folder + u'/' + file), qPrintable(file));
        const QJsonObject settingsBefore = prefs();

        QVERIFY(openTab(u"Avancé"_s));
        QVERIFY(activate());
        for (const QString &key : {u"Escape"_s, u"Return"_s}) {
            QVERIFY(reader_.act(u"push button"_s, u"Tout effacer…"_s));
            QVERIFY(reader_.find(u"heading"_s, u"Effacer toutes les données d'Ombry Voice ?"_s, 3000));
            QVERIFY(DesktopTools::key(key));
            QVERIFY2(TestEnv::waitFor([&] {
                return !reader_.find(u"heading"_s, u"Effacer toutes les données d'Ombry Voice ?"_s, 0);
            }, 3000), qPrintable(key));
            store->waitForIo();
            for (const QString &file : dataFiles())
                QVERIFY2(QFile::exists(folder + u'/' + file), qPrintable(key + u' ' + file));
            QVERIFY(QFile::exists(Store::audioFolder() + u"/enregistrement.wav"_s));
            QVERIFY(reader_.find(u"push button"_s, u"Tout effacer…"_s, 0));
        }

        QVERIFY(reader_.act(u"push button"_s, u"Tout effacer…"_s));
        QVERIFY(reader_.act(u"push button"_s, u"Tout effacer"_s));
        QVERIFY(reader_.find(u"push button"_s, u"Effacé"_s, 3000));
        // Disabled: pressing it asks nothing.
        reader_.act(u"push button"_s, u"Effacé"_s);
        QTest::qWait(300);
        QVERIFY(!reader_.find(u"heading"_s, u"Effacer toutes les données d'Ombry Voice ?"_s, 0));
        store->waitForIo();
        for (const QString &file : dataFiles())
            QVERIFY2(!QFile::exists(folder + u'/' + file), qPrintable(file));
        QVERIFY(!QFile::exists(Store::audioFolder() + u"/enregistrement.wav"_s));
        QCOMPARE(prefs(), settingsBefore);
        QVERIFY(store->dictations().isEmpty());
    }

    // Right after an erase there is no journal: the export fails, says so, and
    // the file already at the destination stays as it was.
    void failedExportLeavesTheFile()
    {
        Log::waitUntilWritten();
        QFile::remove(Log::path());
        QTemporaryDir out;
        const QString destination = out.filePath(u"Ombry Voice - journal.txt"_s);
        QVERIFY(TestEnv::writeFile(destination, "le journal d'hier"));
        QVERIFY(openTab(u"Avancé"_s));
        QVERIFY(activate());
        QVERIFY(exportTo(destination));
        QVERIFY(reader_.find(u"alert"_s, u"Le journal n'a pas pu être exporté ; aucun fichier n'a été modifié."_s, 3000));
        QCOMPARE(TestEnv::readFile(destination), QByteArray("le journal d'hier"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Ombry Voice - journal.txt"_s});
    }

    void screenshots_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("name");
        QTest::newRow("account") << u"Compte"_s << u"settings-account"_s;
        QTest::newRow("permissions") << u"Autorisations"_s << u"settings-permissions"_s;
        QTest::newRow("advanced") << u"Avancé"_s << u"settings-advanced"_s;
        QTest::newRow("onboarding") << QString() << u"onboarding"_s;
        QTest::newRow("onboarding key step") << QString() << u"onboarding-key"_s;
    }

    void screenshots()
    {
        QFETCH(QString, tab);
        QFETCH(QString, name);
        TestEnv::settings()->setOwnKeyMode(true);
        if (tab.isEmpty())
            TestEnv::own<InterfaceKeys>()->setOnboarded(false);
        else
            QVERIFY(openTab(tab));
        QQuickWindow *w = root_->mainWindow()->window();
        if (tab.isEmpty())
            QVERIFY(reader_.find(u"heading"_s, u"Bienvenue dans Ombry Voice"_s, 5000));
        if (name == u"onboarding-key"_s) {
            QVERIFY(reader_.act(u"push button"_s, u"Continuer"_s));
            QVERIFY(reader_.find(u"heading"_s, u"Ta clé OpenRouter"_s, 3000));
        }
        const QStringList paths = Screenshots::inBothThemes(name, [w] { return Screenshots::scene(w); });
        TestEnv::own<InterfaceKeys>()->setOnboarded(true);
        QCOMPARE(paths.size(), 2);
        QVERIFY(!paths.contains(QString()));
    }
};

OMBRY_TEST_APP_MAIN(TestSettingsCardsDesktop)
#include "tst_settings_cards_desktop.moc"
