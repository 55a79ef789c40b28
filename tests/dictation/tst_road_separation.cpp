#include "dictation/ProcessingRoad.h"

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
};

QTEST_APPLESS_MAIN(TestRoadSeparation)
#include "tst_road_separation.moc"
