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
        PulseContext pulse;
        AudioRecorder recorder(pulse, nullptr);
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
        PulseContext pulse;
        QVERIFY(!pulse.serverAnswers(500));
        QVERIFY(Microphones::all(pulse).isEmpty());
        QVERIFY(!Microphones::defaultUID(pulse).has_value());
        QVERIFY(!Microphones::device(pulse, QStringLiteral("vmic")).has_value());
        QString input = QStringLiteral("avant");
        Microphones::select(pulse, QStringLiteral("vmic"), &input);
        QCOMPARE(input, QStringLiteral("avant"));
    }
};

OMBRY_TEST_MAIN(TestRecorderNoServer)
#include "tst_recorder_noserver.moc"
