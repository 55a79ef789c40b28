#include "model/AppSettings.h"
#include "ui/kit/ThemePalette.h"
#include "model/Defaults.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPalette>
#include <QSignalSpy>
#include <QTemporaryDir>

class TestSettings : public QObject
{
    Q_OBJECT

    static QString domain() { return QString::fromLatin1(Defaults::kAppDomain); }
    static QString fileIn(const QTemporaryDir &dir) { return dir.filePath(domain() + QStringLiteral(".json")); }

private Q_SLOTS:
    // ---- value types

    void rawValueParsing()
    {
        QCOMPARE(fromRawValue<Language>(QStringLiteral("FR")), std::nullopt);
        QCOMPARE(fromRawValue<Language>(QStringLiteral("fr")), Language::Fr);
        QCOMPARE(fromRawValue<Theme>(QStringLiteral("dark")), Theme::Dark);
        QCOMPARE(fromRawValue<Theme>(QStringLiteral("Dark")), std::nullopt);
        for (const char *bad : {"", "rightoption", "RightOption", "leftOption", "fn ", "altGr"})
            QCOMPARE(fromRawValue<DictationKey>(QLatin1String(bad)), std::nullopt);
        QCOMPARE(fromRawValue<RewriteEngine>(QStringLiteral("openRouter")), RewriteEngine::OpenRouter);
        QCOMPARE(fromRawValue<RewriteEngine>(QStringLiteral("openrouter")), std::nullopt);
    }

    void everyCaseRoundTrips()
    {
        const auto check = [](auto tag, const QStringList &raws) {
            using E = decltype(tag);
            const QList<E> cases = allCases<E>();
            QCOMPARE(cases.size(), raws.size());
            for (int i = 0; i < cases.size(); ++i) {
                QCOMPARE(rawValue(cases[i]), raws[i]);
                QCOMPARE(fromRawValue<E>(raws[i]), cases[i]);
            }
        };
        check(DictationKey{}, {"rightOption", "rightCommand", "rightControl", "fn"});
        check(Language{}, {"auto", "fr", "en", "es", "de", "it"});
        check(TranscriptionEngine{}, {"gemini", "apple", "deepgram"});
        check(RewriteEngine{}, {"apple", "openRouter", "none"});
        check(PunctuationLevel{}, {"light", "normal", "full"});
        check(PerformanceMode{}, {"auto", "light", "full"});
        check(Theme{}, {"light", "dark"});
    }

    void languageCodes()
    {
        QCOMPARE(localeCode(Language::Auto), QStringLiteral("fr"));
        QCOMPARE(deepgramCode(Language::Auto), QStringLiteral("multi"));
        for (Language l : allCases<Language>()) {
            if (l == Language::Auto)
                continue;
            QCOMPARE(localeCode(l), rawValue(l));
            QCOMPARE(deepgramCode(l), rawValue(l));
        }
        QCOMPARE(keyCode(DictationKey::RightAlt), 61);
        QCOMPARE(keyCode(DictationKey::RightSuper), 54);
        QCOMPARE(keyCode(DictationKey::RightControl), 62);
        QCOMPARE(keyCode(DictationKey::Fn), 63);
    }

    void correctionScopeSet()
    {
        const CorrectionScope def(15);
        for (qint64 m : {CorrectionScope::spelling, CorrectionScope::grammar, CorrectionScope::punctuation, CorrectionScope::typography})
            QVERIFY(def.contains(m));
        QVERIFY(!def.contains(CorrectionScope::style));
        QVERIFY(!def.contains(CorrectionScope::style | CorrectionScope::spelling));
        CorrectionScope s;
        QVERIFY(s.isEmpty());
        s.insert(CorrectionScope::style);
        s.insert(CorrectionScope::spelling);
        QCOMPARE(s.rawValue, 17);
        s.remove(CorrectionScope::spelling);
        QCOMPARE(s, CorrectionScope(16));
        QCOMPARE((def | s).rawValue, 31);
        QCOMPARE((def & CorrectionScope(6)).rawValue, 6);
        QCOMPARE((def ^ CorrectionScope(3)).rawValue, 12);
        QCOMPARE(def.subtracting(CorrectionScope(1)).rawValue, 14);
        QVERIFY(CorrectionScope(6).isSubset(def));
        QVERIFY(!s.isSubset(def));
        QVERIFY(s.isDisjoint(def));
        QVERIFY(CorrectionScope(1 << 20 | 1).contains(CorrectionScope::spelling));

        const auto all = CorrectionScope::all();
        QCOMPARE(all.size(), 5);
        const QList<qint64> bits{1, 2, 4, 8, 16};
        const QStringList labels{"Orthographe", "Grammaire et accords", "Ponctuation", "Majuscules et espaces", "Style plus fluide"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(all[i].first, bits[i]);
            QCOMPARE(all[i].second, labels[i]);
        }
    }

    void costEstimates()
    {
        QVERIFY(qFuzzyCompare(AppSettings::costPer1000Deepgram(QStringLiteral("nova-3")), 1.075));
        QVERIFY(qFuzzyCompare(AppSettings::costPer1000Deepgram(QStringLiteral("whisper")), 1.075));
        QVERIFY(qFuzzyCompare(*AppSettings::costPer1000OpenRouter(QStringLiteral("mistralai/mistral-small-3.2-24b-instruct")), 0.0529));
        QVERIFY(qFuzzyCompare(*AppSettings::costPer1000OpenRouter(QStringLiteral("openai/gpt-4o-mini")), 0.1005));
        QCOMPARE(AppSettings::costPer1000OpenRouter(QStringLiteral("nvidia/nemotron-3-super-120b-a12b:free")), 0.0);
        QCOMPARE(AppSettings::costPer1000OpenRouter(QStringLiteral("google/gemma-4-31b-it:free")), 0.0);
        QCOMPARE(AppSettings::costPer1000OpenRouter(QStringLiteral("unknown/model")), std::nullopt);
        QCOMPARE(AppSettings::openRouterModels().size(), 7);
        QCOMPARE(AppSettings::openRouterModels().at(3).id, QStringLiteral("mistralai/mistral-small-3.2-24b-instruct"));
        QCOMPARE(AppSettings::openRouterModels().at(6).note, QString());
        QCOMPARE(AppSettings::deepgramModels().first().id, QStringLiteral("nova-3"));
    }

    // ---- the settings object

    void emptyStoreGivesDefaultsAndWritesNothing()
    {
        QTemporaryDir dir;
        Defaults d(domain(), dir.path());
        AppSettings s(d);
        QCOMPARE(s.key(), DictationKey::RightControl);
        QCOMPARE(s.language(), Language::Fr);
        QVERIFY(s.sounds());
        QVERIFY(s.restoreClipboard());
        QCOMPARE(s.theme(), Theme::Light);
        QVERIFY(s.correctionShortcut());
        QCOMPARE(s.correctionKeyCode(), 8);
        QCOMPARE(s.correctionModifiers(), quint64(786432));
        QCOMPARE(s.correctionLabel(), QStringLiteral("⌃⌥C"));
        QVERIFY(s.correctionDoubleCopy());
        QVERIFY(s.correctorUsesLocalModel());
        QCOMPARE(s.translateTarget(), QStringLiteral("anglais"));
        QVERIFY(s.translateApps().isEmpty());
        QVERIFY(s.voiceCommands());
        QVERIFY(s.adaptTone());
        QVERIFY(!s.livePreview());
        QVERIFY(!s.ownKeyMode());
        QCOMPARE(s.microphoneUID(), std::nullopt);
        QCOMPARE(s.performanceMode(), PerformanceMode::Auto);
        QVERIFY(s.useLanguageTool());
        QCOMPARE(s.punctuation(), PunctuationLevel::Light);
        QCOMPARE(s.correctionScope(), CorrectionScope(15));
        QCOMPARE(s.typingWPM(), 40);
        QCOMPARE(s.transcriptionEngine(), TranscriptionEngine::Gemini);
        QCOMPARE(s.rewriteEngine(), RewriteEngine::OpenRouter);
        QCOMPARE(s.deepgramModel(), QStringLiteral("nova-3"));
        QCOMPARE(s.openRouterModel(), QStringLiteral("mistralai/mistral-small-3.2-24b-instruct"));
        QVERIFY(!QFileInfo::exists(fileIn(dir)));
    }

    // What a stored value reads as; "absent" includes the wrong kind.
    void storedValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char *name, const char *key, const char *json, const QVariant &v) {
            QTest::newRow(name) << QString::fromLatin1(key) << QByteArray(json) << v;
        };
        row("key unknown", "key", "\"altGr\"", QVariant::fromValue(DictationKey::RightControl));
        row("key right option", "key", "\"rightOption\"", QVariant::fromValue(DictationKey::RightAlt));
        row("key number", "key", "3", QVariant::fromValue(DictationKey::RightControl));
        row("language FR", "language", "\"FR\"", QVariant::fromValue(Language::Fr));
        row("language en", "language", "\"en\"", QVariant::fromValue(Language::En));
        row("theme Dark", "theme", "\"Dark\"", QVariant::fromValue(Theme::Light));
        row("theme dark", "theme", "\"dark\"", QVariant::fromValue(Theme::Dark));
        row("theme other", "theme", "\"sepia\"", QVariant::fromValue(Theme::Light));
        row("theme boolean", "theme", "true", QVariant::fromValue(Theme::Light));
        row("sounds NO", "sounds", "\"NO\"", QVariant(true));
        row("sounds false", "sounds", "false", QVariant(false));
        row("sounds 0", "sounds", "0", QVariant(false));
        row("sounds 2", "sounds", "2", QVariant(true));
        row("livePreview 1", "livePreview", "1", QVariant(true));
        row("livePreview YES", "livePreview", "\"YES\"", QVariant(false));
        row("ownKeyMode true", "ownKeyMode", "true", QVariant(true));
        row("scope 0", "correctionScope", "0", QVariant(qint64(15)));
        row("scope 16", "correctionScope", "16", QVariant(qint64(16)));
        row("scope high bits", "correctionScope", "1048577", QVariant(qint64(1048577)));
        row("scope fraction", "correctionScope", "2.5", QVariant(qint64(15)));
        row("scope string", "correctionScope", "\"3\"", QVariant(qint64(15)));
        row("modifiers command", "correctionModifiers", "1048576", QVariant(quint64(1048576)));
        row("modifiers string", "correctionModifiers", "\"1048576\"", QVariant(quint64(786432)));
        row("modifiers negative", "correctionModifiers", "-1", QVariant(quint64(0xFFFFFFFFFFFFFFFFull)));
        row("modifiers high bit", "correctionModifiers", "9223372036854775808", QVariant(quint64(0x8000000000000000ull)));
        row("modifiers fraction", "correctionModifiers", "786432.7", QVariant(quint64(786432)));
        row("modifiers beyond range", "correctionModifiers", "1e30", QVariant(quint64(0xFFFFFFFFFFFFFFFFull)));
        row("key code 9", "correctionKeyCode", "9", QVariant(qint64(9)));
        row("key code fraction", "correctionKeyCode", "9.5", QVariant(qint64(8)));
        row("wpm negative", "typingWPM", "-3", QVariant(qint64(-3)));
        row("wpm zero", "typingWPM", "0", QVariant(qint64(0)));
        row("wpm string", "typingWPM", "\"60\"", QVariant(qint64(40)));
        row("label number", "correctionLabel", "12", QVariant(QStringLiteral("12")));
        row("label array", "correctionLabel", "[\"x\"]", QVariant(QStringLiteral("⌃⌥C")));
        row("apps", "translateApps", R"(["com.slack","org.kde.konsole"])",
            QVariant(QStringList{QStringLiteral("com.slack"), QStringLiteral("org.kde.konsole")}));
        row("apps mixed", "translateApps", R"(["com.slack",1])", QVariant(QStringList{}));
        row("apps string", "translateApps", "\"com.slack\"", QVariant(QStringList{}));
        row("microphone", "microphoneUID", "\"alsa_input.usb\"", QVariant(QStringLiteral("alsa_input.usb")));
        row("microphone object", "microphoneUID", "{}", QVariant(QString()));
        row("punctuation Full", "punctuation", "\"Full\"", QVariant::fromValue(PunctuationLevel::Light));
        row("punctuation full", "punctuation", "\"full\"", QVariant::fromValue(PunctuationLevel::Full));
        row("performance light", "performanceMode", "\"light\"", QVariant::fromValue(PerformanceMode::Light));
        row("transcription Deepgram", "transcriptionEngine", "\"Deepgram\"", QVariant::fromValue(TranscriptionEngine::Gemini));
        row("transcription deepgram", "transcriptionEngine", "\"deepgram\"", QVariant::fromValue(TranscriptionEngine::Deepgram));
        row("rewrite none", "rewriteEngine", "\"none\"", QVariant::fromValue(RewriteEngine::None));
        row("deepgram model boolean", "deepgramModel", "true", QVariant(QStringLiteral("nova-3")));
        row("router model", "openRouterModel", "\"openai/gpt-4o-mini\"", QVariant(QStringLiteral("openai/gpt-4o-mini")));
    }
    void storedValues()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, stored);
        QFETCH(QVariant, expected);
        QTemporaryDir dir;
        const QByteArray content = "{\"" + key.toUtf8() + "\":" + stored + "}";
        QVERIFY(TestEnv::writeFile(fileIn(dir), content));
        Defaults d(domain(), dir.path());
        AppSettings s(d);
        QCOMPARE(s.property(key.toLatin1().constData()), expected);
        QCOMPARE(TestEnv::readFile(fileIn(dir)), content);
    }

    void everyPropertySurvivesARestart()
    {
        QTemporaryDir dir;
        {
            Defaults d(domain(), dir.path());
            AppSettings s(d);
            s.setKey(DictationKey::Fn);
            s.setLanguage(Language::Auto);
            s.setSounds(false);
            s.setRestoreClipboard(false);
            s.setTheme(Theme::Dark);
            s.setCorrectionShortcut(false);
            s.setCorrectionKeyCode(-2);
            s.setCorrectionModifiers(0xFFFFFFFFFFFFFFF0ull);
            s.setCorrectionLabel(QStringLiteral("⌘⇧K"));
            s.setCorrectionDoubleCopy(false);
            s.setCorrectorUsesLocalModel(false);
            s.setTranslateTarget(QStringLiteral("espagnol"));
            s.setTranslateApps({QStringLiteral("a"), QStringLiteral("b")});
            s.setVoiceCommands(false);
            s.setAdaptTone(false);
            s.setLivePreview(true);
            s.setOwnKeyMode(true);
            s.setMicrophoneUID(QStringLiteral("mic"));
            s.setPerformanceMode(PerformanceMode::Full);
            s.setUseLanguageTool(false);
            s.setPunctuation(PunctuationLevel::Normal);
            s.setCorrectionScope(CorrectionScope(16 | 1));
            s.setTypingWPM(-5);
            s.setTranscriptionEngine(TranscriptionEngine::Local);
            s.setRewriteEngine(RewriteEngine::None);
            s.setDeepgramModel(QStringLiteral("nova-2"));
            s.setOpenRouterModel(QStringLiteral("x/y"));
        }
        const QJsonObject stored = QJsonDocument::fromJson(TestEnv::readFile(fileIn(dir))).object();
        QCOMPARE(stored.size(), 27);
        QCOMPARE(stored.value("key"), QJsonValue("fn"));
        QCOMPARE(stored.value("theme"), QJsonValue("dark"));
        QCOMPARE(stored.value("sounds"), QJsonValue(false));
        QCOMPARE(stored.value("correctionScope"), QJsonValue(17));
        QCOMPARE(stored.value("rewriteEngine"), QJsonValue("none"));
        QVERIFY(stored.value("correctionModifiers").isDouble());
        QCOMPARE(stored.value("translateApps"), QJsonValue(QJsonArray{"a", "b"}));

        Defaults d(domain(), dir.path());
        AppSettings s(d);
        QCOMPARE(s.key(), DictationKey::Fn);
        QCOMPARE(s.language(), Language::Auto);
        QVERIFY(!s.sounds());
        QVERIFY(!s.restoreClipboard());
        QCOMPARE(s.theme(), Theme::Dark);
        QVERIFY(!s.correctionShortcut());
        QCOMPARE(s.correctionKeyCode(), -2);
        QCOMPARE(s.correctionModifiers(), 0xFFFFFFFFFFFFFFF0ull);
        QCOMPARE(s.correctionLabel(), QStringLiteral("⌘⇧K"));
        QVERIFY(!s.correctionDoubleCopy());
        QVERIFY(!s.correctorUsesLocalModel());
        QCOMPARE(s.translateTarget(), QStringLiteral("espagnol"));
        QCOMPARE(s.translateApps(), QStringList({"a", "b"}));
        QVERIFY(!s.voiceCommands());
        QVERIFY(!s.adaptTone());
        QVERIFY(s.livePreview());
        QVERIFY(s.ownKeyMode());
        QCOMPARE(s.microphoneUID(), QStringLiteral("mic"));
        QCOMPARE(s.performanceMode(), PerformanceMode::Full);
        QVERIFY(!s.useLanguageTool());
        QCOMPARE(s.punctuation(), PunctuationLevel::Normal);
        QCOMPARE(s.correctionScope(), CorrectionScope(17));
        QCOMPARE(s.typingWPM(), -5);
        QCOMPARE(s.transcriptionEngine(), TranscriptionEngine::Local);
        QCOMPARE(s.rewriteEngine(), RewriteEngine::None);
        QCOMPARE(s.deepgramModel(), QStringLiteral("nova-2"));
        QCOMPARE(s.openRouterModel(), QStringLiteral("x/y"));
    }

    void assigningSameValueWritesWithoutNotifying()
    {
        QTemporaryDir dir;
        Defaults d(domain(), dir.path());
        AppSettings s(d);
        QSignalSpy spy(&s, &AppSettings::soundsChanged);
        s.setSounds(true);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(Defaults(domain(), dir.path()).object(QStringLiteral("sounds")), QJsonValue(true));
        s.setSounds(false);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(Defaults(domain(), dir.path()).object(QStringLiteral("sounds")), QJsonValue(false));

        QSignalSpy apps(&s, &AppSettings::translateAppsChanged);
        s.setTranslateApps({QStringLiteral("a")});
        s.setTranslateApps({QStringLiteral("a")});
        s.setTranslateApps({QStringLiteral("b")});
        QCOMPARE(apps.count(), 2);
    }

    void clearedMicrophoneIsRemoved()
    {
        QTemporaryDir dir;
        Defaults d(domain(), dir.path());
        AppSettings s(d);
        QSignalSpy spy(&s, &AppSettings::microphoneUIDChanged);
        s.setMicrophoneUIDText(QStringLiteral("mic"));
        QVERIFY(Defaults(domain(), dir.path()).contains(QStringLiteral("microphoneUID")));
        s.setMicrophoneUID(std::nullopt);
        QCOMPARE(spy.count(), 2);
        QVERIFY(!Defaults(domain(), dir.path()).contains(QStringLiteral("microphoneUID")));
        Defaults again(domain(), dir.path());
        QCOMPARE(AppSettings(again).microphoneUID(), std::nullopt);
    }

    void emptiedScopeIsWrittenAsZeroAndReadAsDefault()
    {
        QTemporaryDir dir;
        Defaults d(domain(), dir.path());
        AppSettings s(d);
        s.setCorrectionScope(CorrectionScope(0));
        QCOMPARE(s.correctionScopeRaw(), 0);
        QCOMPARE(Defaults(domain(), dir.path()).object(QStringLiteral("correctionScope")), QJsonValue(0));
        Defaults again(domain(), dir.path());
        QCOMPARE(AppSettings(again).correctionScopeRaw(), 15);
    }

    // Two copies of the program change different settings: both changes stay.
    void twoCopiesKeepEachOthersChanges()
    {
        QTemporaryDir dir;
        Defaults da(domain(), dir.path());
        Defaults db(domain(), dir.path());
        AppSettings a(da), b(db);
        a.setSounds(false);
        b.setLanguage(Language::De);
        Defaults d(domain(), dir.path());
        AppSettings next(d);
        QVERIFY(!next.sounds());
        QCOMPARE(next.language(), Language::De);
    }

    void widgetPaletteFollowsTheTheme()
    {
        QTemporaryDir dir;
        Defaults d(domain(), dir.path());
        AppSettings s(d);
        ThemePalette::follow(&s);
        s.setTheme(Theme::Dark);
        QCOMPARE(Defaults(domain(), dir.path()).object(QStringLiteral("theme")), QJsonValue("dark"));
        QVERIFY(qApp->property("ombryDark").toBool());
        QVERIFY(qApp->palette().color(QPalette::Window).lightness() < 64);
        s.setTheme(Theme::Light);
        QVERIFY(!qApp->property("ombryDark").toBool());
        QVERIFY(qApp->palette().color(QPalette::Window).lightness() > 128);
    }

    // A settings file broken by hand survives a start: the settings read as their
    // defaults, the next change writes a new file, the user's bytes stay aside.
    void brokenFileSurvivesAStart_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("trailing comma")
            << QByteArray("{\n  \"sounds\" : false,\n  \"typingWPM\" : 95,\n  \"theme\" : \"dark\",\n}\n");
        QTest::newRow("cut short") << QByteArray("{\"sounds\":false,\"typingWPM\":9");
    }
    void brokenFileSurvivesAStart()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QVERIFY(TestEnv::writeFile(fileIn(dir), bytes));
        {
            Defaults d(domain(), dir.path());
            AppSettings s(d);
            QVERIFY(s.sounds());
            QCOMPARE(s.typingWPM(), 40);
            QCOMPARE(s.theme(), Theme::Light);
            s.setLanguage(Language::Auto);
        }
        const QStringList aside = QDir(dir.path()).entryList({domain() + QStringLiteral(".json.illisible-*")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(TestEnv::readFile(dir.filePath(aside.first())), bytes);
        QCOMPARE(QJsonDocument::fromJson(TestEnv::readFile(fileIn(dir))).object(), QJsonObject({{"language", "auto"}}));
        // The next start reads the new file and moves nothing more.
        Defaults d(domain(), dir.path());
        AppSettings s(d);
        QCOMPARE(s.language(), Language::Auto);
        QCOMPARE(QDir(dir.path()).entryList({domain() + QStringLiteral(".json.illisible-*")}, QDir::Files), aside);
    }

    void sharedInstanceUsesStandardStore()
    {
        QCOMPARE(TestEnv::settings(), TestEnv::settings());
        TestEnv::settings()->setTypingWPM(72);
        QCOMPARE(Defaults(domain()).integer(QStringLiteral("typingWPM")), qint64(72));
    }
};

OMBRY_TEST_GUI_MAIN(TestSettings)
#include "tst_settings.moc"
