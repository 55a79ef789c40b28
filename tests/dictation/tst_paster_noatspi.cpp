#include "platform/Accessibility.h"
#include "support/TestEnv.h"

#include <QCoreApplication>

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
};

OMBRY_TEST_MAIN(TestPasterNoAtspi)
#include "tst_paster_noatspi.moc"
