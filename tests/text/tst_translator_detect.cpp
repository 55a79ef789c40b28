#include "support/TestEnv.h"
#include "text/Translator.h"

class TestTranslatorDetect : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void detect_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name"); // "" for none
        QTest::newRow("english") << "Hello, how are you today?" << "anglais";
        QTest::newRow("french") << "Je suis allé à la plage hier soir avec mes amis." << "français";
        // Short French, taken for English or Spanish without the French prior.
        QTest::newRow("short french question") << "On se voit demain ?" << "français";
        QTest::newRow("short french with accent") << "On part à quelle heure ?" << "français";
        QTest::newRow("short french, spanish-looking") << "Tu es où ?" << "français";
        QTest::newRow("short english stays english") << "See you tomorrow?" << "anglais";
        QTest::newRow("short english question") << "What time do we leave?" << "anglais";
        QTest::newRow("german") << "Guten Morgen, wie geht es dir heute?" << "allemand";
        QTest::newRow("portuguese") << "Olá, tudo bem? Eu gosto muito de viajar pelo Brasil." << "portugais";
        QTest::newRow("dutch") << "Ik ga morgen met mijn vrienden naar het strand." << "néerlandais";
        QTest::newRow("japanese") << "こんにちは、今日はいい天気ですね。" << "japonais";
        QTest::newRow("simplified chinese") << "这是一个简体中文的句子，我们今天去公园散步。" << "chinois";
        QTest::newRow("traditional chinese") << "這是一個繁體中文的句子，我們今天去公園散步。" << "chinois";
        QTest::newRow("russian") << "Привет, как дела? Я сегодня иду в кино." << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("blanks") << "  \n " << "";
        QTest::newRow("too short to tell") << "ok" << "";
    }
    void detect()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(Translator::detect(text).value_or(QString()), name);
    }

    void reversal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("autoReverse");
        QTest::addColumn<QString>("resolved");
        QTest::newRow("english to french") << "Hello, how are you today?" << "anglais" << true << "français";
        QTest::newRow("french to english") << "Je suis allé à la plage hier soir avec mes amis." << "français" << true << "anglais";
        QTest::newRow("portuguese to german") << "Olá, tudo bem? Eu gosto muito de viajar pelo Brasil." << "allemand" << true << "allemand";
        QTest::newRow("german reversed to french") << "Guten Morgen, wie geht es dir heute?" << "allemand" << true << "français";
        QTest::newRow("no reversal asked") << "Hello, how are you today?" << "anglais" << false << "anglais";
        QTest::newRow("undetected") << "ok" << "anglais" << true << "anglais";
    }
    void reversal()
    {
        QFETCH(QString, text);
        QFETCH(QString, target);
        QFETCH(bool, autoReverse);
        QFETCH(QString, resolved);
        QCOMPARE(Translator::resolvedTarget(text, target, autoReverse), resolved);
    }
};

OMBRY_TEST_MAIN(TestTranslatorDetect)
#include "tst_translator_detect.moc"
