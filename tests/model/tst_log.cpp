#include "core/Log.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QFile>
#include <thread>
#include <QRegularExpression>

#include <sys/stat.h>

class TestLog : public QObject
{
    Q_OBJECT

private:
    static QByteArray content() { return TestEnv::readFile(Log::path()); }

private Q_SLOTS:
    // Runs first: the size check happens at the first write of a run only.
    void oversizedFileIsReplacedAtFirstWrite()
    {
        QVERIFY(TestEnv::writeFile(Log::path(), QByteArray(2000001, 'x')));
        Log::write(QStringLiteral("a"));
        Log::waitUntilWritten();
        const QByteArray data = content();
        QCOMPARE(data.size(), 24 + 1 + 1 + 1);
        QVERIFY(data.endsWith(" a\n"));
        QVERIFY(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z a\n$)"))
                    .match(QString::fromUtf8(data)).hasMatch());
    }

    void linesKeepOrderAndFormat()
    {
        for (int i = 0; i < 200; ++i)
            Log::write(QStringLiteral("test: ligne %1 é").arg(i));
        Log::waitUntilWritten();
        const QStringList lines = QString::fromUtf8(content()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 201);
        static const QRegularExpression form(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z .+$)"));
        for (int i = 0; i < 200; ++i) {
            QVERIFY(form.match(lines[i + 1]).hasMatch());
            QVERIFY2(lines[i + 1].endsWith(QStringLiteral("test: ligne %1 é").arg(i)), qPrintable(lines[i + 1]));
        }
    }

    void writesFromOtherThreadsArriveWhole()
    {
        QFile::remove(Log::path());
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < 100; ++i)
                    Log::write(QStringLiteral("fil %1: %2").arg(t).arg(i));
            });
        for (auto &th : threads)
            th.join();
        Log::waitUntilWritten();
        const QStringList lines = QString::fromUtf8(content()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 400);
    }

    void fileRemovedWhileRunningIsStartedAgain()
    {
        Log::write(QStringLiteral("avant"));
        Log::waitUntilWritten();
        QVERIFY(QFile::remove(Log::path()));
        Log::write(QStringLiteral("après"));
        Log::waitUntilWritten();
        const QByteArray data = content();
        QVERIFY(data.endsWith(QStringLiteral(" après\n").toUtf8()));
        QVERIFY(!data.contains("avant"));
    }

    // The log tells where the user dictated and what failed: owner-only, whatever
    // the umask.
    void fileIsOwnerOnly_data()
    {
        QTest::addColumn<int>("umask");
        QTest::newRow("open umask") << 0;
        QTest::newRow("usual umask") << 022;
    }
    void fileIsOwnerOnly()
    {
        QFETCH(int, umask);
        Log::write(QStringLiteral("avant"));
        Log::waitUntilWritten();
        QVERIFY(QFile::remove(Log::path()));
        const mode_t old = ::umask(mode_t(umask));
        Log::write(QStringLiteral("après"));
        Log::waitUntilWritten();
        ::umask(old);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(Log::path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
    }

    void shutdownWritesWhatIsQueuedAndRestarts()
    {
        QFile::remove(Log::path());
        for (int i = 0; i < 50; ++i)
            Log::write(QStringLiteral("fin %1").arg(i));
        Log::shutdown();
        QCOMPARE(content().count('\n'), 50);
        Log::write(QStringLiteral("encore"));
        Log::waitUntilWritten();
        QCOMPARE(content().count('\n'), 51);
    }

    // A service's error text may echo the dictated words: the journal keeps the
    // service and its status only.
    void serviceTextStaysOut_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("kept");
        QTest::newRow("own-key refusal") << "erreur: Gemini : erreur 400 Impossible de traiter « rendez-vous chez le médecin »"
                                         << "erreur: Gemini : erreur 400";
        QTest::newRow("nested in a cause")
            << "réunion: morceau 2 Gemini : erreur 502 upstream down\nsuite" << "réunion: morceau 2 Gemini : erreur 502";
        QTest::newRow("empty body") << "erreur: Gemini : erreur 500 " << "erreur: Gemini : erreur 500";
        QTest::newRow("no service text") << "stockage: history.json non écrit" << "stockage: history.json non écrit";
        QTest::newRow("within brackets") << "correction: OpenRouter indisponible (OpenRouter : erreur 502 « mon texte »)"
                                         << "correction: OpenRouter indisponible (OpenRouter : erreur 502)";
        QTest::newRow("no reply: the program's own words")
            << "appel: Appel : erreur 0 ouvre Firefox d'abord" << "appel: Appel : erreur 0 ouvre Firefox d'abord";
        QTest::newRow("missing key") << "erreur: Clé Deepgram absente" << "erreur: Clé Deepgram absente";
    }
    void serviceTextStaysOut()
    {
        QFETCH(QString, message);
        QFETCH(QString, kept);
        QCOMPARE(Log::withoutServiceText(message), kept);
        QFile::remove(Log::path());
        Log::write(message);
        Log::waitUntilWritten();
        QCOMPARE(QString::fromUtf8(content()).section(QLatin1Char(' '), 1).chopped(1), kept);
    }
};

OMBRY_TEST_MAIN(TestLog)
#include "tst_log.moc"
