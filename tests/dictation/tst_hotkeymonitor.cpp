#include "dictation/HotkeyMonitor.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "platform/KeyTable.h"
#include "support/TestEnv.h"

// The keyboard front end's decisions, driven with events as the input hub
// delivers them.
using namespace Qt::StringLiterals;

class TestHotkeyMonitor : public QObject
{
    Q_OBJECT

    std::unique_ptr<HotkeyMonitor> m_;
    QStringList calls_;
    qint64 now_ = 50000;

    static QByteArray log()
    {
        Log::waitUntilWritten();
        return TestEnv::readFile(Log::path());
    }

private Q_SLOTS:
    void init()
    {
        AppSettings *s = TestEnv::settings();
        s->setKey(DictationKey::RightControl);
        s->setCorrectionShortcut(true);
        s->setCorrectionDoubleCopy(true);
        s->setCorrectionKeyCode(8);
        s->setCorrectionModifiers(0xC0000);
        calls_.clear();
        m_ = std::make_unique<HotkeyMonitor>(s);
        m_->clock = [this] { return now_; };
        const auto record = [this](const char *name) { return [this, name] { calls_ << QString::fromLatin1(name); }; };
        m_->onPress = record("press");
        m_->onRelease = record("release");
        m_->onCorrect = record("correct");
        m_->onDoubleCopy = record("double");
        m_->onTripleCopy = record("triple");
        m_->onSpeak = record("speak");
        m_->onCancel = record("cancel");
        m_->onPasteLast = record("pasteLast");
        m_->onChord = record("chord");
        m_->onTranslate = record("translate");
    }

    void actions_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<bool>("dictating");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("known");
        QTest::newRow("maintien") << QStringList{u"dictee-debut"_s, u"dictee-fin"_s} << false
                                  << QStringList{u"press"_s, u"release"_s} << true;
        QTest::newRow("début répété (touche qui se répète)")
            << QStringList{u"dictee-debut"_s, u"dictee-debut"_s, u"dictee-fin"_s} << false
            << QStringList{u"press"_s, u"release"_s} << true;
        QTest::newRow("fin sans début") << QStringList{u"dictee-fin"_s} << false << QStringList{} << true;
        QTest::newRow("basculer est une frappe") << QStringList{u"dictee-basculer"_s} << false
                                                 << QStringList{u"press"_s, u"release"_s} << true;
        QTest::newRow("annuler pendant la dictée") << QStringList{u"annuler"_s} << true << QStringList{u"cancel"_s} << true;
        QTest::newRow("annuler hors dictée") << QStringList{u"annuler"_s} << false << QStringList{} << true;
        QTest::newRow("corriger") << QStringList{u"corriger"_s} << false << QStringList{u"correct"_s} << true;
        QTest::newRow("traduire") << QStringList{u"traduire"_s} << false << QStringList{u"translate"_s} << true;
        QTest::newRow("lire") << QStringList{u"lire"_s} << false << QStringList{u"speak"_s} << true;
        QTest::newRow("recoller") << QStringList{u"recoller"_s} << false << QStringList{u"pasteLast"_s} << true;
        QTest::newRow("inconnue") << QStringList{u"dictee"_s} << true << QStringList{} << false;
    }

    void actions()
    {
        QFETCH(QStringList, actions);
        QFETCH(bool, dictating);
        QFETCH(QStringList, calls);
        QFETCH(bool, known);
        m_->setDictating(dictating);
        for (const QString &action : actions)
            QCOMPARE(m_->perform(action), known);
        QTest::qWait(20);
        QCOMPARE(calls_, calls);
    }

    void portalTriggers_data()
    {
        QTest::addColumn<int>("dictationKey");
        QTest::addColumn<bool>("doubleCopy");
        QTest::addColumn<QStringList>("triggers"); // dictee, annuler, corriger, traduire, lire, recoller
        QTest::newRow("Ctrl droit, double copie")
            << int(DictationKey::RightControl) << true
            << QStringList{u"Control_R"_s, {}, {}, {}, u"CTRL+ALT+r"_s, u"CTRL+ALT+v"_s};
        QTest::newRow("AltGr, raccourci de correction")
            << int(DictationKey::RightAlt) << false
            << QStringList{u"Alt_R"_s, {}, u"CTRL+ALT+c"_s, {}, u"CTRL+ALT+r"_s, u"CTRL+ALT+v"_s};
        QTest::newRow("Fn n'a pas de nom") << int(DictationKey::Fn) << true
                                           << QStringList{{}, {}, {}, {}, u"CTRL+ALT+r"_s, u"CTRL+ALT+v"_s};
    }

    void portalTriggers()
    {
        QFETCH(int, dictationKey);
        QFETCH(bool, doubleCopy);
        QFETCH(QStringList, triggers);
        TestEnv::settings()->setKey(DictationKey(dictationKey));
        TestEnv::settings()->setCorrectionDoubleCopy(doubleCopy);
        QStringList ids, got;
        for (const PortalShortcuts::Shortcut &s : m_->portalShortcuts()) {
            ids << s.id;
            got << s.trigger;
        }
        QCOMPARE(ids, (QStringList{u"dictee"_s, u"annuler"_s, u"corriger"_s, u"traduire"_s, u"lire"_s, u"recoller"_s}));
        QCOMPARE(got, triggers);
    }

    void oneEdgeEachWayWhateverOtherModifiersDo()
    {
        m_->handle(62, 0x42000, 0, 3);
        m_->handle(62, 0x42000 | 0x20002, 0, 3); // Shift joins: same down state
        m_->handle(62, 0x42000, 0, 3);
        m_->handle(62, 0, 0, 3);
        m_->handle(62, 0, 0, 3); // an up without a down
        QCOMPARE(calls_, (QStringList{QStringLiteral("press"), QStringLiteral("release")}));
    }

    void logLineForm()
    {
        m_->handle(62, 0x42000, 0, 12);
        m_->handle(62, 0x0, 0, 12);
        m_->handle(62, 0x42000, HotkeyMonitor::PostedByAnotherProgram, 5);
        const QByteArray text = log();
        QVERIFY(text.contains("Z touche: rightControl enfoncée (0x42000, source clavier, état 12)\n"));
        QVERIFY(text.contains("Z touche: rightControl relâchée (0x0, source clavier, état 12)\n"));
        QVERIFY(text.contains("Z touche: rightControl enfoncée (0x42000, source XTEST, état 5)\n"));
    }

    void postedKeysAreLoggedAndIgnored()
    {
        m_->handle(62, 0x42000, HotkeyMonitor::PostedByAnotherProgram, 5);
        m_->handle(62, 0x42000, 4242, 0);
        QVERIFY(calls_.isEmpty());
        QVERIFY(log().contains("source pid 4242, état 0)"));
        m_->handle(62, 0x42000, QCoreApplication::applicationPid(), 0); // our own process counts
        QCOMPARE(calls_, QStringList{QStringLiteral("press")});
    }

    void otherKeysAreNotTheDictationKey()
    {
        TestEnv::settings()->setKey(DictationKey::RightAlt);
        const qsizetype before = log().size();
        m_->handle(55, 0x100008, 0, 1);  // left Command
        m_->handle(59, 0x40001, 0, 1);   // left Control
        m_->handle(62, 0x42000, 0, 1);   // right Control is not the chosen key now
        QVERIFY(calls_.isEmpty());
        QCOMPARE(log().size(), before);
        m_->handle(61, 0x80040, 0, 1);
        QCOMPARE(calls_, QStringList{QStringLiteral("press")});
    }

    void restartForgetsTheHeldKey()
    {
        // Without an X server: unit tests must not grab keys on a shared desktop.
        const QByteArray display = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        m_->handle(62, 0x42000, 0, 1);
        m_->restart();
        qputenv("DISPLAY", display);
        QVERIFY(!m_->active());
        QVERIFY(log().contains("hotkey: event tap refusé (pas de serveur X), touches globales indisponibles"));
        m_->handle(62, 0, 0, 1);
        m_->handle(62, 0x42000, 0, 1);
        QCOMPARE(calls_, (QStringList{QStringLiteral("press"), QStringLiteral("press")}));
    }

    void modifierChangesUpdateLiveFlagsAtOnce()
    {
        m_->modifierChange(56, 0x20002, 0, 1);
        QCOMPARE(HotkeyMonitor::liveFlags(), quint64(0x20002));
        m_->modifierChange(62, 0x62002, 0, 1);
        QCOMPARE(HotkeyMonitor::liveFlags(), quint64(0x62002));
        QVERIFY(calls_.isEmpty()); // handle() is queued
        QVERIFY(TestEnv::waitFor([&] { return calls_ == QStringList{QStringLiteral("press")}; }));
        m_->modifierChange(62, 0x20002, 0, 1);
        m_->modifierChange(56, 0, 0, 1);
        QCOMPARE(HotkeyMonitor::liveFlags(), quint64(0));
    }

    void keyDowns_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<qulonglong>("flags");
        QTest::addColumn<bool>("autorepeat");
        QTest::addColumn<bool>("dictating");
        QTest::addColumn<bool>("recorderListens");
        QTest::addColumn<bool>("swallowed");
        QTest::addColumn<QString>("call");

        const qulonglong ctrlAlt = 0xC0000 | 0x21;
        QTest::newRow("Ctrl+Alt+V") << 9 << ctrlAlt << false << false << false << true << "pasteLast";
        QTest::newRow("Ctrl+Alt+V held") << 9 << ctrlAlt << true << false << false << true << "";
        QTest::newRow("Ctrl+Alt+Shift+V is another shortcut") << 9 << (ctrlAlt | 0x20002) << false << false << false
                                                             << false << "";
        QTest::newRow("Ctrl+Alt+R") << 15 << ctrlAlt << false << false << false << true << "speak";
        QTest::newRow("Super+Ctrl+Alt+R") << 15 << (ctrlAlt | 0x100008) << false << false << false << false << "";
        QTest::newRow("Ctrl+Alt+V while the recorder listens") << 9 << ctrlAlt << false << false << true << false << "";
        QTest::newRow("Escape while recording") << 53 << 0ull << false << true << false << true << "cancel";
        QTest::newRow("Shift+Escape while recording") << 53 << 0x20002ull << false << true << true << true << "cancel";
        QTest::newRow("Escape while idle") << 53 << 0ull << false << false << false << false << "";
        QTest::newRow("Ctrl+Alt+C in double-copy mode") << 8 << ctrlAlt << false << false << false << false << "";
        QTest::newRow("a letter") << 0 << 0ull << false << false << false << false << "";
    }

    void keyDowns()
    {
        QFETCH(int, key);
        QFETCH(qulonglong, flags);
        QFETCH(bool, autorepeat);
        QFETCH(bool, dictating);
        QFETCH(bool, recorderListens);
        QFETCH(bool, swallowed);
        QFETCH(QString, call);
        m_->setDictating(dictating);
        m_->setRecording(recorderListens);
        QCOMPARE(m_->keyDown(quint16(key), flags, autorepeat, 0), swallowed);
        QTest::qWait(20);
        QCOMPARE(calls_, call.isEmpty() ? QStringList() : QStringList{call});
    }

    void correctionShortcutMode()
    {
        TestEnv::settings()->setCorrectionDoubleCopy(false);
        QVERIFY(m_->keyDown(8, 0xC0000, false, 0));
        QVERIFY(m_->keyDown(8, 0xC0000, true, 0));
        QVERIFY(!m_->keyDown(8, 0x40000, false, 0)); // a plain copy
        now_ += 100;
        QVERIFY(!m_->keyDown(8, 0x40000, false, 0)); // no series in this mode
        QTest::qWait(500);
        QCOMPARE(calls_, QStringList{QStringLiteral("correct")});

        TestEnv::settings()->setCorrectionShortcut(false);
        QVERIFY(!m_->keyDown(8, 0xC0000, false, 0));
        QVERIFY(m_->keyDown(9, 0xC0000, false, 0)); // the fixed shortcuts still work
    }

    void grabsFollowSettingsAndStates()
    {
        using G = X11InputHub::Grab;
        const G v{KeyTable::V, 0xC0000, false}, r{KeyTable::R, 0xC0000, false}, esc{KeyTable::Escape, 0, true};
        QCOMPARE(m_->wantedGrabs(), (QList<G>{v, r}));
        m_->setDictating(true);
        QCOMPARE(m_->wantedGrabs(), (QList<G>{esc, v, r}));
        TestEnv::settings()->setCorrectionDoubleCopy(false);
        TestEnv::settings()->setCorrectionKeyCode(2);
        TestEnv::settings()->setCorrectionModifiers(0x120000 | 0x100); // stray bits dropped
        QCOMPARE(m_->wantedGrabs(), (QList<G>{esc, v, r, G{2, 0x120000, false}}));
        m_->setRecording(true);
        QCOMPARE(m_->wantedGrabs(), (QList<G>{esc}));
        m_->setDictating(false);
        QVERIFY(m_->wantedGrabs().isEmpty());
    }

    void copySeries_data()
    {
        const quint64 ctrl = 0x40001, ctrlShift = 0x60003;
        QTest::addColumn<QList<int>>("gapsMs");
        QTest::addColumn<QList<quint64>>("flags"); // of each press
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("one copy") << QList<int>{} << QList<quint64>{ctrl} << QStringList{};
        QTest::newRow("two, 0.3 s apart") << QList<int>{300} << QList<quint64>{ctrl, ctrl} << QStringList{QStringLiteral("double")};
        QTest::newRow("three, 0.3 s apart") << QList<int>{300, 300} << QList<quint64>{ctrl, ctrl, ctrl}
                                            << QStringList{QStringLiteral("triple")};
        QTest::newRow("two, 0.6 s apart") << QList<int>{600} << QList<quint64>{ctrl, ctrl} << QStringList{};
        QTest::newRow("four: triple, then a new series") << QList<int>{100, 100, 100}
                                                         << QList<quint64>{ctrl, ctrl, ctrl, ctrl}
                                                         << QStringList{QStringLiteral("triple")};
        // The terminals' copy key counts like Ctrl+C, alone or mixed with it.
        QTest::newRow("Ctrl+C then Ctrl+Shift+C") << QList<int>{300} << QList<quint64>{ctrl, ctrlShift}
                                                  << QStringList{QStringLiteral("double")};
        QTest::newRow("Ctrl+Alt+Shift+C is not a copy") << QList<int>{300} << QList<quint64>{ctrl, 0xE0000}
                                                        << QStringList{};
    }

    void copySeries()
    {
        QFETCH(QList<int>, gapsMs);
        QFETCH(QList<quint64>, flags);
        QFETCH(QStringList, calls);
        QVERIFY(!m_->keyDown(8, flags[0], false, 0)); // the copy reaches the application
        for (qsizetype i = 0; i < gapsMs.size(); ++i) {
            now_ += gapsMs[i];
            QVERIFY(!m_->keyDown(8, flags[i + 1], false, 0));
        }
        QTest::qWait(600); // past the 0.4 s double-copy decision
        QCOMPARE(calls_, calls);
    }

    // The clipboard is judged against the first key of the series, not a later one.
    void copySeriesRemembersItsFirstKeyTime()
    {
        m_->keyDown(8, 0x40000, false, 0, 5000);
        now_ += 200;
        m_->keyDown(8, 0x40000, false, 0, 5200);
        QCOMPARE(HotkeyMonitor::copySeriesStart(), quint64(5000));
        now_ += 700;
        m_->keyDown(8, 0x60000, false, 0, 5900);
        QCOMPARE(HotkeyMonitor::copySeriesStart(), quint64(5900));
    }

    void copySeriesIgnoresRepeatsAndOtherPrograms()
    {
        m_->keyDown(8, 0x40000, false, 0);
        now_ += 100;
        m_->keyDown(8, 0x40000, true, 0);
        m_->keyDown(8, 0x40000, false, HotkeyMonitor::PostedByAnotherProgram);
        m_->setRecording(true);
        m_->keyDown(8, 0x40000, false, 0);
        QTest::qWait(500);
        QVERIFY(calls_.isEmpty());
        QCOMPARE(m_->copyCount, 1);
    }

    void chords_data()
    {
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<bool>("modifier");
        QTest::addColumn<bool>("chord");
        QTest::newRow("a letter at once") << 100 << false << true;
        QTest::newRow("another modifier") << 100 << true << true;
        QTest::newRow("a letter after 0.6 s") << 600 << false << false;
    }

    void chords()
    {
        QFETCH(int, afterMs);
        QFETCH(bool, modifier);
        QFETCH(bool, chord);
        m_->handle(62, 0x42000, 0, 1);
        now_ += afterMs;
        if (modifier)
            m_->modifierChange(56, 0x62002, 0, 1);
        else
            m_->keyDown(14, 0x42000, false, 0);
        QTest::qWait(20);
        QStringList expected{QStringLiteral("press")};
        if (chord)
            expected << QStringLiteral("chord");
        QCOMPARE(calls_, expected);
    }

    // Right Control held for one of our Control shortcuts: the shortcut runs and
    // the dictation key does not start a dictation.
    void swallowedShortcutsAreChords_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<quint64>("flags");
        QTest::addColumn<QString>("action");
        QTest::newRow("recorded ctrl+shift+k") << 40 << quint64(0x62000) << u"correct"_s;
        QTest::newRow("ctrl+alt+v") << 9 << quint64(0xC2000) << u"pasteLast"_s;
    }

    void swallowedShortcutsAreChords()
    {
        QFETCH(int, key);
        QFETCH(quint64, flags);
        QFETCH(QString, action);
        AppSettings *s = TestEnv::settings();
        s->setCorrectionDoubleCopy(false);
        s->setCorrectionKeyCode(40);
        s->setCorrectionModifiers(0x60000);
        m_->handle(62, 0x42000, 0, 1);
        now_ += 150;
        QVERIFY(m_->keyDown(quint16(key), flags, false, 0));
        QTest::qWait(20);
        QCOMPARE(calls_, (QStringList{u"press"_s, action, u"chord"_s}));
    }

    void noChordWithoutTheKeyOrFromOthers()
    {
        m_->keyDown(14, 0, false, 0);
        QTest::qWait(20);
        m_->handle(62, 0x42000, 0, 1);
        m_->keyDown(14, 0x42000, false, HotkeyMonitor::PostedByAnotherProgram);
        m_->setDictating(true);
        m_->keyDown(53, 0x42000, false, 0); // Escape while recording is ours
        QTest::qWait(20);
        QCOMPARE(calls_, (QStringList{QStringLiteral("press"), QStringLiteral("cancel")}));
    }
};

OMBRY_TEST_MAIN(TestHotkeyMonitor)
#include "tst_hotkeymonitor.moc"
