#include "fakes/FakeHttpService.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>

namespace {

QString lastUserText(const RecordedRequest &r)
{
    const QJsonArray messages = r.json().value(QStringLiteral("messages")).toArray();
    return messages.isEmpty() ? QString() : messages.last().toObject().value(QStringLiteral("content")).toString();
}

// The loudest sample of a WAV's 16-bit PCM.
int peakOf(const QByteArray &wav)
{
    int peak = 0;
    for (qsizetype i = 44; i + 1 < wav.size(); i += 2)
        peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(wav.constData() + i))));
    return peak;
}

} // namespace

// "--chunktest" on a recording of three spoken phrases separated by silences,
// with the cloud speech and rewrite services faked.
class TestDictationChunktest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString wav;
    // Each phrase is spoken at its own level, loud enough to be sent as it is:
    // the fake tells the pieces apart by their peak, whatever order they arrive in.
    QList<int> peaks;

    int phraseOf(const RecordedRequest &r) const
    {
        const int peak = peakOf(r.chatAudio());
        qsizetype best = 0;
        for (qsizetype i = 1; i < peaks.size(); ++i)
            if (std::abs(peaks[i] - peak) < std::abs(peaks[best] - peak))
                best = i;
        return int(best) + 1;
    }

    bool sox(const QStringList &args)
    {
        return DesktopTools::run(QStringLiteral("sox"), args, {}, 20000).exitCode == 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QStringList phrases = {
            QStringLiteral("Bonjour, je voudrais vous parler aujourd'hui de notre nouveau projet de jardin partagé."),
            QStringLiteral("Nous avons besoin de volontaires pour arroser les plantes pendant les vacances d'été."),
            QStringLiteral("Merci de me répondre avant la fin de la semaine prochaine si vous êtes intéressés."),
        };
        QStringList parts;
        const QString silence = dir.filePath(QStringLiteral("silence.wav"));
        QVERIFY(sox({QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("16000"), QStringLiteral("-c"), QStringLiteral("1"),
                     QStringLiteral("-b"), QStringLiteral("16"), silence, QStringLiteral("trim"), QStringLiteral("0"), QStringLiteral("1.2")}));
        const QStringList levels = {QStringLiteral("-8"), QStringLiteral("-4"), QStringLiteral("-1")};
        for (int i = 0; i < phrases.size(); ++i) {
            const QString raw = dir.filePath(QStringLiteral("raw%1.wav").arg(i));
            const QString resampled = dir.filePath(QStringLiteral("p%1.wav").arg(i));
            QCOMPARE(DesktopTools::run(QStringLiteral("espeak-ng"), {QStringLiteral("-v"), QStringLiteral("fr"), QStringLiteral("-w"), raw, phrases[i]}, {}, 20000).exitCode, 0);
            QVERIFY(sox({raw, QStringLiteral("-r"), QStringLiteral("16000"), QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"), resampled,
                         QStringLiteral("norm"), levels[i]}));
            peaks << peakOf(TestEnv::readFile(resampled));
            // Above the level under which a piece is amplified before it is sent.
            QVERIFY2(peaks.last() > 12000, qPrintable(QString::number(peaks.last())));
            if (i > 0)
                parts << silence;
            parts << resampled;
        }
        wav = dir.filePath(QStringLiteral("trois.wav"));
        QVERIFY(sox(parts << wav));
    }

    void chunkTest_data()
    {
        QTest::addColumn<bool>("failSecond");
        QTest::newRow("all pieces") << false;
        QTest::newRow("second piece fails") << true;
    }
    void chunkTest()
    {
        QFETCH(bool, failSecond);
        FakeHttpService cloud;
        QVERIFY(cloud.start());
        cloud.setHandler([&](const RecordedRequest &r) {
            if (r.body.contains("input_audio")) {
                const int n = phraseOf(r);
                if (failSecond && n == 2)
                    return ScriptedReply::text("panne", 503);
                // The first phrase answers last: the join still follows the cut order.
                return ScriptedReply::chat(QStringLiteral("phrase numéro %1 dite à voix haute").arg(n), n == 1 ? 400 : 0);
            }
            return ScriptedReply::chat(QStringLiteral("Net ") + lastUserText(r));
        });

        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OMBRY_HOSTED_URL"), cloud.url(QStringLiteral("/")));
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(OMBRY_BINARY), {QStringLiteral("--chunktest"), wav});
        QVERIFY(app.waitForStarted());
        QVERIFY(TestEnv::waitFor([&] { return app.state() == QProcess::NotRunning; }, 60000));
        QCOMPARE(app.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(app.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QRegularExpressionMatch first = QRegularExpression(QStringLiteral("^morceaux: (\\d+), attente après la fin: \\d+\\.\\d\\d s$")).match(lines[0]);
        QVERIFY2(first.hasMatch(), qPrintable(lines[0]));
        QVERIFY2(first.captured(1).toInt() >= 3, qPrintable(lines[0]));
        if (failSecond) {
            QCOMPARE(lines[1], QStringLiteral("texte: échec"));
        } else {
            // Every piece in the order it was cut: the phrases in order, a phrase
            // cut in two showing twice in a row.
            QList<int> said;
            const QRegularExpression piece(QStringLiteral("Net phrase numéro (\\d) dite à voix haute"));
            for (const QRegularExpressionMatch &m : piece.globalMatch(lines[1]))
                said << m.captured(1).toInt();
            QVERIFY2(lines[1].startsWith(QStringLiteral("texte: Net phrase numéro 1 ")), qPrintable(lines[1]));
            QCOMPARE(said.size(), first.captured(1).toInt());
            QVERIFY2(std::is_sorted(said.cbegin(), said.cend()), qPrintable(lines[1]));
            QCOMPARE(QSet<int>(said.cbegin(), said.cend()), (QSet<int>{1, 2, 3}));
        }
    }
};

OMBRY_TEST_GUI_MAIN(TestDictationChunktest)
#include "tst_dictation_chunktest.moc"
