#include "fakes/FakeHttpService.h"
#include "model/KeyStore.h"
#include "platform/SessionRoutes.h"
#include "settings/OnboardingKey.h"
#include "settings/SettingsCards.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(SessionRoutes::Routes)

class TestSettingsCards : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void settingsProgram_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("which");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        const QStringList all{u"gnome-control-center"_s, u"systemsettings"_s, u"cinnamon-settings"_s, u"pavucontrol"_s};
        QTest::newRow("gnome") << u"ubuntu:GNOME"_s << u"microphone"_s << all << u"gnome-control-center"_s
                               << QStringList{u"sound"_s};
        QTest::newRow("kde") << u"KDE"_s << u"systemAudio"_s << all << u"systemsettings"_s
                             << QStringList{u"kcm_pulseaudio"_s};
        QTest::newRow("cinnamon") << u"X-Cinnamon"_s << u"microphone"_s << all << u"cinnamon-settings"_s
                                  << QStringList{u"sound"_s};
        QTest::newRow("other desktop, input tab") << u"XFCE"_s << u"microphone"_s << all << u"pavucontrol"_s
                                                  << QStringList{u"--tab=4"_s};
        QTest::newRow("recording tab") << QString() << u"systemAudio"_s << all << u"pavucontrol"_s
                                       << QStringList{u"--tab=2"_s};
        QTest::newRow("gnome tool missing") << u"GNOME"_s << u"microphone"_s << QStringList{u"pavucontrol"_s}
                                            << u"pavucontrol"_s << QStringList{u"--tab=4"_s};
        QTest::newRow("nothing installed") << u"GNOME"_s << u"microphone"_s << QStringList{} << QString()
                                           << QStringList{};
        QTest::newRow("accessibility never") << u"GNOME"_s << u"accessibility"_s << all << QString() << QStringList{};
    }
    void settingsProgram()
    {
        QFETCH(QString, desktop);
        QFETCH(QString, which);
        QFETCH(QStringList, installed);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        const auto launch = PermissionsModel::settingsCommand(
            desktop, which, [&](const QString &name) { return installed.contains(name); });
        QCOMPARE(launch.program, program);
        QCOMPARE(launch.arguments, arguments);
    }

    // The poll runs elsewhere and reports changes only.
    void routeAdvice_data()
    {
        using namespace SessionRoutes;
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<Routes>("routes");
        QTest::addColumn<bool>("accessibilityBus");
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("route");
        QTest::addColumn<QStringList>("advice"); // each must appear; none: no advice
        const Routes sway{Keys::Actions, Typing::VirtualKeyboard, Clipboard::DataControl, Front::ForeignToplevel};
        const Routes gnome{Keys::Portal, Typing::RemoteDesktop, Clipboard::XwaylandBridge, Front::Accessibility};
        const QString input = u"sudo usermod -aG input $USER"_s;

        QTest::newRow("sway: its binding lines")
            << u"sway"_s << sway << false << u"Touches"_s << u"raccourcis du compositeur (ombry-voice --action)"_s
            << QStringList{u"\nbindsym --no-repeat Control_R exec ombry-voice --action dictee-debut\n"_s,
                           u"\nbindsym --release Control_R exec ombry-voice --action dictee-fin\n"_s, input};
        QTest::newRow("Hyprland without its portal")
            << u"Hyprland"_s << sway << false << u"Touches"_s << u"raccourcis du compositeur (ombry-voice --action)"_s
            << QStringList{u"\nbind = , Control_R, exec, ombry-voice --action dictee-debut\n"_s,
                           u"\nbindr = , Control_R, exec, ombry-voice --action dictee-fin\n"_s};
        QTest::newRow("GNOME before 48: a toggle, bound on press")
            << u"ubuntu:GNOME"_s << Routes{Keys::Actions, Typing::RemoteDesktop, Clipboard::XwaylandBridge,
                                           Front::Accessibility}
            << true << u"Touches"_s << u"raccourcis du compositeur (ombry-voice --action)"_s
            << QStringList{u"Raccourcis personnalisés"_s, u"« ombry-voice --action dictee-basculer »"_s, input};
        QTest::newRow("unknown compositor")
            << u"labwc:wlroots"_s << sway << false << u"Touches"_s << u"raccourcis du compositeur (ombry-voice --action)"_s
            << QStringList{u"« ombry-voice --action dictee-fin » à son relâchement"_s};
        QTest::newRow("portal: the copy series needs the input group")
            << u"KDE"_s << gnome << true << u"Touches"_s << u"portail des raccourcis globaux"_s
            << QStringList{u"Ctrl+C deux fois"_s, input};
        QTest::newRow("keyboards read directly: nothing better")
            << u"sway"_s << Routes{Keys::Evdev, Typing::Uinput, Clipboard::DataControl, Front::ForeignToplevel}
            << false << u"Touches"_s << u"claviers lus directement (groupe input)"_s << QStringList{};
        QTest::newRow("portal typing: its dialog")
            << u"GNOME"_s << gnome << true << u"Saisie"_s << u"portail Bureau à distance"_s
            << QStringList{u"permission de contrôler le clavier"_s};
        QTest::newRow("GNOME without a typing route: its portal")
            << u"GNOME"_s << Routes{Keys::Portal, Typing::None, Clipboard::XwaylandBridge, Front::Accessibility}
            << true << u"Saisie"_s << u"aucune : le texte reste dans le presse-papiers, colle-le avec Ctrl+V"_s
            << QStringList{u"xdg-desktop-portal-gnome"_s};
        QTest::newRow("wlroots without a typing route: uinput")
            << u"river"_s << Routes{Keys::Actions, Typing::None, Clipboard::DataControl, Front::ForeignToplevel}
            << false << u"Saisie"_s << u"aucune : le texte reste dans le presse-papiers, colle-le avec Ctrl+V"_s
            << QStringList{u"KERNEL==\"uinput\", GROUP=\"input\", MODE=\"0660\""_s, input};
        QTest::newRow("virtual keyboard: nothing better")
            << u"sway"_s << sway << false << u"Saisie"_s << u"clavier virtuel du compositeur"_s << QStringList{};
        QTest::newRow("Xwayland's clipboard") << u"GNOME"_s << gnome << true << u"Presse-papiers"_s
                                              << u"pont de Xwayland"_s << QStringList{};
        QTest::newRow("no accessibility bus")
            << u"GNOME"_s << gnome << false << u"Application au premier plan"_s << u"bus d'accessibilité"_s
            << QStringList{u"at-spi2-core"_s};
        QTest::newRow("accessibility bus") << u"GNOME"_s << gnome << true << u"Application au premier plan"_s
                                           << u"bus d'accessibilité"_s << QStringList{};
        QTest::newRow("compositor's window list")
            << u"sway"_s << sway << false << u"Application au premier plan"_s
            << u"liste des fenêtres du compositeur"_s << QStringList{};
    }

    void routeAdvice()
    {
        QFETCH(QString, desktop);
        QFETCH(SessionRoutes::Routes, routes);
        QFETCH(bool, accessibilityBus);
        QFETCH(QString, service);
        QFETCH(QString, route);
        QFETCH(QStringList, advice);
        SessionRoutes::Offer offer;
        offer.x11 = offer.wayland = true;
        offer.accessibilityBus = accessibilityBus;
        offer.desktop = desktop;
        const QList<PermissionsModel::RouteLine> lines = PermissionsModel::routeLines(routes, offer);
        QStringList services;
        for (const auto &line : lines)
            services << line.service;
        QCOMPARE(services, (QStringList{u"Touches"_s, u"Saisie"_s, u"Presse-papiers"_s, u"Application au premier plan"_s}));
        const PermissionsModel::RouteLine line = lines.at(services.indexOf(service));
        QCOMPARE(line.route, route);
        if (advice.isEmpty())
            QVERIFY2(line.advice.isEmpty(), qPrintable(line.advice));
        for (const QString &part : advice)
            QVERIFY2(QString(line.advice + u'\n').contains(part), qPrintable(line.advice));
    }

    // An X11 session is as it always was: the card names no route.
    void routeAdviceOnX11()
    {
        SessionRoutes::Offer offer;
        offer.x11 = offer.accessibilityBus = true;
        QVERIFY(PermissionsModel::routeLines(SessionRoutes::choose(offer), offer).isEmpty());
    }

    void pollReportsState()
    {
        PermissionsModel model;
        std::atomic<bool> mic{true};
        model.setProbe([&mic] { return std::array<bool, 3>{mic.load(), false, true}; });
        QSignalSpy changed(&model, &PermissionsModel::changed);
        QVERIFY(!model.checked());
        model.refresh();
        QTRY_COMPARE(changed.size(), 1);
        QVERIFY(model.checked());
        QVERIFY(model.microphone());
        QVERIFY(!model.accessibility());
        QVERIFY(model.systemAudio());
        mic = false;
        model.refresh();
        QTRY_COMPARE(changed.size(), 2);
        QVERIFY(!model.microphone());
    }

    // A first answer that finds nothing granted is still news: the rows leave their
    // neutral look. A missing accessibility is explained without a press, and the
    // sound rows are offered where a settings program is installed.
    void firstAnswer_data()
    {
        QTest::addColumn<bool>("accessibility");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<bool>("canOpenSound");
        QTest::addColumn<QString>("explanation");
        QTest::newRow("nothing granted, nothing installed")
            << false << QStringList{} << false << PermissionsModel::sessionExplanation();
        QTest::newRow("X11 session, pavucontrol") << true << QStringList{u"pavucontrol"_s} << true << QString();
        QTest::newRow("X11 session, nothing installed") << true << QStringList{u"xterm"_s} << false << QString();
    }
    void firstAnswer()
    {
        QFETCH(bool, accessibility);
        QFETCH(QStringList, installed);
        QFETCH(bool, canOpenSound);
        QFETCH(QString, explanation);
        PermissionsModel model;
        model.setProbe([accessibility] { return std::array<bool, 3>{false, accessibility, false}; });
        model.setFinder([installed](const QString &name) { return installed.contains(name); });
        QSignalSpy changed(&model, &PermissionsModel::changed);
        QSignalSpy explained(&model, &PermissionsModel::explanationChanged);
        QVERIFY(model.explanation().isEmpty());
        model.refresh();
        QTRY_COMPARE(changed.size(), 1);
        QVERIFY(model.checked());
        QCOMPARE(model.canOpenSound(), canOpenSound);
        QCOMPARE(model.explanation(), explanation);
        QCOMPARE(explained.size(), explanation.isEmpty() ? 0 : 1);
    }

    void saveKey_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("stored");
        QTest::newRow("blanks around") << QString() << u"  sk-or-v1-abcdef123456\n"_s << QString()
                                       << u"sk-or-v1-abcdef123456"_s;
        QTest::newRow("control inside") << QString() << u"sk-or\u0007-abcdef123456"_s << u"Clé invalide"_s << QString();
        QTest::newRow("tab inside") << QString() << u"sk-or\t-abcdef123456"_s << u"Clé invalide"_s << QString();
        QTest::newRow("blank, nothing stored") << QString() << u"   "_s << QString() << QString();
        // "Modifier" then "Enregistrer" without typing keeps the key.
        QTest::newRow("untouched field keeps the key")
            << u"sk-or-v1-kept5678"_s << QString() << QString() << u"sk-or-v1-kept5678"_s;
        QTest::newRow("typed key replaces it")
            << u"sk-or-v1-kept5678"_s << u"sk-or-v1-new00000"_s << QString() << u"sk-or-v1-new00000"_s;
    }
    void saveKey()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"keys.json"_s);
        qunsetenv("OPENROUTER_API_KEY");
        KeyStore keys(file);
        if (!before.isEmpty())
            QVERIFY(keys.save(before, APIService::OpenRouter));
        ApiKeysModel model;
        model.setKeyStore(&keys);
        QCOMPARE(model.save(u"openRouter"_s, typed), message);
        QCOMPARE(keys.key(APIService::OpenRouter).value_or(QString()), stored);
        if (stored.isEmpty()) {
            QCOMPARE(model.shown(u"openRouter"_s), u"Absente"_s);
        } else {
            QCOMPARE(model.shown(u"openRouter"_s), u"••••" + stored.right(4));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(QJsonDocument::fromJson(f.readAll()).object().value(u"openRouter"_s).toString(), stored);
            QCOMPARE(f.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        }
    }

    // Removing is its own action, and it reaches the file.
    void removeKey()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"keys.json"_s);
        KeyStore keys(file);
        QVERIFY(keys.save(u"dg-0123456789"_s, APIService::Deepgram));
        QVERIFY(keys.save(u"sk-or-v1-kept5678"_s, APIService::OpenRouter));
        ApiKeysModel model;
        model.setKeyStore(&keys);
        QCOMPARE(model.remove(u"openRouter"_s), QString());
        QCOMPARE(model.shown(u"openRouter"_s), u"Absente"_s);
        QCOMPARE(KeyStore(file).keys(), KeyStore::Keys({{APIService::Deepgram, u"dg-0123456789"_s}}));
        QCOMPARE(model.remove(u"autre"_s), u"Service inconnu"_s);
    }

    // The onboarding's check: one authenticated request, its verdict, and the key
    // kept when OpenRouter accepts it or cannot be reached to say.
    void onboardingKeyCheck_data()
    {
        QTest::addColumn<int>("status"); // 0: nothing listens
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<bool>("stored");
        QTest::newRow("accepted") << 200 << u"Clé valide"_s << true;
        QTest::newRow("refused") << 401 << u"Clé refusée"_s << false;
        QTest::newRow("server error") << 500 << u"OpenRouter : erreur 500"_s << false;
        QTest::newRow("unreachable") << 0 << u"Service injoignable"_s << true;
    }
    void onboardingKeyCheck()
    {
        QFETCH(int, status);
        QFETCH(QString, verdict);
        QFETCH(bool, stored);
        FakeHttpService cloud;
        QVERIFY(cloud.start());
        cloud.on("GET", u"/api/v1/key"_s, ScriptedReply::text("{}", status ? status : 200));
        qputenv("OMBRY_OPENROUTER_URL", status ? cloud.url().toUtf8() : QByteArray("http://127.0.0.1:9"));
        QTemporaryDir dir;
        KeyStore keys(dir.filePath(u"keys.json"_s));
        OnboardingKey step;
        step.setKeyStore(&keys);
        QVERIFY(!step.canContinue() || step.localAnswers());

        step.check(u" sk-or-v1-pasted99 \n"_s);
        QVERIFY(step.checking());
        QVERIFY(TestEnv::waitFor([&] { return !step.checking(); }));
        QCOMPARE(step.verdict(), verdict);
        QCOMPARE(step.accepted(), status == 200);
        QCOMPARE(keys.key(APIService::OpenRouter), stored ? std::optional<QString>(u"sk-or-v1-pasted99"_s) : std::nullopt);
        if (status) {
            QCOMPARE(cloud.count(u"/api/v1/key"_s), 1);
            QCOMPARE(cloud.requests().first().header("authorization"), QByteArray("Bearer sk-or-v1-pasted99"));
        }
        qputenv("OMBRY_OPENROUTER_URL", "http://127.0.0.1:9");
    }

    // A write that fails is reported, never taken for saved.
    void saveFailureIsReported()
    {
        QTemporaryDir dir;
        KeyStore keys(dir.filePath(u"missing/folder/keys.json"_s));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        ApiKeysModel model;
        model.setKeyStore(&keys);
        QVERIFY(!model.save(u"deepgram"_s, u"dg-0123456789"_s).isEmpty());
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The speed field takes whole numbers as typed or as fr_FR writes them;
    // it does not clamp (only the buttons keep within 5 to 200).
    void typingSpeedText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("plain") << u"45"_s << 45;
        QTest::newRow("above the buttons' range") << u"300"_s << 300;
        QTest::newRow("fr_FR grouping") << u"1\u202F200"_s << 1200;
        QTest::newRow("typed blank grouping") << u"1 200"_s << 1200;
        QTest::newRow("zero") << u"0"_s << -1;
        QTest::newRow("negative") << u"-4"_s << -1;
        QTest::newRow("decimal") << u"4,5"_s << -1;
        QTest::newRow("empty") << QString() << -1;
    }
    void typingSpeedText()
    {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QCOMPARE(HelpModel::parseWPM(typed).value_or(-1), stored);
    }

    void exportJournal_data()
    {
        QTest::addColumn<bool>("journalExists");
        QTest::addColumn<bool>("destinationWritable");
        QTest::addColumn<bool>("older"); // an older file, readable by all, is there
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("copied over an older file") << true << true << true << QByteArray("ligne 1\nligne 2\n");
        QTest::newRow("copied to a new file") << true << true << false << QByteArray("ligne 1\nligne 2\n");
        QTest::newRow("no journal keeps the file") << false << true << true << QByteArray("ancien");
        // The destination is a folder: nothing can replace it.
        QTest::newRow("unwritable destination") << true << false << false << QByteArray();
    }
    void exportJournal()
    {
        QFETCH(bool, journalExists);
        QFETCH(bool, destinationWritable);
        QFETCH(bool, older);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString journal = dir.filePath(u"journal.log"_s);
        if (journalExists)
            QVERIFY(TestEnv::writeFile(journal, "ligne 1\nligne 2\n"));
        QDir(dir.path()).mkdir(u"out"_s);
        const QString destination = dir.filePath(u"out/Ombry Voice - journal.txt"_s);
        if (older) {
            QVERIFY(TestEnv::writeFile(destination, "ancien"));
            QVERIFY(QFile::setPermissions(destination, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                           | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        }
        if (!destinationWritable)
            QVERIFY(QDir().mkpath(destination));
        const QString message = HelpModel::copyJournal(journal, destination);
        QCOMPARE(message.isEmpty(), journalExists && destinationWritable);
        if (message.isEmpty())
            QCOMPARE(QFileInfo(destination).permissions() & 0x0FFF,
                     QFileDevice::ReadUser | QFileDevice::WriteUser); // 0600, nothing for group or others
        if (destinationWritable)
            QCOMPARE(TestEnv::readFile(destination), expected);
        else
            QVERIFY(QFileInfo(destination).isDir());
    }
};

QTEST_GUILESS_MAIN(TestSettingsCards)
#include "tst_settings_cards.moc"
