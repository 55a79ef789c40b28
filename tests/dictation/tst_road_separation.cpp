#include "dictation/ProcessingRoad.h"
#include "engines/EngineError.h"

#include <QTest>

// A dictation pasted right after a word is not glued to it.
class TestRoadSeparation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void separated_data()
    {
        QTest::addColumn<std::optional<QString>>("before");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const QString dictated = QStringLiteral("Troisième point.");
        QTest::newRow("after a letter") << std::optional<QString>(QStringLiteral("t")) << dictated << " Troisième point.";
        QTest::newRow("after a digit") << std::optional<QString>(QStringLiteral("2")) << dictated << " Troisième point.";
        QTest::newRow("after a full stop") << std::optional<QString>(QStringLiteral(".")) << dictated << " Troisième point.";
        QTest::newRow("after a closing guillemet") << std::optional<QString>(QStringLiteral("»")) << dictated << " Troisième point.";
        QTest::newRow("after a space") << std::optional<QString>(QStringLiteral(" ")) << dictated << dictated;
        QTest::newRow("after a line break") << std::optional<QString>(QStringLiteral("\n")) << dictated << dictated;
        QTest::newRow("after an opening bracket") << std::optional<QString>(QStringLiteral("(")) << dictated << dictated;
        QTest::newRow("text starting with a comma") << std::optional<QString>(QStringLiteral("t")) << ", puis" << ", puis";
        QTest::newRow("unknown: as it is") << std::optional<QString>() << dictated << dictated;
    }
    void separated()
    {
        QFETCH(std::optional<QString>, before);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(Road::separated(text, before), expected);
    }

    // A rewrite that runs on far past the transcript is not pasted nor kept.
    void checkedRewrite_data()
    {
        QTest::addColumn<qsizetype>("transcript");
        QTest::addColumn<qsizetype>("rewrite");
        QTest::addColumn<bool>("taken");
        QTest::newRow("a clean-up") << qsizetype(100) << qsizetype(110) << true;
        QTest::newRow("a short transcript made a sentence") << qsizetype(5) << qsizetype(200) << true;
        QTest::newRow("at the bound") << qsizetype(1000) << qsizetype(3200) << true;
        QTest::newRow("past the bound") << qsizetype(1000) << qsizetype(3201) << false;
        QTest::newRow("20 MB") << qsizetype(400) << qsizetype(20 << 20) << false;
    }
    void checkedRewrite()
    {
        QFETCH(qsizetype, transcript);
        QFETCH(qsizetype, rewrite);
        QFETCH(bool, taken);
        const QString heard(transcript, QLatin1Char('a'));
        const QString answer(rewrite, QLatin1Char('b'));
        try {
            QCOMPARE(Road::checkedRewrite(heard, answer, QStringLiteral("Reformulation")), answer);
            QVERIFY(taken);
        } catch (const TooLongError &error) {
            QVERIFY(!taken);
            QCOMPARE(error.description(), QStringLiteral("Reformulation : réponse trop longue, ignorée"));
        }
    }
};

QTEST_APPLESS_MAIN(TestRoadSeparation)
#include "tst_road_separation.moc"
