#include "app/Application.h"
#include "shell/MainWindow.h"
#include "shell/Navigation.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "core/Log.h"
#include "model/Store.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"
#include "tools/test_editor_cloud.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>

#include <csignal>

using namespace Qt::StringLiterals;

// The settings page on the private desktop, driven as a screen reader user
// would: every tab, switch, picker, chip and the shortcut recorder are worked
// through their accessible actions, and each effect is checked in the settings
// file. One program for the whole run; a second one, started on the same home,
// shows the tab chosen in the first.
class TestSettingsPage : public QObject
{
    Q_OBJECT

    EditorCloud cloud_;
    std::unique_ptr<Application> root_;
    AtspiReader reader_{u"Ombry Voice"_s};

    static QJsonObject prefs()
    {
        Defaults::standard();
        return QJsonDocument::fromJson(TestEnv::readFile(Defaults::folder() + u"/com.corvanel.ombryvoice.json"_s))
            .object();
    }

    static bool prefBecomes(const QString &key, const QJsonValue &value, int timeoutMs = 3000)
    {
        return TestEnv::waitFor([&] { return prefs().value(key) == value; }, timeoutMs);
    }

    // What a picker or the recorder shows (its description); empty when absent.
    QString shownBy(const QString &role, const QString &name, int timeoutMs = 0) const
    {
        const auto node = reader_.find(role, name, timeoutMs);
        return node ? node->description : QString();
    }

    static bool checked(const std::optional<AtspiReader::Node> &node)
    {
        return node && node->states.contains(u"checked"_s);
    }

    // The node's own "Press", as a screen reader's activation does.
    static bool press(const AtspiReader &reader, const QString &role, const QString &name)
    {
        return reader.act(role, name, u"Press"_s);
    }
    bool press(const QString &role, const QString &name) const { return press(reader_, role, name); }

    // Opens the picker named `picker` and chooses `entry` in its list.
    bool pick(const QString &picker, const QString &entry) const
    {
        if (!press(u"combo box"_s, picker))
            return false;
        const auto shown = reader_.find(QString(), entry, 3000);
        return shown && press(shown->role, entry)
            && TestEnv::waitFor([&] { return !reader_.find(shown->role, entry, 0); }, 3000);
    }

    static bool openTab(const AtspiReader &reader, const QString &label)
    {
        if (checked(reader.find(u"page tab"_s, label, 5000)))
            return true;
        return press(reader, u"page tab"_s, label)
            && TestEnv::waitFor([&] { return checked(reader.find(u"page tab"_s, label, 0)); }, 3000);
    }
    bool openTab(const QString &label) const { return openTab(reader_, label); }

    // Scrolls the page to its end, as a reader's scroll bar would: what lies
    // beyond the window is not shown to a screen reader.
    void scrollPageToEnd() const
    {
        for (QQuickItem *item : root_->mainWindow()->window()->contentItem()->findChildren<QQuickItem *>())
            if (item->inherits("QQuickFlickable")) {
                const qreal end = item->property("contentHeight").toReal() - item->height();
                if (end > 0)
                    item->setProperty("contentY", end);
            }
    }

    // The main window in both themes, for a look at a state the tab's own
    // pictures do not show.
    void shoot(const QString &name) const
    {
        QQuickWindow *w = root_->mainWindow()->window();
        const QStringList paths = Screenshots::inBothThemes(name, [w] { return Screenshots::scene(w); });
        QVERIFY(!paths.contains(QString()));
    }

    // Whether the group titled `heading` starts clear of the card above it,
    // whose last row holds `last`: a card that keeps its former height when a
    // row grows lets its rows run into the next group.
    bool cardHolds(const QString &role, const QString &last, const QString &heading) const
    {
        return TestEnv::waitFor([&] {
            const auto row = reader_.find(role, last, 0);
            const auto title = reader_.find(u"heading"_s, heading, 0);
            // Card padding 16 and the tab's spacing 16, less a few pixels of text leading.
            return row && title && title->extents.top() >= row->extents.bottom() + 28;
        }, 3000);
    }

    static int tapLines()
    {
        return int(TestEnv::readFile(Log::path()).count("hotkey: event tap actif"));
    }

    static QStringList sources()
    {
        QStringList names;
        const auto listed = DesktopTools::run(u"pactl"_s, {u"list"_s, u"short"_s, u"sources"_s});
        for (const QByteArray &line : listed.out.split('\n'))
            if (!line.isEmpty())
                names << QString::fromUtf8(line.split('\t').value(1));
        return names;
    }

    // Records seen by the picker of the applications to translate (newest first
    // once added): names met later win, our own program never shows.
    static void seedApplications()
    {
        const auto dictation = [](const QString &name, const std::optional<QString> &bundleId) {
            Dictation d;
            d.date = QDateTime::currentDateTimeUtc();
            d.appName = name;
            d.bundleID = bundleId;
            d.finalText = d.rawText = u"Bonjour."_s;
            TestEnv::store()->add(d);
        };
        const auto fix = [](const QString &name, const QString &bundleId) {
            CorrectionRecord r;
            r.date = QDateTime::currentDateTimeUtc();
            r.appName = name;
            r.bundleID = bundleId;
            r.action = u"Corriger"_s;
            r.original = u"bonjour"_s;
            r.result = u"Bonjour."_s;
            TestEnv::store()->addFix(r);
        };
        // Added oldest first: the store keeps the newest at the front.
        dictation(u"KWrite"_s, u"org.kde.kate"_s);
        dictation(u"Kate"_s, u"org.kde.kate"_s);
        dictation(u"gedit"_s, u"org.gnome.TextEditor"_s);
        dictation(u"firefox"_s, u"org.mozilla.firefox"_s);
        dictation(u"Terminal"_s, std::nullopt);
        dictation(u"Ombry Voice"_s, u"com.corvanel.ombryvoice"_s);
        fix(u"Éditeur de texte"_s, u"org.gnome.TextEditor"_s);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        cloud_.corrections.insert(u"Il a mangé des pomme hier"_s, u"Il a mangé des pommes hier."_s);
        QVERIFY(cloud_.start());
        Defaults::standard().set(u"onboarded"_s, true);
        Defaults::standard().set(u"settingsTab"_s, u"nowhere"_s);
        Defaults::standard().set(u"microphoneUID"_s, u"gone-device"_s);
        Defaults::standard().set(u"translateApps"_s, QJsonArray{u"com.example.Zulip"_s});
        root_ = std::make_unique<Application>();
        AppSettings *settings = root_->settings();
        settings->setSounds(false);
        settings->setRewriteEngine(RewriteEngine::OpenRouter);
        settings->setCorrectionShortcut(true);
        settings->setCorrectionDoubleCopy(true);
        seedApplications();
        root_->controller()->start();
        QVERIFY(TestEnv::waitFor([&] { return root_->controller()->hotkey().active(); }, 5000));
        TestEnv::own<Navigation>()->setPage(Navigation::Page::Settings);
        root_->mainWindow()->show();
        QVERIFY(QTest::qWaitForWindowExposed(root_->mainWindow()->window()));
    }

    void cleanupTestCase() { root_.reset(); }

    void tabBarReadsTheSixTabsAndAnUnknownTabOpensGeneral()
    {
        QVERIFY(reader_.find(u"page tab"_s, u"Général"_s, 8000));
        const QStringList six{u"Général"_s, u"Dictée"_s, u"Correction et traduction"_s, u"Compte"_s,
                              u"Autorisations"_s, u"Avancé"_s};
        QStringList tabs;
        for (const AtspiReader::Node &n : reader_.all(u"page tab"_s))
            if (six.contains(n.name))
                tabs << n.name;
        QCOMPARE(tabs, six);
        QVERIFY(checked(reader_.find(u"page tab"_s, u"Général"_s, 0)));
        QVERIFY(reader_.find(u"label"_s, u"Touche"_s, 2000));
        QVERIFY(openTab(u"Dictée"_s));
        QCOMPARE(prefs().value(u"settingsTab"_s).toString(), u"dictation"_s);
        QVERIFY(!checked(reader_.find(u"page tab"_s, u"Général"_s, 0)));
        // The stored device survives opening and leaving the general tab.
        QCOMPARE(prefs().value(u"microphoneUID"_s).toString(), u"gone-device"_s);
    }

    void everyTabOpensAndIsStored_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown"); // a text only this tab shows
        QTest::newRow("account") << u"Compte"_s << u"account"_s << u"Mode avancé"_s;
        QTest::newRow("permissions") << u"Autorisations"_s << u"permissions"_s << u"Accessibilité"_s;
        QTest::newRow("advanced") << u"Avancé"_s << u"advanced"_s << u"Ma vitesse au clavier"_s;
        QTest::newRow("correction") << u"Correction et traduction"_s << u"correction"_s << u"Relecture"_s;
        QTest::newRow("general") << u"Général"_s << u"general"_s << u"Pour dicter"_s;
    }

    void everyTabOpensAndIsStored()
    {
        QFETCH(QString, label);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QVERIFY(openTab(label));
        QVERIFY(prefBecomes(u"settingsTab"_s, stored));
        QVERIFY2(reader_.find(QString(), shown, 3000), qPrintable(reader_.texts().join(u" | ")));
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
        QTest::newRow("languagetool") << u"Correction et traduction"_s << u"LanguageTool"_s << u"useLanguageTool"_s;
        QTest::newRow("local proofreading") << u"Correction et traduction"_s << u"Modèle local"_s
                                            << u"correctorUsesApple"_s;
        QTest::newRow("correcting the selection") << u"Correction et traduction"_s
                                                  << u"Correction du texte sélectionné"_s << u"correctionShortcut"_s;
    }

    void switchesWriteTheirKeys()
    {
        QFETCH(QString, tab);
        QFETCH(QString, label);
        QFETCH(QString, key);
        QVERIFY(openTab(tab));
        const auto node = reader_.find(u"check box"_s, label, 3000);
        QVERIFY2(node, qPrintable(label));
        const bool before = checked(node);
        QVERIFY(reader_.act(u"check box"_s, label, u"Toggle"_s));
        QVERIFY2(prefBecomes(key, !before), qPrintable(QString::fromUtf8(QJsonDocument(prefs()).toJson())));
        QVERIFY(TestEnv::waitFor([&] { return checked(reader_.find(u"check box"_s, label, 0)) == !before; }, 3000));
        // Press, as a screen reader's activation, flips it back.
        QVERIFY(press(u"check box"_s, label));
        QVERIFY(prefBecomes(key, before));
    }

    // The switch shows what the autostart entry says when the tab is built,
    // and flipping it writes or removes the entry.
    void launchAtLoginFollowsTheAutostartEntry_data()
    {
        QTest::addColumn<QByteArray>("entry"); // null: no entry
        QTest::addColumn<bool>("on");
        QTest::newRow("no entry") << QByteArray() << false;
        QTest::newRow("hidden entry") << QByteArray("[Desktop Entry]\nType=Application\nExec=ombry-voice\nHidden=true\n")
                                      << false;
        QTest::newRow("entry") << QByteArray("[Desktop Entry]\nType=Application\nExec=ombry-voice\n") << true;
    }

    void launchAtLoginFollowsTheAutostartEntry()
    {
        QFETCH(QByteArray, entry);
        QFETCH(bool, on);
        const QString label = u"Ouvrir au démarrage de l'ordinateur"_s;
        const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/ombry-voice.desktop"_s;
        QFile::remove(path);
        if (!entry.isNull())
            QVERIFY(TestEnv::writeFile(path, entry));
        QVERIFY(openTab(u"Dictée"_s));
        QVERIFY(openTab(u"Général"_s));
        QVERIFY(reader_.find(u"check box"_s, label, 3000));
        QCOMPARE(checked(reader_.find(u"check box"_s, label, 0)), on);

        const qsizetype logged = TestEnv::readFile(Log::path()).size();
        QVERIFY(reader_.act(u"check box"_s, label, u"Toggle"_s));
        QVERIFY(TestEnv::waitFor([&] { return checked(reader_.find(u"check box"_s, label, 0)) == !on; }, 3000));
        const QByteArray written = TestEnv::readFile(path);
        if (on)
            QVERIFY(written.isEmpty() || written.contains("\nHidden=true"));
        else
            QVERIFY(written.contains("Exec=") && !written.contains("Hidden=true"));
        QVERIFY(TestEnv::readFile(Log::path()).mid(logged).contains(on ? "démarrage auto: false" : "démarrage auto: true"));
    }

    void themeAndLanguage()
    {
        QVERIFY(openTab(u"Général"_s));
        QVERIFY(press(u"page tab"_s, u"Sombre"_s));
        QVERIFY(prefBecomes(u"theme"_s, u"dark"_s));
        QTRY_VERIFY(checked(reader_.find(u"page tab"_s, u"Sombre"_s, 0)));
        QQuickWindow *w = root_->mainWindow()->window();
        QTRY_VERIFY(Screenshots::scene(w).pixelColor(w->width() / 2, w->height() - 20).lightness() < 100);
        QVERIFY(press(u"page tab"_s, u"Clair"_s));
        QVERIFY(prefBecomes(u"theme"_s, u"light"_s));
        QTRY_VERIFY(Screenshots::scene(w).pixelColor(w->width() / 2, w->height() - 20).lightness() > 150);

        QVERIFY(pick(u"Langue"_s, u"Anglais"_s));
        QVERIFY(prefBecomes(u"language"_s, u"en"_s));
        QCOMPARE(shownBy(u"combo box"_s, u"Langue"_s), u"Anglais"_s);
    }

    void microphoneIsStoredBySourceName()
    {
        QVERIFY(openTab(u"Général"_s));
        // The absent device shows no entry, and is still stored.
        QCOMPARE(shownBy(u"combo box"_s, u"Micro"_s, 3000), u"—"_s);
        QVERIFY(press(u"combo box"_s, u"Micro"_s));
        const auto first = reader_.find(QString(), u"Micro du système"_s, 3000);
        QVERIFY(first);
        QStringList entries;
        for (const AtspiReader::Node &n : reader_.all(first->role))
            if (n.showing())
                entries << n.name;
        const QStringList present = sources();
        QVERIFY2(entries.size() >= 2, qPrintable(entries.join(u", ")));
        QCOMPARE(entries.first(), u"Micro du système"_s);
        const QString device = entries.at(1);
        QVERIFY(press(first->role, device));
        QVERIFY(TestEnv::waitFor([&] {
            const QString uid = prefs().value(u"microphoneUID"_s).toString();
            return uid != u"gone-device"_s && present.contains(uid);
        }, 3000));
        QTRY_COMPARE(shownBy(u"combo box"_s, u"Micro"_s), device);

        QVERIFY(pick(u"Micro"_s, u"Micro du système"_s));
        QVERIFY(TestEnv::waitFor([] { return !prefs().contains(u"microphoneUID"_s); }, 3000));
    }

    void dictationKeyRestartsTheMonitorOnce()
    {
        QVERIFY(openTab(u"Général"_s));
        const int before = tapLines();
        QVERIFY(pick(u"Touche"_s, u"Super droit"_s));
        QVERIFY(prefBecomes(u"key"_s, u"rightCommand"_s));
        QVERIFY(TestEnv::waitFor([&] { return tapLines() == before + 1; }, 3000));
        TestEnv::settings()->setKey(DictationKey::RightControl);
        root_->controller()->hotkey().restart();
    }

    void engineCardWithoutKeysOrLocalServer()
    {
        QVERIFY(openTab(u"Dictée"_s));
        // The local rewrite, the default, with no local server.
        TestEnv::settings()->setRewriteEngine(RewriteEngine::Local);
        QVERIFY(reader_.find(u"label"_s, u"Modèle local · non disponible"_s, 5000));
        QVERIFY(reader_.find(u"label"_s, u"0,050 $ / 1 000 dictées"_s, 2000));
        QVERIFY(press(u"push button"_s, u"Changer transcription"_s));
        QVERIFY(pick(u"Moteur de transcription"_s, u"Reconnaissance locale, sur cet ordinateur · gratuit"_s));
        QVERIFY(prefBecomes(u"transcriptionEngine"_s, u"apple"_s));
        QVERIFY(reader_.find(u"label"_s, u"Gratuit"_s, 3000));
        QVERIFY(reader_.find(u"label"_s, u"Reconnaissance locale · sur cet ordinateur"_s, 0));
        // The editor closes with "OK" and does not come back with the tab.
        QVERIFY(press(u"push button"_s, u"OK"_s));
        QVERIFY(TestEnv::waitFor([&] { return !reader_.find(u"combo box"_s, u"Moteur de transcription"_s, 0); }, 3000));
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
    }

    // An editor left open goes with its tab; one editor is open at a time.
    void tabContentIsBuiltAfresh()
    {
        QVERIFY(openTab(u"Dictée"_s));
        QVERIFY(press(u"push button"_s, u"Changer transcription"_s));
        QVERIFY(reader_.find(u"combo box"_s, u"Moteur de transcription"_s, 3000));
        QVERIFY(press(u"push button"_s, u"Changer reformulation"_s));
        QVERIFY(reader_.find(u"combo box"_s, u"Moteur de reformulation"_s, 3000));
        QVERIFY(TestEnv::waitFor([&] { return !reader_.find(u"combo box"_s, u"Moteur de transcription"_s, 0); }, 3000));
        QVERIFY(reader_.find(u"push button"_s, u"Changer transcription"_s, 0));
        QVERIFY(cardHolds(u"label"_s, u"Coût estimé"_s, u"Pendant que tu parles"_s));
        shoot(u"settings-engine-editor"_s);

        QVERIFY(openTab(u"Général"_s));
        QVERIFY(openTab(u"Dictée"_s));
        QVERIFY(reader_.find(u"push button"_s, u"Changer reformulation"_s, 3000));
        QVERIFY(reader_.find(u"push button"_s, u"Changer transcription"_s, 0));
        QVERIFY(!reader_.find(u"combo box"_s, u"Moteur de reformulation"_s, 0));
        QVERIFY(!reader_.find(u"push button"_s, u"OK"_s, 0));
    }

    // A stored value that no control offers is shown as it can be and kept
    // until the user chooses.
    void storedValuesOutsideTheChoicesSurvive_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("unknown target") << u"Correction et traduction"_s << u"combo box"_s << u"Traduire la sélection"_s
                                        << u"translateTarget"_s << QJsonValue(u"klingon"_s) << u"—"_s;
        QTest::newRow("absent microphone") << u"Général"_s << u"combo box"_s << u"Micro"_s << u"microphoneUID"_s
                                           << QJsonValue(u"gone-device"_s) << u"—"_s;
        QTest::newRow("typing speed out of the buttons' range")
            << u"Avancé"_s << u"text"_s << u"Ma vitesse au clavier"_s << u"typingWPM"_s << QJsonValue(500) << u"500"_s;
    }

    void storedValuesOutsideTheChoicesSurvive()
    {
        QFETCH(QString, tab);
        QFETCH(QString, role);
        QFETCH(QString, control);
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(QString, shown);
        AppSettings *settings = TestEnv::settings();
        if (key == u"translateTarget"_s)
            settings->setTranslateTarget(value.toString());
        else if (key == u"microphoneUID"_s)
            settings->setMicrophoneUID(value.toString());
        else
            settings->setTypingWPM(value.toInt());
        QVERIFY(prefBecomes(key, value));
        QVERIFY(openTab(u"Compte"_s));
        QVERIFY(openTab(tab));
        QVERIFY(TestEnv::waitFor([&] {
            const auto node = reader_.find(role, control, 0);
            return node && (node->description == shown || node->text == shown);
        }, 5000));
        QVERIFY(openTab(u"Compte"_s));
        QCOMPARE(prefs().value(key), value);
    }

    void scopeChips_data()
    {
        QTest::addColumn<int>("scope");
        QTest::addColumn<QString>("chip");
        QTest::addColumn<int>("expected");
        QTest::newRow("style added") << 15 << u"Style plus fluide"_s << 31;
        QTest::newRow("spelling removed") << 31 << u"Orthographe"_s << 30;
        QTest::newRow("the last chip stays") << 4 << u"Ponctuation"_s << 4;
        QTest::newRow("added to the last") << 4 << u"Majuscules et espaces"_s << 12;
    }

    void scopeChips()
    {
        QFETCH(int, scope);
        QFETCH(QString, chip);
        QFETCH(int, expected);
        const QStringList chips{u"Orthographe"_s, u"Grammaire et accords"_s, u"Ponctuation"_s,
                                u"Majuscules et espaces"_s, u"Style plus fluide"_s};
        const int bit = 1 << chips.indexOf(chip);
        QVERIFY(openTab(u"Correction et traduction"_s));
        TestEnv::settings()->setCorrectionScopeRaw(scope);
        QVERIFY(TestEnv::waitFor([&] { return checked(reader_.find(u"check box"_s, chip, 0)) == bool(scope & bit); }, 3000));
        QVERIFY(press(u"check box"_s, chip));
        QVERIFY(prefBecomes(u"correctionScope"_s, expected));
        QVERIFY(TestEnv::waitFor([&] { return checked(reader_.find(u"check box"_s, chip, 0)) == bool(expected & bit); }, 3000));
    }

    void appsPickerListsSeenApplicationsByName()
    {
        QVERIFY(openTab(u"Correction et traduction"_s));
        scrollPageToEnd();
        QVERIFY(TestEnv::waitFor([&] {
            for (const AtspiReader::Node &n : reader_.all(u"check box"_s))
                if (n.name == u"Zulip"_s)
                    return true;
            return false;
        }, 5000));
        // Capitals before lower case, accented capitals last; the oldest record's
        // name wins, a correction's over a dictation's; no record without an id,
        // nor ourselves; a marked id without records is named after its last part.
        const QStringList expected{u"KWrite"_s, u"Zulip"_s, u"firefox"_s, u"Éditeur de texte"_s};
        // In tree order the switches of the proofreading group come first.
        QStringList shown;
        QStringList marked;
        for (const AtspiReader::Node &n : reader_.all(u"check box"_s)) {
            shown << n.name;
            if (n.states.contains(u"checked"_s))
                marked << n.name;
        }
        QVERIFY(shown.contains(u"Modèle local"_s));
        shown = shown.mid(shown.indexOf(u"Modèle local"_s) + 1);
        QCOMPARE(shown, expected);
        QVERIFY(marked.contains(u"Zulip"_s));
        QVERIFY(!marked.contains(u"firefox"_s));
        shoot(u"settings-apps-picker"_s);

        // The chips may lie below the window: pressed where the reader finds them.
        const auto chip = [&](const QString &name) {
            for (const AtspiReader::Node &n : reader_.all(u"check box"_s))
                if (n.name == name)
                    return std::optional<AtspiReader::Node>(n);
            return std::optional<AtspiReader::Node>();
        };
        const auto pressChip = [&](const QString &name) {
            const auto node = chip(name);
            return node && reader_.act(*node, u"Press"_s);
        };
        QVERIFY(pressChip(u"firefox"_s));
        QVERIFY(prefBecomes(u"translateApps"_s, QJsonArray{u"com.example.Zulip"_s, u"org.mozilla.firefox"_s}));
        QVERIFY(TestEnv::waitFor([&] { return checked(chip(u"firefox"_s)); }, 3000));
        // Unmarked with no record left, the chip goes.
        QVERIFY(pressChip(u"Zulip"_s));
        QVERIFY(prefBecomes(u"translateApps"_s, QJsonArray{u"org.mozilla.firefox"_s}));
        QVERIFY(TestEnv::waitFor([&] { return !chip(u"Zulip"_s); }, 3000));
        QVERIFY(pressChip(u"firefox"_s));
        QVERIFY(TestEnv::waitFor([] { return prefs().value(u"translateApps"_s).toArray().isEmpty(); }, 3000));
    }

    void recorderRefusesAndStoresAShortcut()
    {
        QVERIFY(openTab(u"Correction et traduction"_s));
        const QString name = u"Raccourci de correction"_s;
        // Double copy hides the recorder; "Personnalisé" brings it.
        QVERIFY(checked(reader_.find(u"page tab"_s, u"Ctrl+C deux fois"_s, 3000)));
        QVERIFY(!reader_.find(u"push button"_s, name, 0));
        QVERIFY(press(u"page tab"_s, u"Personnalisé"_s));
        QVERIFY(prefBecomes(u"correctionDoubleCopy"_s, false));
        QVERIFY(reader_.find(u"push button"_s, name, 3000));
        QQuickWindow *w = root_->mainWindow()->window();
        w->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(w));
        const auto title = [&] { return shownBy(u"push button"_s, name); };

        // Escape keeps the old shortcut.
        QVERIFY(press(u"push button"_s, name));
        QTRY_COMPARE(title(), u"Tape ton raccourci…"_s);
        QVERIFY(DesktopTools::key(u"Escape"_s));
        QTRY_COMPARE(title(), u"Ctrl+Alt+C"_s);

        QVERIFY(press(u"push button"_s, name));
        QTRY_COMPARE(title(), u"Tape ton raccourci…"_s);
        for (const QString &refused : {u"ctrl+KP_1"_s, u"ctrl+v"_s, u"ctrl+alt+v"_s})
            QVERIFY(DesktopTools::key(refused));
        DesktopTools::run(u"xdotool"_s, {u"keydown"_s, u"ctrl"_s, u"keydown"_s, u"alt"_s, u"keyup"_s, u"alt"_s,
                                         u"keyup"_s, u"ctrl"_s});
        QVERIFY(reader_.find(u"label"_s, u"Raccourci réservé"_s, 3000));
        // The hint shows after the last key, so every key above has been handled.
        QCOMPARE(title(), u"Tape ton raccourci…"_s);
        QCOMPARE(prefs().value(u"correctionKeyCode"_s).toInt(8), 8);
        QVERIFY(root_->controller()->hotkey().recording());

        QVERIFY(DesktopTools::key(u"ctrl+shift+k"_s));
        QVERIFY(prefBecomes(u"correctionLabel"_s, u"⌃⇧K"_s));
        QCOMPARE(prefs().value(u"correctionKeyCode"_s).toInt(), 40);
        QCOMPARE(prefs().value(u"correctionModifiers"_s).toInteger(), 393216);
        QTRY_COMPARE(title(), u"Ctrl+Maj+K"_s);
        QVERIFY(!root_->controller()->hotkey().recording());
        QVERIFY(!reader_.find(u"label"_s, u"Déjà pris par une autre application"_s, 0));
    }

    // The shortcut just recorded is grabbed: pressed over a selection in another
    // application, it corrects the selection in place.
    void recordedShortcutCorrectsASelection()
    {
        QCOMPARE(prefs().value(u"correctionLabel"_s).toString(), u"⌃⇧K"_s);
        TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
        DesktopTools::Editor editor;
        QVERIFY(editor.start());
        QVERIFY(editor.send(u"set Il a mangé des pomme hier"_s));
        QVERIFY(editor.send(u"select-editor"_s));
        QVERIFY(DesktopTools::key(u"ctrl+shift+k"_s));
        // A fragment (no final stop) gets none added.
        QVERIFY2(TestEnv::waitFor([&] { return editor.text() == u"Il a mangé des pommes hier"_s; }, 10000),
                 qPrintable(editor.text() + u"\n"_s + QString::fromUtf8(TestEnv::readFile(Log::path()).right(2000))));
        QVERIFY(TestEnv::waitFor([] {
            return TestEnv::own<DictationController>()->state() == DictationController::State::Idle;
        }, 5000));
        QCOMPARE(TestEnv::store()->fixes().first().original, u"Il a mangé des pomme hier"_s);
    }

    // A combination another program holds cannot fire: the recorder says so,
    // and a new recording takes the hint away.
    void shortcutHeldByAnotherProgram()
    {
        QVERIFY(openTab(u"Correction et traduction"_s));
        const QString name = u"Raccourci de correction"_s;
        QVERIFY(reader_.find(u"push button"_s, name, 3000));
        QProcess holder;
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        holder.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/key_holder"), {u"j"_s, u"control"_s, u"shift"_s});
        QVERIFY(holder.waitForStarted(5000));
        auto stopHolder = qScopeGuard([&holder] {
            holder.closeWriteChannel();
            if (!holder.waitForFinished(3000))
                holder.kill();
        });
        QVERIFY(TestEnv::waitFor([&] { return holder.canReadLine() || holder.waitForReadyRead(50); }, 5000));
        QCOMPARE(holder.readLine(), QByteArray("ready\n"));

        AppSettings *settings = TestEnv::settings();
        settings->setCorrectionKeyCode(38); // J
        settings->setCorrectionModifiers(0x60000);
        settings->setCorrectionLabel(u"⌃⇧J"_s);
        QVERIFY2(reader_.find(u"label"_s, u"Déjà pris par une autre application"_s, 5000),
                 qPrintable(reader_.texts().join(u" | "_s)));
        QVERIFY(TestEnv::readFile(Log::path()).contains("hotkey: raccourci Ctrl+Maj+J déjà pris par une autre application"));
        QCOMPARE(shownBy(u"push button"_s, name), u"Ctrl+Maj+J"_s);
        QVERIFY(cardHolds(u"check box"_s, u"Style plus fluide"_s, u"Relecture"_s));
        shoot(u"settings-shortcut-taken"_s);

        QQuickWindow *w = root_->mainWindow()->window();
        w->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QVERIFY(press(u"push button"_s, name));
        QTRY_COMPARE(shownBy(u"push button"_s, name), u"Tape ton raccourci…"_s);
        QVERIFY(DesktopTools::key(u"ctrl+shift+k"_s));
        QVERIFY(prefBecomes(u"correctionLabel"_s, u"⌃⇧K"_s));
        QCOMPARE(prefs().value(u"correctionKeyCode"_s).toInt(), 40);
        QTRY_COMPARE(shownBy(u"push button"_s, name), u"Ctrl+Maj+K"_s);
        QVERIFY(TestEnv::waitFor([&] {
            return !reader_.find(u"label"_s, u"Déjà pris par une autre application"_s, 0);
        }, 3000));
    }

    // Quitting and starting again opens the settings on the tab chosen last.
    void chosenTabComesBackAfterARestart()
    {
        QVERIFY(openTab(u"Avancé"_s));
        QVERIFY(prefBecomes(u"settingsTab"_s, u"advanced"_s));

        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QStringLiteral(OMBRY_BINARY), {});
        QVERIFY(app.waitForStarted(5000));
        auto stop = qScopeGuard([&app] {
            ::kill(pid_t(app.processId()), SIGTERM);
            if (!app.waitForFinished(10000))
                app.kill();
        });
        const AtspiReader other(u"Ombry Voice"_s, app.processId());
        QVERIFY(other.find(u"page tab"_s, u"Réglages"_s, 20000));
        QVERIFY(press(other, u"page tab"_s, u"Réglages"_s));
        QVERIFY(TestEnv::waitFor([&] { return checked(other.find(u"page tab"_s, u"Avancé"_s, 0)); }, 8000));
        QVERIFY(!checked(other.find(u"page tab"_s, u"Général"_s, 0)));
        stop.dismiss();
        ::kill(pid_t(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(10000));
        QCOMPARE(app.exitCode(), 0);
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

OMBRY_TEST_APP_MAIN(TestSettingsPage)
#include "tst_settings_page.moc"
