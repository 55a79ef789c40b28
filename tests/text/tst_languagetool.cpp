#include "support/TestEnv.h"
#include "text/LanguageTool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

using LanguageTool::Match;

namespace {

Match match(const QString &kind, const QString &original, const QStringList &replacements = {},
            const QString &category = {})
{
    Match m;
    m.kind = kind;
    m.original = original;
    m.length = original.size();
    m.replacements = replacements;
    m.category = category;
    return m;
}

QJsonObject replyMatch(qint64 offset, qint64 length, const QStringList &values = {QStringLiteral("x")},
                       const QString &categoryId = QStringLiteral("TYPOS"))
{
    QJsonArray replacements;
    for (const QString &v : values)
        replacements.append(QJsonObject{{QStringLiteral("value"), v}});
    return QJsonObject{
        {QStringLiteral("offset"), offset},
        {QStringLiteral("length"), length},
        {QStringLiteral("message"), QStringLiteral("msg")},
        {QStringLiteral("replacements"), replacements},
        {QStringLiteral("rule"), QJsonObject{{QStringLiteral("category"),
                                              QJsonObject{{QStringLiteral("id"), categoryId},
                                                          {QStringLiteral("name"), QStringLiteral("Nom")}}}}},
    };
}

QByteArray reply(const QJsonArray &matches)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("matches"), matches}}).toJson(QJsonDocument::Compact);
}

} // namespace

class TestLanguageTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kind_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("kind");
        QTest::newRow("typos") << "TYPOS" << "orthographe";
        QTest::newRow("homonymes") << "CAT_HOMONYMES_PARONYMES" << "orthographe";
        QTest::newRow("confused") << "CONFUSED_WORDS" << "orthographe";
        QTest::newRow("agreement") << "AGREEMENT" << "accord";
        QTest::newRow("concordances") << "CONCORDANCES" << "accord";
        QTest::newRow("grammaire") << "CAT_GRAMMAIRE" << "grammaire";
        QTest::newRow("virgule") << "PONCTUATION_VIRGULE" << "ponctuation";
        QTest::newRow("casing") << "CASING" << "typographie";
        QTest::newRow("typography") << "TYPOGRAPHY" << "typographie";
        QTest::newRow("unknown") << "REDUNDANCY" << "style";
        QTest::newRow("lower case") << "casing" << "style";
        QTest::newRow("empty") << "" << "style";
    }
    void kind()
    {
        QFETCH(QString, id);
        QFETCH(QString, kind);
        QCOMPARE(LanguageTool::kind(id), kind);
    }

    void allowed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("scope");
        QTest::addColumn<PunctuationLevel>("level");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("punct light") << "ponctuation" << qint64(15) << PunctuationLevel::Light << false;
        QTest::newRow("punct normal") << "ponctuation" << qint64(15) << PunctuationLevel::Normal << true;
        QTest::newRow("punct no bit") << "ponctuation" << qint64(11) << PunctuationLevel::Full << false;
        QTest::newRow("spelling") << "orthographe" << qint64(1) << PunctuationLevel::Light << true;
        QTest::newRow("spelling off") << "orthographe" << qint64(30) << PunctuationLevel::Light << false;
        QTest::newRow("conjugaison") << "conjugaison" << qint64(2) << PunctuationLevel::Light << true;
        QTest::newRow("accord off") << "accord" << qint64(13) << PunctuationLevel::Light << false;
        QTest::newRow("typo") << "typographie" << qint64(8) << PunctuationLevel::Light << true;
        QTest::newRow("style off") << "style" << qint64(15) << PunctuationLevel::Full << false;
        QTest::newRow("style on") << "style" << qint64(16) << PunctuationLevel::Full << true;
        QTest::newRow("other kind") << "autre" << qint64(0) << PunctuationLevel::Light << true;
    }
    void allowed()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, scope);
        QFETCH(PunctuationLevel, level);
        QFETCH(bool, allowed);
        QCOMPARE(LanguageTool::allowed(match(kind, QStringLiteral("x")), CorrectionScope(scope), level), allowed);
    }

    void isSafe_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<bool>("safe");
        QTest::newRow("typography") << "typographie" << "" << "a" << "À" << true;
        QTest::newRow("grammar") << "grammaire" << "" << "a" << "à" << false;
        QTest::newRow("accent only") << "orthographe" << "Faute" << "a" << "à" << true;
        QTest::newRow("accent on capital") << "orthographe" << "Faute" << "Ecole" << "École" << true;
        QTest::newRow("adds capital") << "orthographe" << "Faute" << "ecole" << "École" << false;
        QTest::newRow("drops capital") << "orthographe" << "Faute" << "Ecole" << "école" << false;
        QTest::newRow("capitals both") << "orthographe" << "Faute" << "ECOLE" << "ÉCOLE" << false;
        QTest::newRow("hyphen") << "orthographe" << "Faute" << "peut être" << "peut-être" << true;
        QTest::newRow("other word") << "orthographe" << "Faute" << "chat" << "chien" << false;
        QTest::newRow("other word homonymes") << "orthographe" << "Confusion d'homonymes" << "ces" << "ses" << true;
        QTest::newRow("Homonymes capital") << "orthographe" << "Homonymes" << "ces" << "ses" << false;
        QTest::newRow("digits only") << "orthographe" << "Faute" << "1,5" << "1.5" << false;
        QTest::newRow("case inside") << "orthographe" << "Faute" << "iphone" << "iPhone" << true;
    }
    void isSafe()
    {
        QFETCH(QString, kind);
        QFETCH(QString, category);
        QFETCH(QString, original);
        QFETCH(QString, replacement);
        QFETCH(bool, safe);
        QCOMPARE(LanguageTool::isSafe(match(kind, original, {}, category), replacement), safe);
    }

    void bestReplacement_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("original");
        QTest::addColumn<QStringList>("replacements");
        QTest::addColumn<QString>("best"); // "<none>" for no value
        QTest::newRow("none") << "style" << "x" << QStringList{} << "<none>";
        QTest::newRow("empty first") << "style" << "x" << QStringList{"", "y"} << "<none>";
        QTest::newRow("accord keeps first word") << "accord" << "les chat" << QStringList{"le chat", "les chats"} << "les chats";
        QTest::newRow("accord case") << "accord" << "Les chat" << QStringList{"le chat", "les chats"} << "les chats";
        QTest::newRow("accord no match") << "accord" << "les chat" << QStringList{"le chat", "un chat"} << "le chat";
        QTest::newRow("accord blank skipped") << "accord" << "les chat" << QStringList{"le chat", "  ", "les chats"} << "les chats";
        QTest::newRow("accord no word") << "accord" << " " << QStringList{"OK"} << "OK"; // a blank is its own capitals
        QTest::newRow("style capitals short") << "style" << "ok" << QStringList{"OK"} << "<none>";
        QTest::newRow("style capitals original") << "style" << "OK" << QStringList{"OK"} << "OK";
        QTest::newRow("style capitals long") << "style" << "onu" << QStringList{"NATIONS"} << "NATIONS";
        QTest::newRow("style plain") << "style" << "x" << QStringList{"y", "z"} << "y";
        QTest::newRow("punctuation") << "ponctuation" << "," << QStringList{"."} << ".";
    }
    void bestReplacement()
    {
        QFETCH(QString, kind);
        QFETCH(QString, original);
        QFETCH(QStringList, replacements);
        QFETCH(QString, best);
        const auto got = LanguageTool::bestReplacement(match(kind, original, replacements));
        QCOMPARE(got.value_or(QStringLiteral("<none>")), best);
    }

    void formBody()
    {
        const QString text = QStringLiteral("1+1 = 2 & « ça » va?");
        const QByteArray body = LanguageTool::formBody(text, QStringLiteral("fr"));
        QVERIFY(body.endsWith("&language=fr&level=picky"));
        QVERIFY(body.startsWith("text="));
        QVERIFY(!body.contains('+'));
        QVERIFY(!body.contains(' '));
        // A form decoder gets the text back exactly, "+" included.
        QByteArray raw = body;
        raw.replace('+', ' ');
        QUrlQuery query(QString::fromUtf8(raw));
        QCOMPARE(query.queryItemValue(QStringLiteral("text"), QUrl::FullyDecoded), text);
        QCOMPARE(query.allQueryItemValues(QStringLiteral("level")), QStringList{QStringLiteral("picky")});
    }

    void parsePlacesMatches()
    {
        // The emoji is two UTF-16 units: offsets count them, and land on "fote".
        const QString text = QStringLiteral("😀 une fote ici");
        const auto matches = LanguageTool::parseReply(
            text, reply({replyMatch(7, 4, {QStringLiteral("faute"), QStringLiteral("a"), QStringLiteral("b"),
                                           QStringLiteral("c"), QStringLiteral("d")},
                                   QStringLiteral("CASING"))}));
        QCOMPARE(matches.size(), 1);
        QCOMPARE(matches[0].original, QStringLiteral("fote"));
        QCOMPARE(matches[0].start, 7);
        QCOMPARE(matches[0].replacements, (QStringList{"faute", "a", "b"}));
        QCOMPARE(matches[0].kind, QStringLiteral("typographie"));
        QCOMPARE(matches[0].category, QStringLiteral("Nom"));
        QCOMPARE(matches[0].message, QStringLiteral("msg"));
    }

    void parseDropsMisplaced_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("length");
        // text: "a😀e\u0301b" — surrogate pair at 1-2, combining accent at 4.
        QTest::newRow("past the end") << qint64(5) << qint64(2);
        QTest::newRow("offset past end") << qint64(9) << qint64(0);
        QTest::newRow("negative offset") << qint64(-1) << qint64(1);
        QTest::newRow("negative length") << qint64(1) << qint64(-1);
        QTest::newRow("inside surrogate pair") << qint64(2) << qint64(1);
        QTest::newRow("ends inside pair") << qint64(0) << qint64(2);
        QTest::newRow("inside combined character") << qint64(4) << qint64(1);
        QTest::newRow("huge length") << qint64(1) << qint64(9007199254740000LL);
    }
    void parseDropsMisplaced()
    {
        QFETCH(qint64, offset);
        QFETCH(qint64, length);
        const QString text = QStringLiteral("a😀e\u0301b");
        const auto matches = LanguageTool::parseReply(text, reply({replyMatch(offset, length), replyMatch(0, 1)}));
        QCOMPARE(matches.size(), 1); // the well-placed one stays
        QCOMPARE(matches[0].original, QStringLiteral("a"));
    }

    void parseRejectsBadShapes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("not json") << QByteArray("<html>");
        QTest::newRow("no matches") << QByteArray("{}");
        QTest::newRow("string offset") << QByteArray(R"({"matches":[{"offset":"1","length":1,"message":"m","replacements":[],"rule":{"category":{"id":"a","name":"b"}}}]})");
        QTest::newRow("no rule") << QByteArray(R"({"matches":[{"offset":1,"length":1,"message":"m","replacements":[]}]})");
        QTest::newRow("no category name") << QByteArray(R"({"matches":[{"offset":1,"length":1,"message":"m","replacements":[],"rule":{"category":{"id":"a"}}}]})");
        QTest::newRow("replacement without value") << QByteArray(R"({"matches":[{"offset":1,"length":1,"message":"m","replacements":[{}],"rule":{"category":{"id":"a","name":"b"}}}]})");
        QTest::newRow("fractional offset") << QByteArray(R"({"matches":[{"offset":1.5,"length":1,"message":"m","replacements":[],"rule":{"category":{"id":"a","name":"b"}}}]})");
    }
    void parseRejectsBadShapes()
    {
        QFETCH(QByteArray, body);
        QVERIFY_THROWS_EXCEPTION(DecodingError, LanguageTool::parseReply(QStringLiteral("abc def"), body));
    }

    void parseIgnoresUnknownKeys()
    {
        const QByteArray body = R"({"software":{},"matches":[{"offset":0,"length":3,"message":"m","shortMessage":"",
            "replacements":[],"context":{},"rule":{"id":"X","category":{"id":"GRAMMAR","name":"G"}}}]})";
        const auto matches = LanguageTool::parseReply(QStringLiteral("abc def"), body);
        QCOMPARE(matches.size(), 1);
        QCOMPARE(matches[0].kind, QStringLiteral("grammaire"));
        QVERIFY(matches[0].replacements.isEmpty());
    }
};

OMBRY_TEST_MAIN(TestLanguageTool)
#include "tst_languagetool.moc"
