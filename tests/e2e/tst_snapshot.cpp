#include "model/Records.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

// "--snapshot DIR" on the private desktop: seven pages, exactly 1200 × 900,
// in the theme asked for, and a page that cannot be written told on its own.
class TestSnapshot : public QObject
{
    Q_OBJECT

    static const QStringList &pages()
    {
        static const QStringList names{u"dashboard"_s, u"corrector"_s, u"translator"_s, u"meetings"_s,
                                       u"history"_s,   u"dictionary"_s, u"settings"_s};
        return names;
    }

    static double meanLuminance(const QImage &image)
    {
        double sum = 0;
        int n = 0;
        for (int y = 0; y < image.height(); y += 6)
            for (int x = 0; x < image.width(); x += 6) {
                const QColor c = image.pixelColor(x, y);
                sum += 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
                ++n;
            }
        return sum / n;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session"); }

    void writesEveryPage_data()
    {
        QTest::addColumn<std::optional<QString>>("theme");
        QTest::addColumn<QString>("storedTheme");
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << std::optional(u"dark"_s) << u"light"_s << true;
        QTest::newRow("light over a dark setting") << std::optional(u"light"_s) << u"dark"_s << false;
        QTest::newRow("DARK is light") << std::optional(u"DARK"_s) << u"dark"_s << false;
        QTest::newRow("absent: the setting") << std::optional<QString>() << u"dark"_s << true;
    }

    void writesEveryPage()
    {
        QFETCH(std::optional<QString>, theme);
        QFETCH(QString, storedTheme);
        QFETCH(bool, dark);
        ScopedHome home;
        const QString prefs = home.path() + u"/.config/Ombry Voice/com.corvanel.ombryvoice.json"_s;
        QVERIFY(TestEnv::writeFile(prefs, "{\"theme\":\"" + storedTheme.toUtf8() + "\"}"));
        // Missing intermediate folders are made.
        const QString folder = home.path() + u"/OUT/a/b"_s;
        const TestEnv::SnapshotRun run = TestEnv::snapshot(u"OUT/a/b"_s, theme, home.path());
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name).size(), pages().size());
        const QString keep = QStringLiteral(OMBRY_TEST_BIN_DIR "/screenshots/snapshot-") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        QDir().mkpath(keep);
        for (const QString &page : pages()) {
            const QImage image(folder + u"/"_s + page + u".png"_s);
            QVERIFY2(!image.isNull(), qPrintable(page));
            QCOMPARE(image.size(), QSize(1200, 900));
            QFile::remove(keep + u"/"_s + page + u".png"_s);
            QFile::copy(folder + u"/"_s + page + u".png"_s, keep + u"/"_s + page + u".png"_s);
        }
        const double luminance = meanLuminance(QImage(folder + u"/dashboard.png"_s));
        QVERIFY2(dark ? luminance < 0.35 : luminance > 0.6, qPrintable(QString::number(luminance)));
        // The switch draws without touching the user's theme.
        const QJsonObject stored = QJsonDocument::fromJson(TestEnv::readFile(prefs)).object();
        QCOMPARE(stored.value(u"theme"_s).toString(), storedTheme);
        QVERIFY(!stored.contains(u"onboarded"_s));
    }

    // The meetings page with saved meetings and the calls tab with a chosen,
    // installed call application, in both appearances: kept for people to look at.
    void seededMeetingsAndCalls_data()
    {
        QTest::addColumn<QString>("theme");
        QTest::newRow("light") << u"light"_s;
        QTest::newRow("dark") << u"dark"_s;
    }

    void seededMeetingsAndCalls()
    {
        QFETCH(QString, theme);
        ScopedHome bare;
        const TestEnv::SnapshotRun empty = TestEnv::snapshot(u"shots"_s, theme, bare.path());
        QCOMPARE(empty.exitCode, 0);

        ScopedHome home;
        QVERIFY(TestEnv::writeFile(home.path() + u"/.config/Ombry Voice/com.corvanel.ombryvoice.json"_s,
                                   "{\"translationTab\":\"calls\",\"callApp\":\"us.zoom.xos\",\"onboarded\":true}"));
        QVERIFY(TestEnv::writeFile(home.path() + u"/.local/share/applications/zoom.desktop"_s,
                                   "[Desktop Entry]\nType=Application\nName=Zoom Workplace\nExec=zoom\nIcon=zoom\n"));
        Meeting long_;
        long_.date = QDateTime(QDate(2026, 12, 8), QTime(14, 5));
        long_.duration = 3660;
        long_.title = u"Point projet"_s;
        long_.summary = u"On a fait le point sur le devis et le planning de janvier."_s;
        long_.tasks = {u"Envoyer le devis"_s, u"Relancer le client jeudi"_s};
        long_.transcript = u"Bonjour à tous."_s;
        Meeting bare_;
        bare_.date = QDateTime(QDate(2026, 12, 7), QTime(9, 30));
        bare_.duration = 59;
        bare_.title = u"Réunion non transcrite"_s;
        bare_.summary = u"La transcription a échoué : Clé OpenRouter absente"_s;
        QVERIFY(TestEnv::writeFile(home.path() + u"/.local/share/Ombry Voice/meetings.json"_s,
                                   "[" + long_.toJson() + "," + bare_.toJson() + "]"));
        const TestEnv::SnapshotRun run = TestEnv::snapshot(u"shots"_s, theme, home.path());
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
        const QString keep = QStringLiteral(OMBRY_TEST_BIN_DIR "/screenshots/snapshot-seeded-") + theme;
        QDir().mkpath(keep);
        for (const QString &page : {u"meetings"_s, u"translator"_s}) {
            const QImage seeded(home.path() + u"/shots/"_s + page + u".png"_s);
            QCOMPARE(seeded.size(), QSize(1200, 900));
            // The seeded data is what is drawn: not the page of an empty home.
            QVERIFY2(seeded != QImage(bare.path() + u"/shots/"_s + page + u".png"_s), qPrintable(page));
            QFile::remove(keep + u"/"_s + page + u".png"_s);
            QVERIFY(seeded.save(keep + u"/"_s + page + u".png"_s));
        }
    }

    void unwritablePageIsToldAndOthersWritten()
    {
        ScopedHome home;
        const QString folder = home.path() + u"/shots"_s;
        // A folder where the history's file should go.
        QVERIFY(QDir().mkpath(folder + u"/history.png"_s));
        QVERIFY(TestEnv::writeFile(folder + u"/dashboard.png"_s, "old"));
        const TestEnv::SnapshotRun run = TestEnv::snapshot(folder, u"light"_s, home.path());
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.constFirst().startsWith(u"erreur: "_s) && lines.constFirst().contains(u"history.png"_s),
                 qPrintable(run.out));
        // An existing file is replaced.
        QCOMPARE(QImage(folder + u"/dashboard.png"_s).size(), QSize(1200, 900));
        QCOMPARE(QImage(folder + u"/settings.png"_s).size(), QSize(1200, 900));
    }
};

OMBRY_TEST_GUI_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
