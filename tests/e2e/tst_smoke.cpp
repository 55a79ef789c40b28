#include "support/TestEnv.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QLabel>
#include <QMediaDevices>
#include <QProcess>
#include <QtEndian>

#include <cmath>

// The private desktop of scripts/session works: windows map, sound reaches the null sink.
class TestSmoke : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowMaps()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QLabel window(QStringLiteral("Ombry Voice"));
        window.resize(320, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QProcess xwininfo;
        xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window.winId())});
        QVERIFY(xwininfo.waitForFinished(5000));
        QVERIFY(xwininfo.readAllStandardOutput().contains("Map State: IsViewable"));
    }

    void soundReachesTheNullSink()
    {
        // Listen on the sink's monitor first, then play a tone to the default sink.
        QProcess parec;
        parec.start(QStringLiteral("parec"), {QStringLiteral("-d"), QStringLiteral("vsink.monitor"),
                                             QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                                             QStringLiteral("--rate=16000"), QStringLiteral("--channels=1"),
                                             QStringLiteral("--latency-msec=20")});
        QVERIFY(parec.waitForStarted(5000));

        QAudioFormat format;
        format.setSampleRate(16000);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        QByteArray tone(16000 * 2 * 2, Qt::Uninitialized); // 2 s of 440 Hz
        auto *samples = reinterpret_cast<qint16 *>(tone.data());
        for (int i = 0; i < 32000; ++i)
            samples[i] = qint16(12000 * std::sin(2 * M_PI * 440 * i / 16000.0));
        QBuffer source(&tone);
        source.open(QIODevice::ReadOnly);
        QAudioSink sink(QMediaDevices::defaultAudioOutput(), format);
        QTest::qWait(200);
        sink.start(&source);

        // Read until 4 s of audio arrived, and look for the tone's loudness.
        QByteArray captured;
        int peak = 0;
        QVERIFY(TestEnv::waitFor([&] {
            captured += parec.readAllStandardOutput();
            const auto *s = reinterpret_cast<const qint16 *>(captured.constData());
            for (qsizetype i = 0; i < captured.size() / 2; ++i)
                peak = std::max(peak, std::abs(int(s[i])));
            return peak > 6000 || captured.size() >= 16000 * 2 * 4;
        }, 15000));
        sink.stop();
        parec.kill();
        parec.waitForFinished();
        QVERIFY2(peak > 6000, qPrintable(QStringLiteral("peak %1 in %2 bytes").arg(peak).arg(captured.size())));
    }
};

OMBRY_TEST_GUI_MAIN(TestSmoke)
#include "tst_smoke.moc"
