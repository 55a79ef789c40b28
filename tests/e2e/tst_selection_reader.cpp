#include "dictation/Reader.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QTextToSpeech>

// Reading aloud through the speech server of the private session.
class TestSelectionReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { TestEnv::own<Reader>()->stop(); }

    void voiceFollowsTheLanguage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("language");
        QTest::newRow("français") << "Bonjour à tous, je vous lis ce texte qui est écrit en français aujourd'hui." << "fr";
        QTest::newRow("anglais") << "Hello everyone, this is a short English sentence read aloud for the test." << "en";
        QTest::newRow("indéterminé") << "12345 67890" << "";
    }
    void voiceFollowsTheLanguage()
    {
        QFETCH(QString, text);
        QFETCH(QString, language);
        Reader *reader = TestEnv::own<Reader>();
        reader->speak(text);
        QCOMPARE(reader->lastLocale().section(QLatin1Char('_'), 0, 0), language);
        if (!language.isEmpty()) {
            QCOMPARE(reader->synth()->locale().language(), QLocale(language).language());
            // The plain voice of the language, never one of espeak's variants.
            QVERIFY2(!reader->synth()->voice().name().contains(u'+'), qPrintable(reader->synth()->voice().name()));
        }
        QVERIFY(reader->isSpeaking());
        QVERIFY(TestEnv::waitFor([&] { return reader->synth()->state() == QTextToSpeech::Speaking; }, 5000));
    }

    void stopAndReplace()
    {
        Reader *reader = TestEnv::own<Reader>();
        reader->speak(QStringLiteral("Une première phrase assez longue pour être encore lue dans un instant."));
        QVERIFY(TestEnv::waitFor([&] { return reader->synth()->state() == QTextToSpeech::Speaking; }, 5000));
        reader->speak(QStringLiteral("A second sentence, in English this time, replaces the first one."));
        QCOMPARE(reader->lastLocale().left(2), QStringLiteral("en"));
        QVERIFY(TestEnv::waitFor([&] { return reader->synth()->state() == QTextToSpeech::Speaking; }, 5000));
        // The end of the first text, reported late, does not end the second.
        QTest::qWait(400);
        QVERIFY(reader->isSpeaking());
        reader->stop();
        QVERIFY(!reader->isSpeaking());
        QVERIFY(TestEnv::waitFor([&] { return reader->synth()->state() != QTextToSpeech::Speaking; }, 5000));
    }
};

OMBRY_TEST_ROOT_MAIN(TestSelectionReader)
#include "tst_selection_reader.moc"
