#include "platform/Sounds.h"
#include "support/TestEnv.h"

#include <QtEndian>

// The three named sounds are made by the program itself.
class TestSounds : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void soundsAreShortAudibleWavs_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("maxSeconds");
        QTest::newRow("Tink") << QStringLiteral("Tink") << 0.3;
        QTest::newRow("Pop") << QStringLiteral("Pop") << 0.2;
        QTest::newRow("Basso") << QStringLiteral("Basso") << 0.6;
    }

    void soundsAreShortAudibleWavs()
    {
        QFETCH(QString, name);
        QFETCH(double, maxSeconds);
        const QByteArray data = Sounds::wav(name);
        QVERIFY(data.size() > 44);
        const auto *p = reinterpret_cast<const uchar *>(data.constData());
        QCOMPARE(data.left(4), QByteArray("RIFF"));
        QCOMPARE(data.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(qFromLittleEndian<quint32>(p + 4), quint32(data.size() - 8));
        QCOMPARE(qFromLittleEndian<quint32>(p + 40), quint32(data.size() - 44));
        const quint32 rate = qFromLittleEndian<quint32>(p + 24);
        const double seconds = double(data.size() - 44) / 2 / rate;
        QVERIFY2(seconds > 0.05 && seconds <= maxSeconds, qPrintable(QString::number(seconds)));
        int peak = 0;
        for (qsizetype i = 44; i + 1 < data.size(); i += 2)
            peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(p + i))));
        QVERIFY2(peak > 3000 && peak < 32767, qPrintable(QString::number(peak)));
        // No click at the start.
        QVERIFY(std::abs(int(qFromLittleEndian<qint16>(p + 44))) < 200);
    }

    void soundsDiffer()
    {
        QVERIFY(Sounds::wav(QStringLiteral("Tink")) != Sounds::wav(QStringLiteral("Pop")));
        QVERIFY(Sounds::wav(QStringLiteral("Pop")) != Sounds::wav(QStringLiteral("Basso")));
        QVERIFY(Sounds::wav(QStringLiteral("Glass")).isEmpty());
    }

    void playTellsTheObserver()
    {
        QStringList asked;
        Sounds::setObserver([&](const QString &name) { asked << name; });
        Sounds::play(QStringLiteral("Pop"));
        Sounds::play(QStringLiteral("Basso"));
        Sounds::setObserver(nullptr);
        QCOMPARE(asked, (QStringList{QStringLiteral("Pop"), QStringLiteral("Basso")}));
    }
};

OMBRY_TEST_MAIN(TestSounds)
#include "tst_sounds.moc"
