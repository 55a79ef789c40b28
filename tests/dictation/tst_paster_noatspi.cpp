#include "platform/Accessibility.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QThread>

// Without a session bus or display there is no accessibility bus: every query
// answers none, and nothing past the failed initialisation is called (which
// would end the process).
class TestPasterNoAtspi : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("DISPLAY");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ombry-bus");
    }

    void everyQueryAnswersNone()
    {
        Accessibility::warmUp();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(Accessibility::selectedText(1000), std::nullopt);
            QCOMPARE(Accessibility::focusedIsEditable(1000), std::nullopt);
        }
        QVERIFY(!Accessibility::available());
    }

    void backgroundReadsAnswerNoneOnce_data()
    {
        QTest::addColumn<int>("reads");
        QTest::newRow("one read") << 1;
        QTest::newRow("three reads at once") << 3;
    }

    // Each read answers exactly once, later, on this thread: not again when its
    // deadline passes.
    void backgroundReadsAnswerNoneOnce()
    {
        QFETCH(int, reads);
        QList<std::optional<QString>> answers;
        QList<bool> onThisThread;
        for (int i = 0; i < reads; ++i) {
            Accessibility::readSelectedText(100, [&](std::optional<QString> text) {
                answers << text;
                onThisThread << (QThread::currentThread() == thread());
            });
        }
        QVERIFY(answers.isEmpty());
        QVERIFY(TestEnv::waitFor([&] { return answers.size() == reads; }, 2000));
        // The deadline of a read never answered by a walk is at most 2.5 s.
        QTest::qWait(2700);
        QCOMPARE(answers, QList<std::optional<QString>>(reads, std::nullopt));
        QCOMPARE(onThisThread, QList<bool>(reads, true));
    }
};

OMBRY_TEST_MAIN(TestPasterNoAtspi)
#include "tst_paster_noatspi.moc"
