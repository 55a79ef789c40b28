#include "pages/RecordingPlayer.h"
#include "support/TestEnv.h"

#include <QTemporaryDir>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

QByteArray le32(quint32 v)
{
    QByteArray b(4, 0);
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le16(quint16 v)
{
    QByteArray b(2, 0);
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray chunk(const char *id, const QByteArray &body, bool pad = true)
{
    QByteArray out = QByteArray(id, 4) + le32(quint32(body.size())) + body;
    if (pad && body.size() % 2)
        out.append('\0');
    return out;
}

QByteArray fmt(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 align = quint16(channels * bits / 8);
    return chunk("fmt ", le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits));
}

QByteArray riff(const QByteArray &chunks)
{
    return "RIFF" + le32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

} // namespace

class TestRecordingPlayer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("wav");
        QTest::addColumn<int>("rate");     // 0: refused
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bytes");    // sample bytes played
        const QByteArray pcm(3200, '\x01');
        QTest::newRow("16 kHz mono") << riff(fmt(1, 1, 16000, 16) + chunk("data", pcm)) << 16000 << 1 << 3200;
        QTest::newRow("44.1 kHz stereo") << riff(fmt(1, 2, 44100, 16) + chunk("data", pcm)) << 44100 << 2 << 3200;
        QTest::newRow("a LIST chunk first, odd size padded")
            << riff(chunk("LIST", QByteArray(5, 'x')) + fmt(1, 1, 16000, 16) + chunk("data", pcm)) << 16000 << 1
            << 3200;
        QTest::newRow("cut short: what is there, whole frames")
            << riff(fmt(1, 2, 16000, 16) + "data" + le32(100000) + QByteArray(1003, '\x02')) << 16000 << 2 << 1000;
        QTest::newRow("8-bit refused") << riff(fmt(1, 1, 16000, 8) + chunk("data", pcm)) << 0 << 0 << 0;
        QTest::newRow("32-bit float refused") << riff(fmt(3, 1, 16000, 32) + chunk("data", pcm)) << 0 << 0 << 0;
        QTest::newRow("24-bit refused") << riff(fmt(1, 1, 48000, 24) + chunk("data", pcm)) << 0 << 0 << 0;
        QTest::newRow("six channels refused") << riff(fmt(1, 6, 48000, 16) + chunk("data", pcm)) << 0 << 0 << 0;
        QTest::newRow("no format before data") << riff(chunk("data", pcm) + fmt(1, 1, 16000, 16)) << 0 << 0 << 0;
        QTest::newRow("no data") << riff(fmt(1, 1, 16000, 16)) << 0 << 0 << 0;
        QTest::newRow("empty data") << riff(fmt(1, 1, 16000, 16) + chunk("data", {})) << 0 << 0 << 0;
        QTest::newRow("not RIFF") << QByteArray("ID3\x04 not a wave file at all", 27) << 0 << 0 << 0;
        QTest::newRow("empty file") << QByteArray() << 0 << 0 << 0;
        QTest::newRow("format chunk cut") << riff(QByteArray("fmt ") + le32(16) + le16(1)) << 0 << 0 << 0;
        QTest::newRow("a chunk length beyond the file")
            << riff(QByteArray("LIST") + le32(0xFFFFFFF0u) + "xx") << 0 << 0 << 0;
    }

    void decode()
    {
        QFETCH(QByteArray, wav);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, bytes);
        const std::optional<RecordingPlayer::Pcm> pcm = RecordingPlayer::decode(wav);
        QCOMPARE(pcm.has_value(), rate != 0);
        if (!pcm)
            return;
        QCOMPARE(pcm->format.sampleRate(), rate);
        QCOMPARE(pcm->format.channelCount(), channels);
        QCOMPARE(pcm->format.sampleFormat(), QAudioFormat::Int16);
        QCOMPARE(pcm->samples.size(), bytes);
    }

    // Without a sound server nothing plays, and nothing crashes; a refused file says so.
    void play_data()
    {
        QTest::addColumn<QByteArray>("wav");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("16-bit") << riff(fmt(1, 1, 16000, 16) + chunk("data", QByteArray(320, 0))) << true;
        QTest::newRow("float") << riff(fmt(3, 1, 16000, 32) + chunk("data", QByteArray(320, 0))) << false;
    }

    void play()
    {
        QFETCH(QByteArray, wav);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"r.wav"_s);
        QVERIFY(TestEnv::writeFile(path, wav));
        RecordingPlayer player;
        QCOMPARE(player.play(QUrl::fromLocalFile(path)), accepted);
        QVERIFY(!player.play(QUrl::fromLocalFile(dir.filePath(u"missing.wav"_s))));
        QVERIFY(!player.playing());
    }
};

OMBRY_TEST_MAIN(TestRecordingPlayer)
#include "tst_recordingplayer.moc"
