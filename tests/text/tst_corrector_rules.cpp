#include "support/TestEnv.h"
#include "text/Corrector.h"

using LanguageTool::Match;

namespace {

Match at(const QString &text, const QString &original, const QStringList &replacements, const QString &kind,
         qsizetype from = 0)
{
    Match m;
    m.start = text.indexOf(original, from);
    m.length = original.size();
    m.original = original;
    m.replacements = replacements;
    m.kind = kind;
    m.message = QStringLiteral("message ") + original;
    return m;
}

} // namespace

class TestCorrectorRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void guardChanges_data()
    {
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("corrected");
        QTest::addColumn<QString>("guarded");
        QTest::newRow("slang back to lower") << "jsp ce qu'il veut" << "JSP ce qu'il veut." << "jsp ce qu'il veut.";
        QTest::newRow("capitalised first letter kept") << "jsp ce qu'il veut" << "Jsp ce qu'il veut." << "Jsp ce qu'il veut.";
        QTest::newRow("inside a longer word untouched") << "mdr" << "MDRR mdr" << "MDRR mdr";
        QTest::newRow("long word left") << "bonjour" << "BONJOUR" << "BONJOUR";
        QTest::newRow("one letter left") << "a" << "A" << "A";
        QTest::newRow("original in capitals left") << "OK tkt" << "OK TKT" << "OK tkt";
        QTest::newRow("accented word") << "ça va" << "ÇA va" << "ça va";
        QTest::newRow("added question") << "tu viens" << "Tu viens ?" << "Tu viens.";
        QTest::newRow("added question no blank") << "tu viens" << "Tu viens?" << "Tu viens.";
        QTest::newRow("lost question") << "tu viens ?" << "Tu viens." << "Tu viens ?";
        QTest::newRow("lost question dots") << "tu viens?  " << "Tu viens. . " << "Tu viens ?";
        QTest::newRow("empty reply invents nothing") << "quoi ?" << "  " << "";
        QTest::newRow("lost question after an exclamation") << "tu viens ?" << "Tu viens !" << "Tu viens ?";
        QTest::newRow("lost question after an ellipsis") << "tu viens ?" << "Tu viens…" << "Tu viens ?";
        QTest::newRow("added question after a stop") << "c'est fini" << "C'est fini.?" << "C'est fini.";
        QTest::newRow("added question after an exclamation") << "super" << "Super !?" << "Super !";
        QTest::newRow("question kept") << "tu viens ?" << "Tu viens ?" << "Tu viens ?";
        QTest::newRow("trimmed") << "x" << "\n  Bonjour.\n" << "Bonjour.";
        QTest::newRow("line break before mark") << "tu viens" << "Tu viens\n?" << "Tu viens\n.";
    }
    void guardChanges()
    {
        QFETCH(QString, original);
        QFETCH(QString, corrected);
        QFETCH(QString, guarded);
        QCOMPARE(Corrector::guardChanges(original, corrected), guarded);
    }

    void finish_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("scope");
        QTest::addColumn<QString>("finished");
        QTest::newRow("full") << "  bonjour à tous \n" << qint64(15) << "Bonjour à tous.";
        QTest::newRow("exclamation") << "bonjour !" << qint64(15) << "Bonjour !";
        QTest::newRow("number") << "il en a 12" << qint64(15) << "Il en a 12.";
        QTest::newRow("scope 0") << "  bonjour  " << qint64(0) << "bonjour";
        QTest::newRow("capitals only") << "été" << qint64(8) << "Été";
        QTest::newRow("punctuation only") << "été" << qint64(4) << "été.";
        QTest::newRow("empty") << " \n " << qint64(15) << "";
        QTest::newRow("starts with digit") << "3 chats" << qint64(15) << "3 chats.";
        QTest::newRow("emoji end") << "ok 😀" << qint64(15) << "Ok 😀";
        QTest::newRow("decomposed accent end") << "ete\u0301" << qint64(4) << "ete\u0301.";
    }
    void finish()
    {
        QFETCH(QString, text);
        QFETCH(qint64, scope);
        QFETCH(QString, finished);
        QCOMPARE(Corrector::finish(text, CorrectionScope(scope)), finished);
    }

    void instructionsScope()
    {
        const QString all = Corrector::instructions(QStringLiteral("français"), {}, CorrectionScope(31), PunctuationLevel::Full);
        QVERIFY(!all.contains(QStringLiteral("Ne touche pas à")));
        QVERIFY(all.contains(QStringLiteral(" Tu peux rendre les phrases un peu plus fluides")));
        QVERIFY(all.contains(QStringLiteral("Ponctuation complète et soignée")));

        const QString spelling = Corrector::instructions(QStringLiteral("anglais"), {}, CorrectionScope(1), PunctuationLevel::Normal);
        QVERIFY(spelling.startsWith(QStringLiteral("Corrige ce texte en anglais. Corrige uniquement : l'orthographe. "
                                                   "Ne touche pas à : la grammaire, la ponctuation exactement telle quelle, "
                                                   "les majuscules et les espaces. Ne change ni le sens")));
        QVERIFY(!spelling.contains(QStringLiteral("Ponctuation")));
        QVERIFY(spelling.endsWith(QStringLiteral("sans guillemets ni commentaire.")));
    }

    void instructionsWords()
    {
        const auto prompt = [](const QStringList &words) {
            return Corrector::instructions(QStringLiteral("français"), words, CorrectionScope(15), PunctuationLevel::Light);
        };
        QVERIFY(prompt({QStringLiteral(""), QStringLiteral(" \t ")}).endsWith(QStringLiteral("ni commentaire.")));
        QVERIFY(prompt({QStringLiteral(" Kesso"), QStringLiteral(""), QStringLiteral("Murel")})
                    .endsWith(QStringLiteral("ni commentaire.\nOrthographe à respecter pour ces mots :  Kesso, Murel.")));
    }

    void keepMatches()
    {
        const QString text = QStringLiteral("Kesso a dit , ok");
        const QList<Match> matches = {
            at(text, QStringLiteral("Kesso"), {QStringLiteral("Kessa")}, QStringLiteral("orthographe")),
            at(text, QStringLiteral(" ,"), {QStringLiteral(",")}, QStringLiteral("ponctuation")),
            at(text, QStringLiteral("ok"), {QStringLiteral("OK")}, QStringLiteral("style")),
            at(text, QStringLiteral("dit"), {QStringLiteral("dis")}, QStringLiteral("conjugaison")),
        };
        const auto kept = Corrector::keepMatches(matches, {QStringLiteral("KESSO")}, CorrectionScope(15), PunctuationLevel::Light);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].original, QStringLiteral("dit"));
    }

    void appliesFromTheEnd()
    {
        // Two findings at 3 and 10: the later one first, both land where they belong.
        const QString text = QStringLiteral("le Ecole et Etudes");
        const QList<Match> matches = {
            at(text, QStringLiteral("Ecole"), {QStringLiteral("École")}, QStringLiteral("orthographe")),
            at(text, QStringLiteral("Etudes"), {QStringLiteral("Études")}, QStringLiteral("orthographe")),
        };
        const auto applied = Corrector::applyMatches(text, matches, true);
        QCOMPARE(applied.text, QStringLiteral("le École et Études"));
        QVERIFY(applied.hints.isEmpty());
    }

    void withoutModel()
    {
        const QString text = QStringLiteral("les chat dort ok");
        const QList<Match> matches = {
            at(text, QStringLiteral("les chat"), {QStringLiteral("le chat"), QStringLiteral("les chats")}, QStringLiteral("accord")),
            at(text, QStringLiteral("dort"), {QStringLiteral("dorment")}, QStringLiteral("conjugaison")),
            at(text, QStringLiteral("ok"), {QStringLiteral("OK")}, QStringLiteral("style")), // no acceptable suggestion
        };
        const auto applied = Corrector::applyMatches(text, matches, false);
        QCOMPARE(applied.text, QStringLiteral("les chats dorment ok"));
        QCOMPARE(applied.hints.size(), 1);
    }

    void withModelHintsLastFirst()
    {
        const QString text = QStringLiteral("il a manger des pomme");
        const QList<Match> matches = {
            at(text, QStringLiteral("manger"), {QStringLiteral("mangé")}, QStringLiteral("conjugaison")),
            at(text, QStringLiteral("des pomme"), {QStringLiteral("des pommes")}, QStringLiteral("accord")),
        };
        const auto applied = Corrector::applyMatches(text, matches, true);
        QCOMPARE(applied.text, text);
        QCOMPARE(applied.hints.size(), 2);
        QCOMPARE(applied.hints[0].original, QStringLiteral("des pomme"));
        QCOMPARE(Corrector::modelUser(applied.text, applied.hints),
                 QStringLiteral("Texte à corriger :\n<<<\nil a manger des pomme\n>>>\n\nFautes repérées :\n"
                                "- « des pomme » : message des pomme (propositions : des pommes)\n"
                                "- « manger » : message manger (propositions : mangé)"));
        QCOMPARE(Corrector::modelUser(text, {}), text);
    }

    void overlapping_data()
    {
        QTest::addColumn<bool>("withModel");
        QTest::addColumn<int>("hints");
        QTest::newRow("hinted with a model") << true << 1;
        QTest::newRow("skipped without") << false << 0;
    }
    void overlapping()
    {
        QFETCH(bool, withModel);
        QFETCH(int, hints);
        // "Etat" is fixed first (later start); the earlier finding spans into it.
        const QString text = QStringLiteral("un bel Etat");
        const QList<Match> matches = {
            at(text, QStringLiteral("bel Etat"), {QStringLiteral("bel état")}, QStringLiteral("style")),
            at(text, QStringLiteral("Etat"), {QStringLiteral("État")}, QStringLiteral("typographie")),
        };
        const auto applied = Corrector::applyMatches(text, matches, withModel);
        QCOMPARE(applied.text, QStringLiteral("un bel État"));
        QCOMPARE(applied.hints.size(), hints);
    }

    void touchingReplacementKeepsCharacters()
    {
        // The later replacement starts with a combining accent: the earlier finding
        // would now end inside a character, so it is not applied.
        const QString text = QStringLiteral("cafe x");
        Match accent;
        accent.start = 4;
        accent.length = 2;
        accent.original = QStringLiteral(" x");
        accent.replacements = {QStringLiteral("\u0301 x")};
        accent.kind = QStringLiteral("typographie");
        const Match word = at(text, QStringLiteral("cafe"), {QStringLiteral("cafés")}, QStringLiteral("style"));
        const auto applied = Corrector::applyMatches(text, {word, accent}, false);
        QCOMPARE(applied.text, QStringLiteral("cafe\u0301 x"));

        // Ends exactly where a plain replacement begins: applied.
        const Match x = at(text, QStringLiteral("x"), {QStringLiteral("y")}, QStringLiteral("typographie"));
        const Match blank = at(text, QStringLiteral("cafe "), {QStringLiteral("café ")}, QStringLiteral("typographie"));
        QCOMPARE(Corrector::applyMatches(text, {blank, x}, false).text, QStringLiteral("café y"));
    }

    void sameStartKeepsServiceOrder()
    {
        const QString text = QStringLiteral("ab");
        Match insert;
        insert.start = 0;
        insert.length = 0;
        insert.replacements = {QStringLiteral("«")};
        insert.kind = QStringLiteral("typographie");
        Match word = at(text, QStringLiteral("ab"), {QStringLiteral("AB")}, QStringLiteral("typographie"));
        // Service order: the insertion first, then the word that would cut it.
        const auto applied = Corrector::applyMatches(text, {insert, word}, true);
        QCOMPARE(applied.text, QStringLiteral("«ab"));
        QCOMPARE(applied.hints.size(), 1);
    }

    void cleanReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("guarded");
        QTest::newRow("fenced with label") << "Texte à corriger :\n<<<\nJe suis allé à la plage.\n>>>" << "Je suis allé à la plage.";
        QTest::newRow("blank before label") << " Texte à corriger : Oui." << "Texte à corriger : Oui.";
        QTest::newRow("plain") << "Je suis allé à la plage." << "Je suis allé à la plage.";
    }
    void cleanReply()
    {
        QFETCH(QString, reply);
        QFETCH(QString, guarded);
        QCOMPARE(Corrector::guardChanges(QStringLiteral("je suis allé a la plage"), Corrector::cleanReply(reply)), guarded);
    }

    void modelSystem()
    {
        QCOMPARE(Corrector::modelSystem(QStringLiteral("P"), false), QStringLiteral("P"));
        QVERIFY(Corrector::modelSystem(QStringLiteral("P"), true)
                    .startsWith(QStringLiteral("P\nUn vérificateur a repéré des fautes possibles.")));
    }
};

OMBRY_TEST_MAIN(TestCorrectorRules)
#include "tst_corrector_rules.moc"
