#include "engines/Hallucination.h"
#include "engines/OpenRouter.h"
#include "engines/Tone.h"
#include "support/TestEnv.h"

#include <QtTest>

namespace {

const QString kChat = QStringLiteral(
    "C'est un message de discussion : garde un ton naturel et familier, des phrases courtes, pas de formules.");
const QString kMail = QStringLiteral(
    "C'est un e-mail ou un document : écris dans un registre soigné et professionnel, sans changer le sens.");

QString words(int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list.append(QStringLiteral("mot"));
    return list.join(QLatin1Char(' '));
}

} // namespace

class TestPrompts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        OpenRouter::setToneHint(QString());
    }

    void basicCleanup_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("hesitation and double blank") << "euh, bonjour  à tous" << "Bonjour à tous";
        QTest::newRow("stretched hesitations") << "Heuuu bah on y va" << "On y va";
        QTest::newRow("inside longer words") << "benoît et le bahut" << "Benoît et le bahut";
        QTest::newRow("heure is a word") << "heure de pointe" << "Heure de pointe";
        QTest::newRow("final hum with full stop and blank") << "on y va hum. " << "On y va";
        QTest::newRow("upper-case hesitation") << "EUH. Oui" << "Oui";
        QTest::newRow("blanks only") << "   \t " << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("leading line break kept") << "\nbonjour" << "\nbonjour";
        QTest::newRow("three blanks become two") << "a   b" << "A  b";
        QTest::newRow("four blanks become two") << "a    b" << "A  b";
        QTest::newRow("no-break space after hesitation")
            << QStringLiteral("euh,\u00A0bonjour") << QStringLiteral("Bonjour");
        QTest::newRow("narrow no-break spaces trimmed at the ends")
            << QStringLiteral("\u202Fbonjour\u202F") << QStringLiteral("Bonjour");
        QTest::newRow("no-break space inside kept")
            << QStringLiteral("ben bonjour\u00A0!") << QStringLiteral("Bonjour\u00A0!");
        QTest::newRow("accented first letter") << "être ou ne pas être" << "Être ou ne pas être";
        QTest::newRow("decomposed first letter")
            << QStringLiteral("e\u0301tait") << QStringLiteral("E\u0301tait");
        QTest::newRow("upper case longer than one character") << "ßa" << "SSa";
    }

    void basicCleanup()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(OpenRouter::basicCleanup(input), expected);
    }

    void alreadyClean_data()
    {
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<bool>("clean");
        QTest::newRow("tu vois") << "bon, tu vois, c'est simple" << false;
        QTest::newRow("repeated que") << "je pense que que oui" << false;
        QTest::newRow("final quoi") << "c'est bien quoi." << false;
        QTest::newRow("heu inside heure") << "à quelle heure" << false;
        QTest::newRow("hum inside humain") << "un être humain" << false;
        QTest::newRow("capitalised filler") << "Euh oui" << false;
        QTest::newRow("repeated word across case") << "Très très bien" << false;
        QTest::newRow("apostrophes unified before comparing")
            << QStringLiteral("c'est C\u2019est bien") << false;
        QTest::newRow("composed and decomposed equal")
            << QStringLiteral("été e\u0301te\u0301 chaud") << false;
        QTest::newRow("nous nous") << "nous nous sommes vus" << true;
        QTest::newRow("vous vous") << "Vous vous trompez" << true;
        QTest::newRow("one-letter repeat") << "a a b" << true;
        QTest::newRow("typographic apostrophes")
            << QStringLiteral("C\u2019est l\u2019après-midi") << true;
        QTest::newRow("plain sentence") << "Je viendrai demain matin." << true;
    }

    void alreadyClean()
    {
        QFETCH(QString, transcript);
        QFETCH(bool, clean);
        QCOMPARE(OpenRouter::alreadyClean(transcript), clean);
    }

    void instructionsWithoutWordsOrTone()
    {
        const QString prompt = OpenRouter::instructions(QStringLiteral("français"), {}, PunctuationLevel::Normal);
        const QStringList lines = prompt.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines.at(0), QStringLiteral("Tu reçois la transcription brute d'une dictée vocale. Réécris-la "
                                             "proprement en français :"));
        QCOMPARE(lines.at(3), QStringLiteral("Ponctuation normale : points, virgules et points d'interrogation là "
                                             "où ils sont nécessaires."));
        QCOMPARE(lines.at(4), QString());
        QVERIFY(prompt.endsWith(QStringLiteral("Renvoie uniquement le texte final.")));
    }

    void instructionsSelectsWordsUntrimmed()
    {
        const QString prompt = OpenRouter::instructions(
            QStringLiteral("anglais"),
            {QStringLiteral("Kesso"), QStringLiteral("  "), QStringLiteral("\t"), QStringLiteral("\u00A0"),
             QStringLiteral(" Ombry ")},
            PunctuationLevel::Normal);
        QVERIFY(prompt.endsWith(QStringLiteral("\nOrthographe à respecter pour ces mots : Kesso,  Ombry .")));
        QCOMPARE(OpenRouter::instructions(QStringLiteral("anglais"), {QStringLiteral(" ")}, PunctuationLevel::Normal)
                     .split(QLatin1Char('\n'))
                     .size(),
                 8);
    }

    void instructionsPunctuationAndTone_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("paragraph");
        QTest::newRow("light") << int(PunctuationLevel::Light)
                               << "Ponctuation légère : garde la ponctuation déjà présente, n'ajoute pas de virgules, "
                                  "de deux-points ni de points-virgules. Mets seulement un point à la fin de chaque "
                                  "phrase qui n'en a pas.";
        QTest::newRow("full") << int(PunctuationLevel::Full)
                              << "Ponctuation complète et soignée : virgules, deux-points, points-virgules et "
                                 "guillemets selon les règles.";
    }

    void instructionsPunctuationAndTone()
    {
        QFETCH(int, level);
        QFETCH(QString, paragraph);
        const PunctuationLevel punctuation = PunctuationLevel(level);
        OpenRouter::setToneHint(kMail);
        // The global is only the default: a chunk passes its own tone.
        const QStringList byDefault =
            OpenRouter::instructions(QStringLiteral("français"), {}, punctuation).split(QLatin1Char('\n'));
        const QStringList explicitTone =
            OpenRouter::instructions(QStringLiteral("français"), {}, punctuation, kChat).split(QLatin1Char('\n'));
        QCOMPARE(byDefault.at(3), paragraph);
        QCOMPARE(byDefault.at(4), kMail);
        QCOMPARE(explicitTone.at(4), kChat);
    }

    void maxTokens_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("tokens");
        QTest::newRow("1300 words") << words(1300) << 4000;
        QTest::newRow("10 words") << words(10) << 230;
        QTest::newRow("empty") << QString() << 200;
        QTest::newRow("blanks and line breaks") << QStringLiteral(" a\n\nb\u00A0c ") << 209;
    }

    void maxTokens()
    {
        QFETCH(QString, text);
        QFETCH(int, tokens);
        QCOMPARE(OpenRouter::maxTokens(text), tokens);
    }

    void toneHint_data()
    {
        QTest::addColumn<bool>("adapt");
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("expected");
        QTest::newRow("messages") << true << "com.apple.MobileSMS" << true << kChat;
        QTest::newRow("mail") << true << "com.apple.mail" << true << kMail;
        QTest::newRow("notes") << true << "com.apple.Notes" << true << QString();
        QTest::newRow("none") << true << QString() << false << QString();
        QTest::newRow("other case") << true << "com.apple.mobilesms" << true << QString();
        QTest::newRow("last chat entry") << true << "com.apple.FaceTime" << true << kChat;
        QTest::newRow("last mail entry") << true << "com.google.Chrome.app.mail" << true << kMail;
        QTest::newRow("linux desktop id") << true << "org.telegram.desktop" << true << kChat;
        QTest::newRow("linux desktop id with suffix") << true << "com.slack.Slack.desktop" << true << kChat;
        QTest::newRow("linux id other case") << true << "Com.slack.slack" << true << QString();
        QTest::newRow("off: messages") << false << "com.apple.MobileSMS" << true << QString();
        QTest::newRow("off: mail") << false << "com.apple.mail" << true << QString();
        QTest::newRow("off: linux") << false << "discord" << true << QString();
    }

    void toneHint()
    {
        QFETCH(bool, adapt);
        QFETCH(QString, bundle);
        QFETCH(bool, present);
        QFETCH(QString, expected);
        QCOMPARE(Tone::hint(adapt, present ? std::optional<QString>(bundle) : std::nullopt), expected);
    }

    void hallucination_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fake");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("no audio heard") << "Je n'ai pas entendu d'audio." << true << "";
        QTest::newRow("apology after a sentence")
            << "Bonjour à tous. Désolé, je n'ai pas pu transcrire l'audio." << true << "Bonjour à tous.";
        QTest::newRow("topic without refusal") << "L'enregistrement est prêt" << false << "L'enregistrement est prêt";
        QTest::newRow("untouched when not fake, not even trimmed")
            << "  Bonjour.  " << false << "  Bonjour.  ";
        // Sentences the user said about a recording or a speaking turn stay.
        QTest::newRow("no problem is no refusal")
            << " J'ai écouté l'enregistrement. Aucun problème !\n" << false
            << " J'ai écouté l'enregistrement. Aucun problème !\n";
        QTest::newRow("no inside casino")
            << "Le casino a gardé l'enregistrement." << false << "Le casino a gardé l'enregistrement.";
        QTest::newRow("a meeting's recording not received")
            << "Je n'ai pas reçu l'enregistrement de la réunion." << false
            << "Je n'ai pas reçu l'enregistrement de la réunion.";
        QTest::newRow("a speaking turn")
            << "Aucun souci pour la prise de parole de jeudi." << false << "Aucun souci pour la prise de parole de jeudi.";
        QTest::newRow("the model refuses")
            << "Désolé, je ne peux pas transcrire cet audio." << true << "";
        QTest::newRow("the model refuses with typographic apostrophes")
            << QStringLiteral("Merci. D\u00e9sol\u00e9, je n\u2019ai pas pu transcrire l\u2019audio.") << true << "Merci.";
        QTest::newRow("typographic apostrophe")
            << QStringLiteral("Je n\u2019ai pas eu l'audio") << false << QStringLiteral("Je n\u2019ai pas eu l'audio");
        QTest::newRow("last piece without a mark")
            << "Merci ! Sorry, I could not hear the recording" << true << "Merci !";
        QTest::newRow("upper case") << "AUCUN AUDIO." << true << "";
        QTest::newRow("blank between pieces starts the next")
            << "Oui ?\nVeuillez fournir l'audio. Non." << true << "Oui ? Non.";
    }

    void hallucination()
    {
        QFETCH(QString, text);
        QFETCH(bool, fake);
        QFETCH(QString, cleaned);
        QCOMPARE(Hallucination::isFake(text), fake);
        QCOMPARE(Hallucination::clean(text), cleaned);
    }
};

OMBRY_TEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
