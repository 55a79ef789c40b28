#include "shell/StatusMenu.h"
#include "shell/Tray.h"
#include "audio/MicrophoneList.h"
#include "calls/CallTranslator.h"
#include "calls/MeetingRecorder.h"
#include "engines/EngineReadiness.h"
#include "fakes/FakeMeetingMic.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QMenu>
#include <QRegularExpression>
#include <QThread>
#include <qcoro/qcorotimer.h>

#include <chrono>

namespace {

// The menu's items as text: titles, "-" for a separator, "!" before a disabled
// item, "*" before a checked one, "title>" for a submenu.
QStringList describe(const QMenu *menu)
{
    QStringList out;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator()) {
            out << QStringLiteral("-");
            continue;
        }
        QString text = action->text();
        if (action->menu())
            text += QLatin1Char('>');
        if (action->isChecked())
            text.prepend(QLatin1Char('*'));
        if (!action->isEnabled())
            text.prepend(QLatin1Char('!'));
        out << text;
    }
    return out;
}

QAction *find(const QMenu *menu, const QStringList &path)
{
    for (QAction *action : menu->actions()) {
        if (action->text() != path.first())
            continue;
        if (path.size() == 1)
            return action;
        return action->menu() ? find(action->menu(), path.mid(1)) : nullptr;
    }
    return nullptr;
}

Dictation dictation(const QString &text)
{
    Dictation d;
    d.date = QDateTime::currentDateTimeUtc();
    d.finalText = text;
    d.rawText = text;
    return d;
}

const QList<Microphones::Device> kTwoMics = {{1, QStringLiteral("alsa_input.usb"), QStringLiteral("Micro USB & casque")},
                                             {2, QStringLiteral("alsa_input.pci"), QStringLiteral("Micro interne")}};

QCoro::Task<QString> heldTranscription(const bool *released)
{
    while (!*released)
        co_await QCoro::sleepFor(std::chrono::milliseconds(10));
    co_return QString();
}

// A meeting recorder over a fake microphone; its transcriptions wait for release().
struct Meetings
{
    QTemporaryDir dir;
    Store store{dir.filePath(QStringLiteral("data"))};
    std::shared_ptr<FakeMeetingMic> mic = std::make_shared<FakeMeetingMic>();
    bool released = false;
    std::unique_ptr<MeetingRecorder> recorder;

    Meetings()
    {
        MeetingServices s;
        s.microphoneAllowed = [] { return true; };
        s.makeCapture = FakeMeetingMic::maker(mic);
        s.transcribe = [this](QByteArray, QString, QStringList) { return heldTranscription(&released); };
        s.complete = [](QString, QString, QString) -> QCoro::Task<QString> { co_return QString(); };
        s.store = &store;
        recorder = std::make_unique<MeetingRecorder>(std::move(s));
    }

    bool reach(MeetingRecorder::State state)
    {
        const auto at = [this](MeetingRecorder::State s) {
            return TestEnv::waitFor([&] { return recorder->state() == s; });
        };
        if (state == MeetingRecorder::State::Idle)
            return at(state);
        recorder->toggle();
        if (!at(MeetingRecorder::State::Recording))
            return false;
        if (state == MeetingRecorder::State::Recording)
            return true;
        // Longer than the shortest meeting that is processed.
        if (!mic->feed(QByteArray(16000 * 2 * 4, '\x10')))
            return false;
        recorder->toggle();
        return at(state);
    }

    // Back to idle, nothing left running.
    bool release()
    {
        released = true;
        if (recorder->state() == MeetingRecorder::State::Recording)
            recorder->toggle();
        return TestEnv::waitFor([&] { return recorder->state() == MeetingRecorder::State::Idle; }, 10000);
    }
};

} // namespace

class TestTray : public QObject
{
    Q_OBJECT

    struct Rig
    {
        QTemporaryDir dir;
        Defaults defaults{QStringLiteral("tray"), dir.path()};
        AppSettings settings{defaults};
        Store store{dir.filePath(QStringLiteral("data"))};
        QList<Microphones::Device> devices;
        MicrophoneList microphones{[this] { return devices; }, [](std::function<void()>) { return false; }};
        EngineReadiness readiness{OmbryAI::Access{}};
        QList<int> delays;
        QList<std::function<void()>> delayed;
        std::unique_ptr<Tray> tray;
        int windows = 0;
        int settingsShown = 0;

        explicit Rig(CallTranslator *calls = nullptr, MeetingRecorder *meetings = nullptr,
                     std::function<QIcon(const QString &)> symbol = {})
        {
            Tray::Seams seams;
            seams.symbol = std::move(symbol);
            seams.after = [this](int ms, std::function<void()> work) {
                delays << ms;
                delayed << std::move(work);
            };
            tray = std::make_unique<Tray>(&settings, &store, nullptr, &microphones, &readiness, calls, meetings,
                                          std::move(seams));
            QObject::connect(tray.get(), &Tray::windowRequested, [this] { ++windows; });
            QObject::connect(tray.get(), &Tray::settingsRequested, [this] { ++settingsShown; });
        }
        QStringList top() { return describe(tray->menu()); }
    };

private Q_SLOTS:
    void init() { TestEnv::isolate(); }

    void topLevel_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<bool>("withCallsAndMeetings");
        QTest::addColumn<QStringList>("expected");
        const QStringList tail = {QStringLiteral("Corriger la sélection"), QStringLiteral("Lire la sélection (Ctrl+Alt+R)"),
                                  QStringLiteral("-"), QStringLiteral("Langue : Français>"), QStringLiteral("Micro>"),
                                  QStringLiteral("Touche : Ctrl droit>"), QStringLiteral("-"),
                                  QStringLiteral("Réglages…"), QStringLiteral("Quitter Ombry Voice")};
        QTest::newRow("empty history, no call or meeting yet")
            << QStringList() << false
            << (QStringList{QStringLiteral("Ouvrir Ombry Voice"), QStringLiteral("-"),
                            QStringLiteral("!Sous-titres d'appel en français"), QStringLiteral("!Démarrer une réunion")}
                + tail);
        QTest::newRow("with a history, newest first")
            << QStringList{QStringLiteral("Le plus récent"), QStringLiteral("Plus ancien")} << true
            << (QStringList{QStringLiteral("!Dernière dictée"), QStringLiteral("Le plus récent"), QStringLiteral("-"),
                            QStringLiteral("Ouvrir Ombry Voice"), QStringLiteral("-"),
                            QStringLiteral("Sous-titres d'appel en français"), QStringLiteral("Démarrer une réunion")}
                + tail);
        QTest::newRow("ampersand shown as itself")
            << QStringList{QStringLiteral("Tom & Jerry")} << true
            << (QStringList{QStringLiteral("!Dernière dictée"), QStringLiteral("Tom && Jerry"), QStringLiteral("-"),
                            QStringLiteral("Ouvrir Ombry Voice"), QStringLiteral("-"),
                            QStringLiteral("Sous-titres d'appel en français"), QStringLiteral("Démarrer une réunion")}
                + tail);
    }

    void topLevel()
    {
        QFETCH(QStringList, history);
        QFETCH(bool, withCallsAndMeetings);
        QFETCH(QStringList, expected);
        CallTranslator calls{CallServices{}};
        MeetingRecorder meetings{MeetingServices{}};
        Rig rig(withCallsAndMeetings ? &calls : nullptr, withCallsAndMeetings ? &meetings : nullptr);
        QList<Dictation> dictations;
        for (const QString &text : history)
            dictations << dictation(text);
        rig.store.setDictations(dictations);
        rig.tray->rebuild();
        QCOMPARE(rig.top(), expected);
    }

    void excerpt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString sixty = QString(60, QLatin1Char('a'));
        QTest::newRow("60 characters, whole") << sixty << sixty;
        QTest::newRow("61 characters, cut") << sixty + QStringLiteral("b") << sixty + QStringLiteral("…");
        // "é" written as e + combining accent is one character.
        const QString accented = QString(59, QLatin1Char('a')) + QStringLiteral("e\u0301");
        QTest::newRow("combining accent counts once") << accented << accented;
        QTest::newRow("cut never splits a character")
            << QString(59, QLatin1Char('a')) + QStringLiteral("e\u0301xyz")
            << QString(59, QLatin1Char('a')) + QStringLiteral("e\u0301…");
        QTest::newRow("empty") << QString() << QString();
    }

    void excerpt()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(StatusMenu::excerpt(text), shown);
    }

    void submenus_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QList<Microphones::Device>>("devices");
        QTest::addColumn<QString>("chosenMic");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("languages")
            << QStringLiteral("Langue : Français") << QList<Microphones::Device>() << QString()
            << QStringList{QStringLiteral("Automatique (je parle plusieurs langues)"), QStringLiteral("*Français"),
                           QStringLiteral("Anglais"), QStringLiteral("Espagnol"), QStringLiteral("Allemand"),
                           QStringLiteral("Italien")};
        QTest::newRow("keys, no Fn")
            << QStringLiteral("Touche : Ctrl droit") << QList<Microphones::Device>() << QString()
            << QStringList{QStringLiteral("Alt droit (AltGr)"), QStringLiteral("Super droit"),
                           QStringLiteral("*Ctrl droit")};
        QTest::newRow("no input device") << QStringLiteral("Micro") << QList<Microphones::Device>() << QString()
                                         << QStringList{QStringLiteral("*Micro du système")};
        QTest::newRow("two devices, the system's") << QStringLiteral("Micro") << kTwoMics << QString()
                                                   << QStringList{QStringLiteral("*Micro du système"),
                                                                  QStringLiteral("Micro USB && casque"),
                                                                  QStringLiteral("Micro interne")};
        QTest::newRow("two devices, one chosen") << QStringLiteral("Micro") << kTwoMics << QStringLiteral("alsa_input.pci")
                                                 << QStringList{QStringLiteral("Micro du système"),
                                                                QStringLiteral("Micro USB && casque"),
                                                                QStringLiteral("*Micro interne")};
        QTest::newRow("chosen device unplugged: no check")
            << QStringLiteral("Micro") << kTwoMics << QStringLiteral("alsa_input.gone")
            << QStringList{QStringLiteral("Micro du système"), QStringLiteral("Micro USB && casque"),
                           QStringLiteral("Micro interne")};
    }

    void submenus()
    {
        QFETCH(QString, title);
        QFETCH(QList<Microphones::Device>, devices);
        QFETCH(QString, chosenMic);
        QFETCH(QStringList, expected);
        Rig rig;
        rig.settings.setKey(DictationKey::RightControl);
        rig.settings.setMicrophoneUID(chosenMic.isEmpty() ? std::nullopt : std::optional<QString>(chosenMic));
        rig.devices = devices;
        rig.microphones.refresh();
        QVERIFY(TestEnv::waitFor([&] { return !rig.microphones.busy(); }));
        rig.tray->rebuild();
        QAction *action = find(rig.tray->menu(), {title});
        QVERIFY(action && action->menu());
        QCOMPARE(describe(action->menu()), expected);
    }

    void choosing_data()
    {
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("microphone");
        QTest::addColumn<QString>("key");
        QTest::newRow("Anglais") << QStringList{QStringLiteral("Langue : Français"), QStringLiteral("Anglais")}
                                 << QStringLiteral("en") << QStringLiteral("alsa_input.usb") << QStringLiteral("rightControl");
        QTest::newRow("automatic language")
            << QStringList{QStringLiteral("Langue : Français"), QStringLiteral("Automatique (je parle plusieurs langues)")}
            << QStringLiteral("auto") << QStringLiteral("alsa_input.usb") << QStringLiteral("rightControl");
        QTest::newRow("a microphone") << QStringList{QStringLiteral("Micro"), QStringLiteral("Micro interne")}
                                      << QStringLiteral("fr") << QStringLiteral("alsa_input.pci")
                                      << QStringLiteral("rightControl");
        QTest::newRow("back to the system's microphone")
            << QStringList{QStringLiteral("Micro"), QStringLiteral("Micro du système")} << QStringLiteral("fr") << QString()
            << QStringLiteral("rightControl");
        QTest::newRow("a key") << QStringList{QStringLiteral("Touche : Ctrl droit"), QStringLiteral("Alt droit (AltGr)")}
                               << QStringLiteral("fr") << QStringLiteral("alsa_input.usb") << QStringLiteral("rightOption");
    }

    void choosing()
    {
        QFETCH(QStringList, path);
        QFETCH(QString, language);
        QFETCH(QString, microphone);
        QFETCH(QString, key);
        Rig rig;
        rig.settings.setLanguage(Language::Fr);
        rig.settings.setKey(DictationKey::RightControl);
        rig.settings.setMicrophoneUID(QStringLiteral("alsa_input.usb"));
        rig.devices = kTwoMics;
        rig.microphones.refresh();
        QVERIFY(TestEnv::waitFor([&] { return !rig.microphones.busy(); }));
        rig.tray->rebuild();
        QAction *action = find(rig.tray->menu(), path);
        QVERIFY(action);
        action->trigger();
        QCOMPARE(rawValue(rig.settings.language()), language);
        QCOMPARE(rig.settings.microphoneUIDText(), microphone);
        QCOMPARE(rawValue(rig.settings.key()), key);
        // Written under the settings' own keys.
        QCOMPARE(rig.defaults.string(QStringLiteral("language")).value_or(QString()), language);
        // The menu follows the change without being opened.
        QVERIFY(TestEnv::waitFor([&] {
            return rig.top().contains(QStringLiteral("Langue : ") + StatusMenu::languageName(rig.settings.language()) + QLatin1Char('>'));
        }));
    }

    void selectionActionsWait_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QList<int>>("delays");
        QTest::addColumn<int>("windows");
        QTest::addColumn<int>("settingsShown");
        QTest::newRow("paste last") << QStringLiteral("Le plus récent") << QList<int>{300} << 0 << 0;
        QTest::newRow("correct") << QStringLiteral("Corriger la sélection") << QList<int>{300} << 0 << 0;
        QTest::newRow("read aloud") << QStringLiteral("Lire la sélection (Ctrl+Alt+R)") << QList<int>{300} << 0 << 0;
        QTest::newRow("window at once") << QStringLiteral("Ouvrir Ombry Voice") << QList<int>() << 1 << 0;
        QTest::newRow("settings at once") << QStringLiteral("Réglages…") << QList<int>() << 0 << 1;
    }

    void selectionActionsWait()
    {
        QFETCH(QString, title);
        QFETCH(QList<int>, delays);
        QFETCH(int, windows);
        QFETCH(int, settingsShown);
        Rig rig;
        rig.store.setDictations({dictation(QStringLiteral("Le plus récent"))});
        rig.tray->rebuild();
        QAction *action = find(rig.tray->menu(), {title});
        QVERIFY(action);
        action->trigger();
        QCOMPARE(rig.delays, delays);
        QCOMPARE(rig.windows, windows);
        QCOMPARE(rig.settingsShown, settingsShown);
        // Without a controller the delayed work does nothing, and does not crash.
        for (const auto &work : rig.delayed)
            work();
    }

    // The meeting item as the recorder stands, and what pressing it does.
    void meetingItem_data()
    {
        QTest::addColumn<bool>("withRecorder");
        QTest::addColumn<MeetingRecorder::State>("meeting");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("toggles");
        QTest::newRow("idle") << true << MeetingRecorder::State::Idle << QStringLiteral("Démarrer une réunion") << 1;
        QTest::newRow("recording: checked, stops")
            << true << MeetingRecorder::State::Recording << QStringLiteral("*Arrêter la réunion") << 1;
        QTest::newRow("processing: offered again")
            << true << MeetingRecorder::State::Processing << QStringLiteral("Démarrer une réunion") << 1;
        QTest::newRow("no recorder: disabled")
            << false << MeetingRecorder::State::Idle << QStringLiteral("!Démarrer une réunion") << 0;
    }

    void meetingItem()
    {
        QFETCH(bool, withRecorder);
        QFETCH(MeetingRecorder::State, meeting);
        QFETCH(QString, shown);
        QFETCH(int, toggles);
        int toggled = 0;
        QStringList symbols;
        Meetings meetings;
        QVERIFY(meetings.reach(meeting));
        Rig rig(nullptr, withRecorder ? meetings.recorder.get() : nullptr, [&symbols](const QString &symbol) {
            symbols << symbol;
            return QIcon();
        });
        connect(rig.tray.get(), &Tray::meetingToggleRequested, this, [&toggled] { ++toggled; });
        symbols.clear();
        rig.tray->rebuild();
        const QStringList top = rig.top();
        QVERIFY2(top.contains(shown), qPrintable(top.join(QLatin1Char('|'))));
        // Right after the call-subtitles item, with the meeting symbol.
        QCOMPARE(top.indexOf(shown), top.indexOf(QRegularExpression(QStringLiteral("^!?\\*?(Sous-titres|Arrêter les sous-titres).*"))) + 1);
        QVERIFY(symbols.contains(QStringLiteral("person.2.wave.2")));
        const QString title = QString(shown).remove(QLatin1Char('!')).remove(QLatin1Char('*'));
        QAction *action = find(rig.tray->menu(), {title});
        QVERIFY(action);
        QCOMPARE(action->isCheckable(), shown.startsWith(QLatin1Char('*')));
        action->trigger();
        QCOMPARE(toggled, toggles);
        // Nothing waits for the menu to close.
        QVERIFY(rig.delays.isEmpty());
        QVERIFY(meetings.release());
    }

    // A meeting that starts shows without opening the menu.
    void meetingChangeShowsWithoutOpening()
    {
        Meetings meetings;
        Rig rig(nullptr, meetings.recorder.get());
        QVERIFY(rig.top().contains(QStringLiteral("Démarrer une réunion")));
        QVERIFY(meetings.reach(MeetingRecorder::State::Recording));
        QVERIFY(TestEnv::waitFor([&] { return rig.top().contains(QStringLiteral("*Arrêter la réunion")); }));
        // While the menu is open the change waits for it to close.
        Q_EMIT rig.tray->menu()->aboutToShow();
        QVERIFY(meetings.release());
        QCoreApplication::processEvents();
        QVERIFY(rig.top().contains(QStringLiteral("*Arrêter la réunion")));
        Q_EMIT rig.tray->menu()->aboutToHide();
        QVERIFY(TestEnv::waitFor([&] { return rig.top().contains(QStringLiteral("Démarrer une réunion")); }));
    }

    void rebuildsDoNotPileUp()
    {
        Rig rig;
        for (int i = 0; i < 20; ++i)
            rig.tray->rebuild();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(rig.tray->menu()->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly).size(), 3);
    }

    void changesWaitWhileOpenOnlyForAnOpenMenu()
    {
        Rig rig;
        QSignalSpy rebuilt(rig.tray.get(), &Tray::rebuilt);
        rig.store.setDictations({dictation(QStringLiteral("un"))});
        rig.settings.setLanguage(Language::De);
        // Both changes come down to one rebuild.
        QVERIFY(TestEnv::waitFor([&] { return rebuilt.size() >= 1; }));
        QCoreApplication::processEvents();
        QCOMPARE(rebuilt.size(), 1);
        QCOMPARE(rig.top().first(), QStringLiteral("!Dernière dictée"));
    }

    void microphonesAreReadOffTheMainThread()
    {
        QThread *readOn = nullptr;
        std::function<void()> changed;
        MicrophoneList list(
            [&readOn] {
                readOn = QThread::currentThread();
                return kTwoMics;
            },
            [&changed](std::function<void()> onChange) {
                changed = std::move(onChange);
                return true;
            });
        QSignalSpy spy(&list, &MicrophoneList::devicesChanged);
        list.refresh();
        QVERIFY(list.devices().isEmpty()); // nothing waited for
        QVERIFY(spy.wait(5000));
        QVERIFY(readOn && readOn != QThread::currentThread());
        QCOMPARE(list.devices(), kTwoMics);
        // The server's news leads to a fresh read; an unchanged list is not announced.
        QVERIFY(changed);
        changed();
        QVERIFY(TestEnv::waitFor([&] { return !list.busy(); }));
        QTest::qWait(50);
        QCOMPARE(spy.size(), 1);
    }

    void stateIconsDiffer()
    {
        using State = DictationController::State;
        const QImage idle = Tray::stateIcon(State::Idle).pixmap(32).toImage();
        const QImage recording = Tray::stateIcon(State::Recording).pixmap(32).toImage();
        const QImage working = Tray::stateIcon(State::Processing).pixmap(32).toImage();
        QVERIFY(!idle.isNull());
        QVERIFY(idle != recording);
        QVERIFY(idle != working);
        QVERIFY(recording != working);
        QCOMPARE(Tray::stateIcon(State::Correcting).pixmap(32).toImage(), working);
    }
};

OMBRY_TEST_GUI_MAIN(TestTray)
#include "tst_tray.moc"
