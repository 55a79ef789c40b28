#include "support/TestEnv.h"
#include "text/Analyzer.h"

#include <QJsonArray>

namespace {

QString words(int n, const QString &prefix = QStringLiteral("mot"))
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list.append(prefix + QString::number(i));
    return list.join(QLatin1Char(' '));
}

QStringList describe(const QList<Fix> &fixes)
{
    QStringList out;
    for (const Fix &fix : fixes)
        out.append(fix.original + QStringLiteral(" → ") + fix.correction + QStringLiteral(" [") + fix.kind + QLatin1Char(']'));
    return out;
}

Fix fix(const QString &original, const QString &correction, const QString &explanation = {})
{
    Fix f;
    f.original = original;
    f.correction = correction;
    f.kind = QStringLiteral("orthographe");
    f.explanation = explanation;
    return f;
}

LanguageTool::Match match(const QString &original, const QString &kind, const QString &message)
{
    LanguageTool::Match m;
    m.original = original;
    m.kind = kind;
    m.message = message;
    return m;
}

} // namespace

class TestAnalyzerRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void diff_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QStringList>("fixes");
        QTest::newRow("equal") << "le chat dort" << "le chat dort" << QStringList{};
        QTest::newRow("both empty") << "" << " \n " << QStringList{};
        QTest::newRow("emptied") << "le chat" << "" << QStringList{"le chat → ∅ [orthographe]"};
        QTest::newRow("emptied symbols") << "… !" << "" << QStringList{"… ! → ∅ [ponctuation]"};
        QTest::newRow("comma") << "bon alors" << "bon, alors" << QStringList{"bon → bon, [ponctuation]"};
        QTest::newRow("accent") << "il a mange" << "il a mangé" << QStringList{"mange → mangé [orthographe]"};
        QTest::newRow("capital only") << "à paris" << "à Paris" << QStringList{"paris → Paris [typographie]"};
        QTest::newRow("sentence-start capital and stop") << "chat" << "Chat." << QStringList{"chat → Chat. [typographie]"};
        QTest::newRow("two apart") << "a b c" << "x b y" << QStringList{"a → x [orthographe]", "c → y [orthographe]"};
        QTest::newRow("two adjacent") << "a b c d" << "a x y d" << QStringList{"b c → x y [orthographe]"};
        QTest::newRow("insertion") << "je vais" << "je ne vais" << QStringList{"∅ → ne [orthographe]"};
        QTest::newRow("blanks are not words") << "a  b\n\nc" << "a b c" << QStringList{};
        QTest::newRow("case counts, as typography") << "Bonjour" << "bonjour" << QStringList{"Bonjour → bonjour [typographie]"};
        QTest::newRow("normalisation ignored") << "e\u0301te\u0301" << "été" << QStringList{};
    }
    void diff()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(QStringList, fixes);
        const QList<Fix> got = Analyzer::diff(a, b);
        QCOMPARE(describe(got), fixes);
        for (const Fix &f : got)
            QVERIFY(f.explanation.isEmpty());
    }

    // Where each fix stands in the corrected text: "at+length".
    void diffRanges_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QStringList>("ranges");
        QTest::newRow("replacement") << "il a mange" << "il a mangé" << QStringList{"5+5"};
        QTest::newRow("same word twice") << "a x a" << "à x à" << QStringList{"0+1", "4+1"};
        QTest::newRow("words over blanks") << "a b c d" << "a  x\ny d" << QStringList{"3+3"};
        QTest::newRow("insertion") << "je vais" << "je ne vais" << QStringList{"3+2"};
        QTest::newRow("removal after a word") << "il est est parti" << "il est parti" << QStringList{"6+0"};
        QTest::newRow("removal at the start") << "et il part" << "  il part" << QStringList{"2+0"};
        QTest::newRow("removal of everything") << "le chat" << "" << QStringList{"0+0"};
        QTest::newRow("surrogate pairs count twice") << "😀 a" << "😀 à" << QStringList{"3+1"};
    }
    void diffRanges()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(QStringList, ranges);
        QStringList got;
        for (const Fix &f : Analyzer::diff(a, b))
            got.append(QString::number(f.at) + QLatin1Char('+') + QString::number(f.length));
        QCOMPARE(got, ranges);
    }

    void diffFreshIds()
    {
        const auto first = Analyzer::diff(QStringLiteral("a"), QStringLiteral("b"));
        const auto second = Analyzer::diff(QStringLiteral("a"), QStringLiteral("b"));
        QVERIFY(first[0].id != second[0].id);
        QVERIFY(first[0] != second[0]);
    }

    void diffSizeCap_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("m");
        QTest::addColumn<bool>("compared");
        QTest::newRow("2000 × 2000") << 2000 << 2000 << false;
        QTest::newRow("1999 × 2000") << 1999 << 2000 << true;
        // n × m wraps to a small number in 32 bits; it must still hit the cap.
        QTest::newRow("65536 × 65537") << 65536 << 65537 << false;
    }
    void diffSizeCap()
    {
        QFETCH(int, n);
        QFETCH(int, m);
        QFETCH(bool, compared);
        const auto fixes = Analyzer::diff(words(n), words(m, QStringLiteral("autre")));
        QCOMPARE(!fixes.isEmpty(), compared);
    }

    // Whether a grammar-check finding gives its rule to a fix: on whole words only.
    void enrich_data()
    {
        QTest::addColumn<QString>("fixOriginal");
        QTest::addColumn<QString>("fixCorrection");
        QTest::addColumn<QString>("matchOriginal");
        QTest::addColumn<QString>("explanation"); // "" when the finding is not taken
        QTest::newRow("same text, case and blanks ignored") << "Ecole" << "École" << "ecole " << "Majuscule";
        QTest::newRow("one word of the fix") << "les chat" << "le chat" << "les" << "Majuscule";
        QTest::newRow("the fix inside a longer finding") << "a" << "à" << "il a mangé" << "Majuscule";
        QTest::newRow("a inside manger") << "manger" << "mangé" << "a" << "";
        QTest::newRow("a inside chat") << "chat" << "chat." << "a" << "";
        QTest::newRow("stem inside a longer verb") << "mangeait" << "mangeaient" << "mange" << "";
        QTest::newRow("a blank finding") << "rien" << "quoi" << " " << "";
    }
    void enrich()
    {
        QFETCH(QString, fixOriginal);
        QFETCH(QString, fixCorrection);
        QFETCH(QString, matchOriginal);
        QFETCH(QString, explanation);
        const QList<Fix> fixes = Analyzer::enrich({fix(fixOriginal, fixCorrection)},
                                                  {match(matchOriginal, QStringLiteral("accord"), QStringLiteral("Majuscule"))});
        QCOMPARE(fixes[0].explanation, explanation);
        QCOMPARE(fixes[0].kind, explanation.isEmpty() ? fix(fixOriginal, fixCorrection).kind : QStringLiteral("accord"));
    }

    void explainPrompts()
    {
        const QList<Fix> fixes = {fix(QStringLiteral("a"), QStringLiteral("à")), fix(QStringLiteral("∅"), QStringLiteral("ne"))};
        QCOMPARE(Analyzer::explainUser(fixes, QStringLiteral("T")),
                 QStringLiteral("Texte d'origine :\nT\n\nCorrections :\n1. « a » → « à »\n2. « ∅ » → « ne »"));
        QCOMPARE(Analyzer::explainJsonLine(),
                 QStringLiteral("Réponds uniquement en JSON : {\"items\": [{\"kind\": \"orthographe|grammaire|conjugaison|"
                                "accord|ponctuation|typographie|style\", \"explanation\": \"...\"}]}"));
    }

    void applyExplanations_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QStringList>("explanations");
        QTest::newRow("fenced") << "Voici :\n```json\n{\"items\": [{\"kind\": \"accord\", \"explanation\": \"E1\"}, "
                                   "{\"kind\": \"style\", \"explanation\": \"E2\"}]}\n```"
                                << QStringList{"accord", "style"} << QStringList{"E1", "E2"};
        QTest::newRow("unknown kind") << "{\"items\": [{\"kind\": \"lexique\", \"explanation\": \"E1\"}]}"
                                      << QStringList{"orthographe", "orthographe"} << QStringList{"E1", "old"};
        QTest::newRow("no explanation") << "{\"items\": [{\"kind\": \"accord\"}, {}]}"
                                        << QStringList{"accord", "orthographe"} << QStringList{"", ""};
        QTest::newRow("fewer items") << "{\"items\": []}" << QStringList{"orthographe", "orthographe"}
                                     << QStringList{"", "old"};
    }
    void applyExplanations()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, kinds);
        QFETCH(QStringList, explanations);
        const QList<Fix> fixes = Analyzer::applyExplanations(
            {fix(QStringLiteral("a"), QStringLiteral("b")), fix(QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("old"))},
            reply, QStringLiteral("OpenRouter"));
        QCOMPARE(QStringList({fixes[0].kind, fixes[1].kind}), kinds);
        QCOMPARE(QStringList({fixes[0].explanation, fixes[1].explanation}), explanations);
    }

    void applyExplanationsRejects_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("prose") << "Désolé, je ne peux pas.";
        QTest::newRow("no items") << "{\"result\": []}";
        QTest::newRow("brace order") << "} puis {";
        QTest::newRow("kind not text") << "{\"items\": [{\"kind\": 3}]}";
    }
    void applyExplanationsRejects()
    {
        QFETCH(QString, reply);
        QVERIFY_THROWS_EXCEPTION(DecodingError, Analyzer::applyExplanations({fix(QStringLiteral("a"), QStringLiteral("b"))}, reply, QStringLiteral("OpenRouter")));
    }

    void schema()
    {
        const QJsonObject schema = Analyzer::explanationSchema(3);
        const QJsonObject items = schema[QStringLiteral("properties")][QStringLiteral("items")].toObject();
        QCOMPARE(items[QStringLiteral("minItems")].toInt(), 3);
        QCOMPARE(items[QStringLiteral("maxItems")].toInt(), 3);
        const QJsonArray kinds = items[QStringLiteral("items")][QStringLiteral("properties")][QStringLiteral("kind")][QStringLiteral("enum")].toArray();
        QCOMPARE(kinds.size(), 7);
        QCOMPARE(kinds.first().toString(), QStringLiteral("orthographe"));
    }

    void rewritePrompts()
    {
        QCOMPARE(Analyzer::rewriteSystem(TextAction::Translate, QStringLiteral("français"), std::nullopt),
                 QStringLiteral("Traduis ce texte en anglais, de façon naturelle et fidèle, en gardant le ton et la mise en forme.\n"
                                "Renvoie uniquement la traduction, sans guillemets ni commentaire."));
        QVERIFY(Analyzer::rewriteSystem(TextAction::Translate, QStringLiteral("français"), QStringLiteral("italien"))
                    .startsWith(QStringLiteral("Traduis ce texte en italien,")));
        QVERIFY(Analyzer::rewriteSystem(TextAction::Summary, QStringLiteral("français"), std::nullopt)
                    .endsWith(QStringLiteral("l'essentiel. Écris en français. Garde le sens.\nRenvoie uniquement le texte, sans guillemets ni commentaire.")));
        QCOMPARE(Analyzer::rewriteSystem(TextAction::Correct, QStringLiteral("anglais"), std::nullopt),
                 QStringLiteral(" Écris en anglais. Garde le sens et toutes les informations.\n"
                                "Renvoie uniquement le texte, sans guillemets ni commentaire."));
    }
};

OMBRY_TEST_MAIN(TestAnalyzerRules)
#include "tst_analyzer_rules.moc"
