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

    // Dictations of today, yesterday and the days before, correction records and this
    // month's spending, dated from now in the program's zone; one dictation keeps its
    // recording.
    static void seedHistory(const QString &data)
    {
        const QDateTime now = QDateTime::currentDateTime();
        const QDate today = now.date();
        // Earlier today when possible, never in the future.
        const auto at = [&](int daysBack, QTime time) {
            const QDateTime d(today.addDays(-daysBack), time);
            return (daysBack == 0 && d > now ? now.addSecs(-60) : d).toUTC();
        };
        struct Seed
        {
            int daysBack;
            QTime time;
            const char16_t *app;
            const char16_t *text;
            double duration;
        };
        const Seed seeds[] = {
            {0, QTime(9, 41), u"Firefox",
             u"Bonjour à tous, je vous envoie le compte rendu de la réunion de ce matin avec les points à "
             u"valider avant vendredi.", 9},
            {0, QTime(9, 12), u"Thunderbird", u"Merci pour votre retour, je regarde le devis et je reviens vers vous demain.", 6},
            {1, QTime(17, 30), u"Slack", u"On se retrouve à 14 h pour faire le point sur le planning de janvier ?", 5},
            {1, QTime(11, 5), u"Firefox", u"Recherche : horaires des trains Lyon Paris samedi matin", 4},
            {2, QTime(16, 20), u"Kate", u"Ajouter une vérification du format avant d'enregistrer le fichier.", 5},
            {4, QTime(10, 0), u"Thunderbird", u"Je serai absent la semaine prochaine, Claire prend le relais.", 4},
            {9, QTime(15, 45), u"Slack", u"C'est noté, merci !", 2},
        };
        QList<Dictation> history;
        for (const Seed &s : seeds) {
            Dictation d;
            d.date = at(s.daysBack, s.time);
            d.appName = QString::fromUtf16(s.app);
            d.finalText = QString::fromUtf16(s.text);
            d.rawText = u"euh "_s + d.finalText;
            d.duration = s.duration;
            history.append(d);
        }
        history[0].audioFile = u"premiere.wav"_s;
        QVERIFY(TestEnv::writeFile(data + u"/Audio/premiere.wav"_s, QByteArray(44 + 3200, '\0')));
        QList<CorrectionRecord> records;
        for (int i = 0; i < 3; ++i) {
            CorrectionRecord r;
            r.date = at(i, QTime(8, 30));
            r.appName = i == 1 ? u"Firefox"_s : u"Kate"_s;
            r.action = i == 1 ? u"Traduire en anglais"_s : u"Corriger"_s;
            r.original = i == 1 ? u"Je vous remercie."_s : u"Je vous envoi le fichier demain matin."_s;
            r.result = i == 1 ? u"Thank you."_s : u"Je vous envoie le fichier demain matin."_s;
            r.fixes.resize(i == 1 ? 0 : i + 1);
            records.append(r);
        }
        const QList<CostEntry> costs{CostEntry{now.toUTC().addSecs(-5), 1.2}, CostEntry{now.toUTC().addSecs(-4), 2.256}};
        QVERIFY(TestEnv::writeFile(data + u"/history.json"_s, Records::encodeArray(history)));
        QVERIFY(TestEnv::writeFile(data + u"/fixes.json"_s, Records::encodeArray(records)));
        QVERIFY(TestEnv::writeFile(data + u"/costs.json"_s, Records::encodeArray(costs)));
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

    // The dashboard and the history over a store with dictations, correction records and
    // spending, the meetings page with saved meetings and the calls tab with a chosen,
    // installed call application, in both appearances: kept for people to look at.
    void seededPages_data()
    {
        QTest::addColumn<QString>("theme");
        QTest::newRow("light") << u"light"_s;
        QTest::newRow("dark") << u"dark"_s;
    }

    void seededPages()
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
        seedHistory(home.path() + u"/.local/share/Ombry Voice"_s);
        const TestEnv::SnapshotRun run = TestEnv::snapshot(u"shots"_s, theme, home.path());
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
        const QString keep = QStringLiteral(OMBRY_TEST_BIN_DIR "/screenshots/snapshot-seeded-") + theme;
        QDir().mkpath(keep);
        for (const QString &page : {u"dashboard"_s, u"history"_s, u"meetings"_s, u"translator"_s}) {
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
