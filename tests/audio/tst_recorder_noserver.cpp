#include "support/TestEnv.h"

#include "audio/AudioRecorder.h"
#include "audio/Microphones.h"
#include "platform/PulseContext.h"

#include <QElapsedTimer>

// Without a sound server: the recorder refuses to start at once and stays idle;
// the device list is empty.
class TestRecorderNoServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("PULSE_SERVER", QByteArray("unix:") + QFile::encodeName(TestEnv::home()) + "/no-such-server");
    }

    void startFails()
    {
        AudioRecorder recorder(nullptr);
        recorder.onBuffer = [](QByteArrayView) {};
        QElapsedTimer clock;
        clock.start();
        bool thrown = false;
        try {
            recorder.start();
        } catch (const AudioError &error) {
            thrown = true;
            QCOMPARE(error.domain(), QStringLiteral("pulse"));
            QVERIFY(!error.description().isEmpty());
        }
        QVERIFY(thrown);
        QVERIFY(clock.elapsed() < 2500);
        QVERIFY(!recorder.isRecording());
        QVERIFY(recorder.stop().wav.isEmpty());
        QVERIFY(recorder.pcm(0, 100).isEmpty());
        // A second attempt tries again and fails the same way.
        QVERIFY_THROWS_EXCEPTION(AudioError, recorder.start());
    }

    void nothingToList()
    {
        QVERIFY(!Pulse::serverAnswers(500));
        QVERIFY(Microphones::all().isEmpty());
        QVERIFY(!Microphones::defaultUID().has_value());
        QVERIFY(!Microphones::device(QStringLiteral("vmic")).has_value());
        QString input = QStringLiteral("avant");
        Microphones::select(QStringLiteral("vmic"), &input);
        QCOMPARE(input, QStringLiteral("avant"));
    }
};

OMBRY_TEST_MAIN(TestRecorderNoServer)
#include "tst_recorder_noserver.moc"
