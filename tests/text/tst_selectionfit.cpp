#include "text/SelectionFit.h"

#include <QTest>

// A correction put back in place of a selection keeps the selection's shape.
class TestSelectionFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fit_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("corrected");
        QTest::addColumn<QString>("expected");

        QTest::newRow("fragment: no capital, no final stop added")
            << "aller a la" << "Aller à la." << "aller à la";
        QTest::newRow("fragment with its blanks, model unchanged")
            << " aller a la " << "Aller a la." << " aller a la ";
        QTest::newRow("fragment: an accented capital becomes small again")
            << "a la plage" << "À la plage." << "à la plage";
        QTest::newRow("fragment that had its stop keeps the corrected one")
            << "avec eux." << "avec eux !" << "avec eux !";
        QTest::newRow("fragment: an added French question mark goes")
            << "tu viens" << "Tu viens ?" << "tu viens";
        QTest::newRow("fragment starting with a capital keeps the model's")
            << "Paris est beau" << "Paris est beau." << "Paris est beau";
        QTest::newRow("whole sentence: corrected as a sentence")
            << "Hier je suis aller a la plage." << "Hier, je suis allé à la plage." << "Hier, je suis allé à la plage.";
        QTest::newRow("whole sentence in quotes, line break kept")
            << "« Il est venu. »\n" << "« Il est venu. »" << "« Il est venu. »\n";
        QTest::newRow("leading and trailing line breaks kept exactly")
            << "\n\tsuis aller\n\n" << "Suis allé." << "\n\tsuis allé\n\n";
        QTest::newRow("an empty correction gives the selection back") << " un mot " << "" << " un mot ";
    }
    void fit()
    {
        QFETCH(QString, selection);
        QFETCH(QString, corrected);
        QFETCH(QString, expected);
        QCOMPARE(SelectionFit::fit(selection, corrected), expected);
    }

    void wholeSentence_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<bool>("whole");
        QTest::newRow("capital and stop") << "Il pleut." << true;
        QTest::newRow("question") << " Tu viens ? " << true;
        QTest::newRow("no capital") << "il pleut." << false;
        QTest::newRow("no final mark") << "Il pleut" << false;
        QTest::newRow("blank") << "  " << false;
    }
    void wholeSentence()
    {
        QFETCH(QString, selection);
        QFETCH(bool, whole);
        QCOMPARE(SelectionFit::wholeSentence(selection), whole);
    }
};

QTEST_APPLESS_MAIN(TestSelectionFit)
#include "tst_selectionfit.moc"
