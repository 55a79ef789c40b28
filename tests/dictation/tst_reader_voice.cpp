#include "dictation/Reader.h"
#include "support/TestEnv.h"

using Voices = QList<Reader::VoiceInfo>;
Q_DECLARE_METATYPE(Voices)

// Which installed voice reads a language: the best of the language's voices.
class TestReaderVoice : public QObject
{
    Q_OBJECT

    static Reader::VoiceInfo voice(const char *name, const char *module, const char *locale)
    {
        return {QString::fromUtf8(name), QString::fromUtf8(module), QLocale(QString::fromLatin1(locale))};
    }

private Q_SLOTS:
    void bestVoice_data()
    {
        QTest::addColumn<Voices>("voices");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("chosen");

        const Reader::VoiceInfo espeakFr = voice("French (France)", "espeak-ng", "fr_FR");
        const Reader::VoiceInfo variantFr = voice("French (France)+Demonic", "espeak-ng", "fr_FR");
        const Reader::VoiceInfo mbrolaFr = voice("fr-mbrola-1", "espeak-ng", "fr_FR");
        const Reader::VoiceInfo picoFr = voice("fr-FR", "pico", "fr_FR");
        const Reader::VoiceInfo piperBe = voice("fr_FR-siwis-medium", "piper", "fr_BE");
        const Reader::VoiceInfo espeakEn = voice("English (America)", "espeak-ng", "en_US");

        QTest::newRow("a variant loses to the plain voice") << Voices{variantFr, espeakFr} << "fr" << 1;
        QTest::newRow("diphone over formant") << Voices{espeakFr, mbrolaFr} << "fr" << 1;
        QTest::newRow("neural voice of another region") << Voices{espeakFr, picoFr, piperBe} << "fr" << 2;
        QTest::newRow("equals: the first listed") << Voices{espeakFr, voice("Français", "festival", "fr_CA")}
                                                  << "fr" << 0;
        QTest::newRow("only the language's voices") << Voices{piperBe, espeakEn} << "en" << 1;
        QTest::newRow("no voice of the language") << Voices{espeakEn} << "de" << -1;
        QTest::newRow("a code is a whole language") << Voices{voice("Filipino", "espeak-ng", "fil_PH")} << "fi"
                                                    << -1;
    }

    void bestVoice()
    {
        QFETCH(Voices, voices);
        QFETCH(QString, code);
        QFETCH(int, chosen);
        QCOMPARE(int(Reader::bestVoice(voices, code)), chosen);
    }
};

OMBRY_TEST_MAIN(TestReaderVoice)
#include "tst_reader_voice.moc"
