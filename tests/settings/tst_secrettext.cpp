#include "settings/SecretText.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// The edit arithmetic of a secret field whose text is bullets only.
class TestSecretText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replaced_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("inserted");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("cursor");
        QTest::newRow("typed at the end") << u"abc"_s << 3 << 3 << u"d"_s << u"abcd"_s << 4;
        QTest::newRow("typed at the start") << u"abc"_s << 0 << 0 << u"x"_s << u"xabc"_s << 1;
        QTest::newRow("selection replaced") << u"abcdef"_s << 1 << 4 << u"XY"_s << u"aXYef"_s << 3;
        QTest::newRow("selection made backwards") << u"abcdef"_s << 4 << 1 << u""_s << u"aef"_s << 1;
        QTest::newRow("past the end is the end") << u"abc"_s << 9 << 12 << u"!"_s << u"abc!"_s << 4;
        QTest::newRow("before the start is the start") << u"abc"_s << -5 << 1 << u""_s << u"bc"_s << 0;
        QTest::newRow("pasted with a tab kept for the check") << u""_s << 0 << 0 << u"dg-a\tb"_s << u"dg-a\tb"_s << 6;
    }

    void replaced()
    {
        QFETCH(QString, secret);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, inserted);
        QFETCH(QString, expected);
        QFETCH(int, cursor);
        SecretText text;
        text.replace(0, 0, secret);
        QSignalSpy changed(&text, &SecretText::changed);
        QCOMPARE(text.replace(from, to, inserted), cursor);
        QCOMPARE(text.text(), expected);
        QCOMPARE(text.masked(), QString(expected.size(), QChar(SecretText::kBullet)));
        QCOMPARE(changed.count(), expected == secret ? 0 : 1);
    }

    // An input method committed into the bullets: the new characters are the
    // run before the cursor, the bullets around it the old text.
    void reconciled_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("expected");
        QTest::newRow("committed at the end") << u"ab"_s << u"••é"_s << 3 << u"abé"_s;
        QTest::newRow("committed in the middle") << u"abcd"_s << u"••xy••"_s << 4 << u"abxycd"_s;
        QTest::newRow("committed over a selection") << u"abcd"_s << u"•z•"_s << 2 << u"azd"_s;
        QTest::newRow("committed into an empty field") << u""_s << u"ü"_s << 1 << u"ü"_s;
        QTest::newRow("one removed before the cursor") << u"abcd"_s << u"•••"_s << 1 << u"acd"_s;
        QTest::newRow("everything removed") << u"abcd"_s << u""_s << 0 << u""_s;
        QTest::newRow("a cursor out of range is clamped") << u"ab"_s << u"••c"_s << 99 << u"abc"_s;
    }

    void reconciled()
    {
        QFETCH(QString, secret);
        QFETCH(QString, shown);
        QFETCH(int, cursor);
        QFETCH(QString, expected);
        QCOMPARE(SecretText::reconciled(secret, shown, cursor), expected);
    }
};

OMBRY_TEST_MAIN(TestSecretText)
#include "tst_secrettext.moc"
