#include "pages/CorrectorText.h"
#include "support/TestEnv.h"
#include "text/Analyzer.h"

using CorrectorText::Mistake;

namespace {

// The ignored fixes by their position in the list.
QSet<QUuid> pick(const QList<Fix> &fixes, const QList<int> &rows)
{
    QSet<QUuid> out;
    for (const int row : rows)
        out.insert(fixes.at(row).id);
    return out;
}

QStringList marked(const CorrectorText::Rendered &rendered)
{
    QStringList out;
    for (const CorrectorText::Range &r : rendered.highlights)
        out.append(QString::number(r.start) + QLatin1Char(':') + rendered.text.mid(r.start, r.length));
    return out;
}

Fix loose(const QString &original, const QString &correction)
{
    Fix f;
    f.original = original;
    f.correction = correction;
    f.kind = QStringLiteral("orthographe");
    return f;
}

CorrectionRecord recordOf(const QList<QPair<QString, QString>> &changes)
{
    CorrectionRecord r;
    r.action = QStringLiteral("Corriger");
    for (const auto &change : changes)
        r.fixes.append(loose(change.first, change.second));
    return r;
}

QStringList describe(const QList<Mistake> &mistakes)
{
    QStringList out;
    for (const Mistake &m : mistakes)
        out.append(m.original + QStringLiteral(" → ") + m.correction + QStringLiteral(" × ") + QString::number(m.count));
    return out;
}

} // namespace

class TestCorrectorText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Fixes come from the word comparison of the two texts, as the analyser makes them.
    void render_data()
    {
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("corrected");
        QTest::addColumn<QList<int>>("ignored");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("highlights");

        const QString deja = QStringLiteral("Il est déjà parti a Lyon");
        const QString dejaFixed = QStringLiteral("Il est déjà parti à Lyon");
        QTest::newRow("kept") << deja << dejaFixed << QList<int>{} << dejaFixed << QStringList{"18:à"};
        // The correction "à" also occurs earlier inside "déjà": only the fix's own place changes.
        QTest::newRow("ignored, same letters earlier") << deja << dejaFixed << QList<int>{0} << deja << QStringList{};
        QTest::newRow("same fix twice, second ignored")
            << "Il va a Paris et a Lyon" << "Il va à Paris et à Lyon" << QList<int>{1} << "Il va à Paris et a Lyon"
            << QStringList{"6:à"};
        QTest::newRow("same fix twice, first ignored")
            << "Il va a Paris et a Lyon" << "Il va à Paris et à Lyon" << QList<int>{0} << "Il va a Paris et à Lyon"
            << QStringList{"17:à"};
        QTest::newRow("insertion kept") << "je vais" << "je ne vais" << QList<int>{} << "je ne vais" << QStringList{"3:ne"};
        QTest::newRow("insertion ignored") << "je vais" << "je ne vais" << QList<int>{0} << "je vais" << QStringList{};
        QTest::newRow("insertion at the start ignored")
            << "vais bien" << "Je vais bien" << QList<int>{0} << "vais bien" << QStringList{};
        QTest::newRow("insertion at the end ignored")
            << "il part" << "il part vite" << QList<int>{0} << "il part" << QStringList{};
        QTest::newRow("removal kept, not marked") << "il est est parti" << "il est parti" << QList<int>{} << "il est parti"
                                                  << QStringList{};
        QTest::newRow("removal ignored") << "il est est parti" << "il est parti" << QList<int>{0} << "il est est parti"
                                         << QStringList{};
        QTest::newRow("removal at the start ignored") << "et il part" << "il part" << QList<int>{0} << "et il part"
                                                      << QStringList{};
        QTest::newRow("removal at the end ignored") << "il part part" << "il part" << QList<int>{0} << "il part part"
                                                    << QStringList{};
        QTest::newRow("everything removed, ignored") << "euh bon" << "" << QList<int>{0} << "euh bon" << QStringList{};
        QTest::newRow("all ignored") << "Je vais à Paris puis a Lyon." << "Je vais à Paris, puis à Lyon." << QList<int>{0, 1}
                                     << "Je vais à Paris puis a Lyon." << QStringList{};
        QTest::newRow("one of two ignored") << "Je vais à Paris puis a Lyon." << "Je vais à Paris, puis à Lyon."
                                            << QList<int>{1} << "Je vais à Paris, puis a Lyon." << QStringList{"10:Paris,"};
        QTest::newRow("words over a line break")
            << "a b c d" << "a x\ny d" << QList<int>{} << "a x\ny d" << QStringList{"2:x\ny"};
        QTest::newRow("words over a line break, ignored")
            << "a b c d" << "a x\ny d" << QList<int>{0} << "a b c d" << QStringList{};
        QTest::newRow("marks shift after a longer original")
            << "ca va tres bien" << "ça va très bien" << QList<int>{0} << "ca va très bien" << QStringList{"6:très"};
        QTest::newRow("marks shift after a removal put back")
            << "le le chat dort pas" << "le chat ne dort pas" << QList<int>{0} << "le le chat ne dort pas"
            << QStringList{"11:ne"};
    }
    void render()
    {
        QFETCH(QString, original);
        QFETCH(QString, corrected);
        QFETCH(QList<int>, ignored);
        QFETCH(QString, text);
        QFETCH(QStringList, highlights);
        const Analysis analysis{corrected, Analyzer::diff(original, corrected)};
        const CorrectorText::Rendered rendered = CorrectorText::render(analysis, pick(analysis.fixes, ignored));
        QCOMPARE(rendered.text, text);
        QCOMPARE(marked(rendered), highlights);
    }

    // Every fix ignored gives back the text as it was, whatever the comparison found.
    void ignoringAllRestores_data()
    {
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("corrected");
        QTest::newRow("mixed") << "euh je pense que que il a raison" << "Je pense qu'il a raison.";
        QTest::newRow("reordered") << "un deux trois quatre" << "quatre trois deux un";
        QTest::newRow("only additions") << "oui" << "Oh oui, bien sûr oui";
        QTest::newRow("only removals") << "a b c d e" << "c";
        QTest::newRow("nothing left") << "a b" << "";
        QTest::newRow("from nothing") << "" << "Bonjour à tous";
    }
    void ignoringAllRestores()
    {
        QFETCH(QString, original);
        QFETCH(QString, corrected);
        const Analysis analysis{corrected, Analyzer::diff(original, corrected)};
        QSet<QUuid> all;
        for (const Fix &f : analysis.fixes)
            all.insert(f.id);
        QCOMPARE(CorrectorText::render(analysis, all).text, original);
        QCOMPARE(CorrectorText::render(analysis, {}).text, corrected);
    }

    // Fixes that do not know where they stand are found by searching their correction.
    void renderWithoutRanges_data()
    {
        QTest::addColumn<QString>("corrected");
        QTest::addColumn<QStringList>("fixes"); // "original>correction"
        QTest::addColumn<QList<int>>("ignored");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("highlights");
        QTest::newRow("first occurrence put back") << "un à deux à" << QStringList{"a>à"} << QList<int>{0} << "un a deux à"
                                                   << QStringList{};
        QTest::newRow("repeated corrections mark successive places")
            << "à et à" << QStringList{"a>à", "a>à"} << QList<int>{} << "à et à" << QStringList{"0:à", "5:à"};
        QTest::newRow("a correction before the cursor is found again")
            << "à et b" << QStringList{"x>b", "a>à"} << QList<int>{} << "à et b" << QStringList{"5:b", "0:à"};
        QTest::newRow("missing correction skipped") << "rien" << QStringList{"a>à"} << QList<int>{0} << "rien" << QStringList{};
        QTest::newRow("empty sides left alone") << "il part" << QStringList{"∅>il", "vite>∅"} << QList<int>{0, 1}
                                                << "il part" << QStringList{};
        QTest::newRow("insertion marked") << "il ne part" << QStringList{"∅>ne"} << QList<int>{} << "il ne part"
                                          << QStringList{"3:ne"};
    }
    void renderWithoutRanges()
    {
        QFETCH(QString, corrected);
        QFETCH(QStringList, fixes);
        QFETCH(QList<int>, ignored);
        QFETCH(QString, text);
        QFETCH(QStringList, highlights);
        Analysis analysis{corrected, {}};
        for (const QString &f : fixes)
            analysis.fixes.append(loose(f.section(QLatin1Char('>'), 0, 0), f.section(QLatin1Char('>'), 1)));
        const CorrectorText::Rendered rendered = CorrectorText::render(analysis, pick(analysis.fixes, ignored));
        QCOMPARE(rendered.text, text);
        QCOMPARE(marked(rendered), highlights);
    }

    // A range that no longer holds its correction is not trusted.
    void staleRangeFallsBackToSearch()
    {
        Analysis analysis{QStringLiteral("il va à Lyon"), Analyzer::diff(QStringLiteral("il va a Lyon"), QStringLiteral("il va à Lyon"))};
        analysis.corrected = QStringLiteral("à il va à Lyon");
        const auto rendered = CorrectorText::render(analysis, pick(analysis.fixes, {0}));
        QCOMPARE(rendered.text, QStringLiteral("a il va à Lyon"));
    }

    void score_data()
    {
        QTest::addColumn<int>("fixes");
        QTest::addColumn<int>("words");
        QTest::addColumn<int>("score");
        QTest::newRow("1 in 10") << 1 << 10 << 75;
        QTest::newRow("1 in 8, rounds down") << 1 << 8 << 69;
        QTest::newRow("1 in 4, half rounds away") << 1 << 4 << 37;
        QTest::newRow("1 in 6") << 1 << 6 << 58;
        QTest::newRow("never negative") << 3 << 5 << 0;
        QTest::newRow("no fix") << 0 << 12 << 100;
        QTest::newRow("empty text counts one word") << 0 << 0 << 100;
        QTest::newRow("fix in an empty text") << 1 << 0 << 0;
    }
    void score()
    {
        QFETCH(int, fixes);
        QFETCH(int, words);
        QFETCH(int, score);
        QCOMPARE(CorrectorText::score(fixes, words), score);
    }

    void texts_data()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0 mot") << CorrectorText::wordCountText(0) << "0 mot";
        QTest::newRow("1 mot") << CorrectorText::wordCountText(1) << "1 mot";
        QTest::newRow("2 mots") << CorrectorText::wordCountText(2) << "2 mots";
        QTest::newRow("1 500 mots") << CorrectorText::wordCountText(1500) << QStringLiteral("1\u202F500 mots");
        QTest::newRow("live 0") << CorrectorText::liveCountText(0) << "Aucune faute repérée";
        QTest::newRow("live 1") << CorrectorText::liveCountText(1) << "1 faute repérée";
        QTest::newRow("live 3") << CorrectorText::liveCountText(3) << "3 fautes repérées";
        QTest::newRow("fixes 0") << CorrectorText::fixesTitle(0) << "Aucune faute";
        QTest::newRow("fixes 1") << CorrectorText::fixesTitle(1) << "1 correction";
        QTest::newRow("fixes 2") << CorrectorText::fixesTitle(2) << "2 corrections";
        QTest::newRow("kind") << CorrectorText::capitalised(QStringLiteral("orthographe")) << "Orthographe";
        QTest::newRow("kind in capitals") << CorrectorText::capitalised(QStringLiteral("ACCORD")) << "Accord";
        QTest::newRow("kind of two words") << CorrectorText::capitalised(QStringLiteral("style lourd")) << "Style Lourd";
        QTest::newRow("accented kind") << CorrectorText::capitalised(QStringLiteral("élision")) << "Élision";
    }
    void texts()
    {
        QFETCH(QString, got);
        QFETCH(QString, expected);
        QCOMPARE(got, expected);
    }

    void frequentMistakes_data()
    {
        using Changes = QList<QPair<QString, QString>>;
        QTest::addColumn<QList<CorrectionRecord>>("records"); // newest first
        QTest::addColumn<QStringList>("mistakes");

        QTest::newRow("none") << QList<CorrectionRecord>{} << QStringList{};
        QTest::newRow("records without fixes") << QList<CorrectionRecord>{recordOf({}), recordOf({})} << QStringList{};
        QTest::newRow("empty sides skipped")
            << QList<CorrectionRecord>{recordOf(Changes{{"∅", "ne"}, {"que", "∅"}})} << QStringList{};
        QTest::newRow("original case merged, newest kept")
            << QList<CorrectionRecord>{recordOf(Changes{{"Ca", "Ça"}}), recordOf(Changes{{"ca", "Ça"}})}
            << QStringList{"Ca → Ça × 2"};
        QTest::newRow("correction case kept apart")
            << QList<CorrectionRecord>{recordOf(Changes{{"ca", "Ça"}}), recordOf(Changes{{"ca", "ça"}})}
            << QStringList{"ca → Ça × 1", "ca → ça × 1"};
        QTest::newRow("29 characters counted, 30 not")
            << QList<CorrectionRecord>{recordOf(Changes{{QString(29, QLatin1Char('x')), "y"}, {QString(30, QLatin1Char('x')), "z"}})}
            << QStringList{QString(29, QLatin1Char('x')) + " → y × 1"};
        // Thirty UTF-16 units but fifteen characters: short enough.
        QTest::newRow("characters, not code units")
            << QList<CorrectionRecord>{recordOf(Changes{{QString(15, QLatin1Char('e')).replace(QLatin1String("e"), QStringLiteral("e\u0301")), "é"}})}
            << QStringList{QStringLiteral("e\u0301").repeated(15) + " → é × 1"};
        QTest::newRow("most frequent first, six at most, ties in order met")
            << QList<CorrectionRecord>{
                   recordOf(Changes{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}),
                   recordOf(Changes{{"e", "5"}, {"f", "6"}, {"g", "7"}, {"d", "4"}}),
                   recordOf(Changes{{"g", "7"}, {"d", "4"}}),
               }
            << QStringList{"d → 4 × 3", "g → 7 × 2", "a → 1 × 1", "b → 2 × 1", "c → 3 × 1", "e → 5 × 1"};
    }
    void frequentMistakes()
    {
        QFETCH(QList<CorrectionRecord>, records);
        QFETCH(QStringList, mistakes);
        QCOMPARE(describe(CorrectorText::frequentMistakes(records)), mistakes);
    }
};

OMBRY_TEST_MAIN(TestCorrectorText)
#include "tst_corrector_text.moc"
