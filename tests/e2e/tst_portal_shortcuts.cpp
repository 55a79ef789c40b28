#include "dictation/HotkeyMonitor.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "support/TestEnv.h"

#include <QProcess>
#include <QTemporaryDir>

// The keys through the desktop's global shortcuts portal: a portal service on
// the session bus binds what the monitor asks and sends the shortcuts'
// activations, which drive the dictation as the key does.
using namespace Qt::StringLiterals;

class TestPortalShortcuts : public QObject
{
    Q_OBJECT

    QProcess portal_;
    QByteArray portalOut_;
    std::unique_ptr<HotkeyMonitor> m_;
    QStringList calls_;

    static QString log()
    {
        Log::waitUntilWritten();
        return QString::fromUtf8(TestEnv::readFile(Log::path()));
    }

    bool portalSaid(const QByteArray &line)
    {
        return TestEnv::waitFor([&] {
            portalOut_ += portal_.readAllStandardOutput();
            return portalOut_.split('\n').contains(line);
        });
    }

    std::unique_ptr<HotkeyMonitor> monitor()
    {
        auto m = std::make_unique<HotkeyMonitor>(TestEnv::settings());
        m->setRoute(SessionRoutes::Keys::Portal);
        const auto record = [this](const char *name) { return [this, name] { calls_ << QString::fromLatin1(name); }; };
        m->onPress = record("press");
        m->onRelease = record("release");
        m->onCorrect = record("correct");
        m->onTranslate = record("translate");
        m->onSpeak = record("speak");
        m->onCancel = record("cancel");
        m->onPasteLast = record("pasteLast");
        return m;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"), "run under scripts/session");
        AppSettings *s = TestEnv::settings();
        s->setKey(DictationKey::RightControl);
        s->setCorrectionShortcut(true);
        s->setCorrectionDoubleCopy(false);
        s->setCorrectionKeyCode(8);
        s->setCorrectionModifiers(0xC0000);
        portal_.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/fake_shortcuts_portal"), {});
        QVERIFY(portal_.waitForStarted());
        QVERIFY(portalSaid("ready"));

        m_ = monitor();
        m_->start();
        QVERIFY2(TestEnv::waitFor([&] { return m_->active(); }), qPrintable(log()));
        QVERIFY(portalSaid("bound dictee=Control_R;annuler=;corriger=CTRL+ALT+c;traduire=;lire=CTRL+ALT+r;recoller=CTRL+ALT+v"));
        QVERIFY(log().contains(u"hotkey: portail GlobalShortcuts actif (dictee = Control_R, annuler, corriger = CTRL+ALT+c"_s));
    }

    void cleanupTestCase()
    {
        m_.reset();
        portal_.closeWriteChannel();
        if (!portal_.waitForFinished(5000))
            portal_.kill();
    }

    void signals_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<bool>("dictating");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("maintien") << QStringList{u"activate dictee"_s, u"deactivate dictee"_s} << false
                                  << QStringList{u"press"_s, u"release"_s};
        QTest::newRow("frappe rapide") << QStringList{u"activate dictee"_s, u"deactivate dictee"_s, u"activate dictee"_s,
                                                      u"deactivate dictee"_s}
                                       << false << QStringList{u"press"_s, u"release"_s, u"press"_s, u"release"_s};
        QTest::newRow("annuler pendant la dictée") << QStringList{u"activate annuler"_s, u"deactivate annuler"_s} << true
                                                   << QStringList{u"cancel"_s};
        QTest::newRow("annuler hors dictée") << QStringList{u"activate annuler"_s} << false << QStringList{};
        QTest::newRow("corriger") << QStringList{u"activate corriger"_s, u"deactivate corriger"_s} << false
                                  << QStringList{u"correct"_s};
        QTest::newRow("traduire") << QStringList{u"activate traduire"_s} << false << QStringList{u"translate"_s};
        QTest::newRow("recoller") << QStringList{u"activate recoller"_s} << false << QStringList{u"pasteLast"_s};
        QTest::newRow("session d'un autre") << QStringList{u"foreign dictee"_s, u"foreign recoller"_s} << false
                                            << QStringList{};
        QTest::newRow("raccourci inconnu") << QStringList{u"activate dictee-debut-x"_s} << false << QStringList{};
    }

    void signals()
    {
        QFETCH(QStringList, commands);
        QFETCH(bool, dictating);
        QFETCH(QStringList, calls);
        calls_.clear();
        m_->setDictating(dictating);
        // "lire" last: once it is heard, everything before it was.
        commands << u"activate lire"_s;
        for (const QString &c : std::as_const(commands))
            portal_.write((c + u'\n').toUtf8());
        QVERIFY(TestEnv::waitFor([&] { return calls_.contains(u"speak"_s); }));
        calls_.removeLast();
        QCOMPARE(calls_, calls);
    }

    // Refused by the user: the keyboards themselves, where they can be read.
    void refusalFallsBackToTheKeyboards()
    {
        QTemporaryDir noKeyboards;
        qputenv("OMBRY_TEST_INPUT_DIR", QFile::encodeName(noKeyboards.path()));
        portal_.write("refuse\n");
        auto m = monitor();
        m->start();
        QVERIFY(portalSaid("bound "));
        QVERIFY2(TestEnv::waitFor([] { return log().contains(u"hotkey: portail GlobalShortcuts refusé (raccourcis non liés, réponse 1)"_s); }),
                 qPrintable(log()));
        QVERIFY(TestEnv::waitFor([] { return log().contains(u"hotkey: claviers non lus (aucun clavier)"_s); }));
        QVERIFY(!m->active());
        qunsetenv("OMBRY_TEST_INPUT_DIR");
    }
};

OMBRY_TEST_MAIN(TestPortalShortcuts)
#include "tst_portal_shortcuts.moc"
