#include "app/Application.h"
#include "app/InterfaceKeys.h"
#include "app/MainWindow.h"
#include "app/Navigation.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/Log.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QQuickWindow>

using namespace Qt::StringLiterals;

// The settings page on the private desktop, driven as a screen reader user
// would: tabs, switches, pickers and the shortcut recorder, each checked in
// the settings file.
class TestSettingsPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    AtspiReader reader_{u"Ombry Voice"_s};

    static QJsonObject prefs()
    {
        Defaults::standard();
        return QJsonDocument::fromJson(TestEnv::readFile(Defaults::folder() + u"/com.corvanel.ombryvoice.json"_s))
            .object();
    }

    // Clicks the middle of the node shown under `name` (of `role`, any when empty).
    bool click(const QString &role, const QString &name, int timeoutMs = 3000)
    {
        const auto node = reader_.find(role, name, timeoutMs);
        if (!node || node->extents.isEmpty())
            return false;
        const QPoint c = node->extents.center();
        return DesktopTools::run(u"xdotool"_s, {u"mousemove"_s, u"--sync"_s, QString::number(c.x()),
                                                QString::number(c.y()), u"click"_s, u"1"_s}).exitCode == 0;
    }

    // Opens the picker named `picker` and chooses `entry`.
    bool pick(const QString &picker, const QString &entry)
    {
        return click(u"combo box"_s, picker) && click(QString(), entry);
    }

    bool openTab(const QString &label)
    {
        const auto shown = reader_.find(u"page tab"_s, label, 3000);
        if (shown && shown->states.contains(u"checked"_s))
            return true;
        if (!click(u"page tab"_s, label))
            return false;
        return TestEnv::waitFor([&] {
            const auto tab = reader_.find(u"page tab"_s, label, 0);
            return tab && tab->states.contains(u"checked"_s);
        }, 3000);
    }

    static int tapLines()
    {
        return int(TestEnv::readFile(Log::path()).count("hotkey: event tap actif"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        Defaults::standard().set(u"onboarded"_s, true);
        Defaults::standard().set(u"settingsTab"_s, u"nowhere"_s);
        Defaults::standard().set(u"microphoneUID"_s, u"gone-device"_s);
        root_ = std::make_unique<Application>();
        root_->controller()->hotkey().start();
        Navigation::shared()->setPage(Navigation::Page::Settings);
        root_->mainWindow()->show();
        QVERIFY(QTest::qWaitForWindowExposed(root_->mainWindow()->window()));
    }

    void cleanupTestCase() { root_.reset(); }

    void tabBarReadsTheSixTabsAndAnUnknownTabOpensGeneral()
    {
        QVERIFY(reader_.find(u"page tab"_s, u"Général"_s, 8000));
        QStringList tabs;
        const QStringList six{u"Général"_s, u"Dictée"_s, u"Correction et traduction"_s, u"Compte"_s,
                              u"Autorisations"_s, u"Avancé"_s};
        for (const AtspiReader::Node &n : reader_.all(u"page tab"_s))
            if (six.contains(n.name))
                tabs << n.name;
        QCOMPARE(tabs, six);
        QVERIFY(reader_.find(u"page tab"_s, u"Général"_s, 0)->states.contains(u"checked"_s));
        QVERIFY(reader_.find(u"label"_s, u"Touche"_s, 2000));
        QVERIFY(openTab(u"Dictée"_s));
        QCOMPARE(prefs().value(u"settingsTab"_s).toString(), u"dictation"_s);
        // The stored device survives opening and leaving the general tab.
        QCOMPARE(prefs().value(u"microphoneUID"_s).toString(), u"gone-device"_s);
    }

    void switchesWriteTheirKeys_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("key");
        QTest::newRow("sounds") << u"Général"_s << u"Sons de début et de fin"_s << u"sounds"_s;
        QTest::newRow("clipboard") << u"Général"_s << u"Remettre mon presse-papiers"_s << u"restoreClipboard"_s;
        QTest::newRow("commands") << u"Dictée"_s << u"Mode commande"_s << u"voiceCommands"_s;
        QTest::newRow("tone") << u"Dictée"_s << u"Ton adapté à l'appli"_s << u"adaptTone"_s;
        QTest::newRow("live words") << u"Dictée"_s << u"Mots en direct"_s << u"livePreview"_s;
        QTest::newRow("languagetool") << u"Correction et traduction"_s << u"LanguageTool"_s << u"useLanguageTool"_s;
    }

    void switchesWriteTheirKeys()
    {
        QFETCH(QString, tab);
        QFETCH(QString, label);
        QFETCH(QString, key);
        QVERIFY(openTab(tab));
        const auto node = reader_.find(u"check box"_s, label, 3000);
        QVERIFY2(node, qPrintable(label));
        const bool before = node->states.contains(u"checked"_s);
        QVERIFY(reader_.act(u"check box"_s, label));
        QVERIFY2(TestEnv::waitFor([&] { return prefs().value(key) == QJsonValue(!before); }, 3000),
                 qPrintable(QString::fromUtf8(QJsonDocument(prefs()).toJson())));
    }

    void themeAndLanguage()
    {
        QVERIFY(openTab(u"Général"_s));
        QVERIFY(click(u"page tab"_s, u"Sombre"_s));
        QVERIFY(TestEnv::waitFor([] { return prefs().value(u"theme"_s) == u"dark"_s; }, 3000));
        QTRY_COMPARE(root_->mainWindow()->window()->color().lightness() < 100
                         || Screenshots::scene(root_->mainWindow()->window()).pixelColor(600, 880).lightness() < 100,
                     true);
        QVERIFY(click(u"page tab"_s, u"Clair"_s));
        QVERIFY(TestEnv::waitFor([] { return prefs().value(u"theme"_s) == u"light"_s; }, 3000));

        QVERIFY(pick(u"Langue"_s, u"Anglais"_s));
        QVERIFY(TestEnv::waitFor([] { return prefs().value(u"language"_s) == u"en"_s; }, 3000));
    }

    void dictationKeyRestartsTheMonitorOnce()
    {
        QVERIFY(openTab(u"Général"_s));
        const int before = tapLines();
        QVERIFY(pick(u"Touche"_s, u"Commande droite (⌘)"_s));
        QVERIFY(TestEnv::waitFor([] { return prefs().value(u"key"_s) == u"rightCommand"_s; }, 3000));
        QVERIFY(TestEnv::waitFor([&] { return tapLines() == before + 1; }, 3000));
        AppSettings::shared()->setKey(DictationKey::RightControl);
    }

    void engineCardWithoutKeysOrLocalServer()
    {
        QVERIFY(openTab(u"Dictée"_s));
        QVERIFY(reader_.find(u"label"_s, u"Modèle local · non disponible"_s, 5000));
        QVERIFY(reader_.find(u"label"_s, u"0,050 $ / 1 000 dictées"_s, 2000));
        QVERIFY(click(u"push button"_s, u"Changer transcription"_s));
        QVERIFY(pick(u"Moteur de transcription"_s, u"Reconnaissance locale, sur cet ordinateur · gratuit"_s));
        QVERIFY(TestEnv::waitFor([] { return prefs().value(u"transcriptionEngine"_s) == u"apple"_s; }, 3000));
        QVERIFY(reader_.find(u"label"_s, u"Gratuit"_s, 3000));
    }

    void scopeChips()
    {
        QVERIFY(openTab(u"Correction et traduction"_s));
        QVERIFY(click(QString(), u"Style plus fluide"_s));
        QVERIFY(TestEnv::waitFor([] { return prefs().value(u"correctionScope"_s) == 31; }, 3000));
    }

    void recorderStoresAShortcutThatCorrects()
    {
        AppSettings::shared()->setCorrectionDoubleCopy(false);
        QVERIFY(openTab(u"Correction et traduction"_s));
        const QString name = u"Raccourci de correction"_s;
        QVERIFY(reader_.find(u"push button"_s, name, 3000));
        QQuickWindow *w = root_->mainWindow()->window();
        w->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(w));

        // Escape keeps the old shortcut.
        QVERIFY(reader_.act(u"push button"_s, name));
        QTRY_VERIFY(reader_.find(u"push button"_s, name, 0)->description == u"Tape ton raccourci…"_s);
        QVERIFY(DesktopTools::key(u"Escape"_s));
        QTRY_COMPARE(reader_.find(u"push button"_s, name, 0)->description, u"⌃⌥C"_s);

        QVERIFY(reader_.act(u"push button"_s, name));
        for (const QString &refused : {u"ctrl+KP_1"_s, u"ctrl+v"_s, u"ctrl+alt+v"_s})
            QVERIFY(DesktopTools::key(refused));
        DesktopTools::run(u"xdotool"_s, {u"keydown"_s, u"ctrl"_s, u"keydown"_s, u"alt"_s, u"keyup"_s, u"alt"_s,
                                         u"keyup"_s, u"ctrl"_s});
        QTest::qWait(200);
        QCOMPARE(reader_.find(u"push button"_s, name, 0)->description, u"Tape ton raccourci…"_s);
        QVERIFY(reader_.find(u"label"_s, u"Raccourci réservé"_s, 0));
        QCOMPARE(prefs().value(u"correctionKeyCode"_s).toInt(8), 8);

        QVERIFY(DesktopTools::key(u"ctrl+shift+k"_s));
        QVERIFY(TestEnv::waitFor([] { return prefs().value(u"correctionLabel"_s) == u"⌃⇧K"_s; }, 3000));
        QCOMPARE(prefs().value(u"correctionKeyCode"_s).toInt(), 40);
        QCOMPARE(prefs().value(u"correctionModifiers"_s).toInteger(), 393216);
        QVERIFY(!root_->controller()->hotkey().recording());
    }

    void screenshots_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("name");
        QTest::newRow("general") << u"Général"_s << u"settings-general"_s;
        QTest::newRow("dictation") << u"Dictée"_s << u"settings-dictation"_s;
        QTest::newRow("correction") << u"Correction et traduction"_s << u"settings-correction"_s;
    }

    void screenshots()
    {
        QFETCH(QString, tab);
        QFETCH(QString, name);
        QVERIFY(openTab(tab));
        QQuickWindow *w = root_->mainWindow()->window();
        const QStringList paths = Screenshots::inBothThemes(name, [w] { return Screenshots::scene(w); });
        QCOMPARE(paths.size(), 2);
        QVERIFY(!paths.contains(QString()));
    }
};

OMBRY_TEST_GUI_MAIN(TestSettingsPage)
#include "tst_settings_page.moc"
