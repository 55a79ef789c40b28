#include "model/JsonStream.h"
#include "model/Records.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QDateTime at(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

Fix fix(const char *original, const char *correction)
{
    Fix f;
    f.original = QString::fromUtf8(original);
    f.correction = QString::fromUtf8(correction);
    f.kind = QStringLiteral("accord");
    f.explanation = QStringLiteral("Le participe s'accorde.");
    return f;
}

// Keys of one encoded object, in the order written.
QStringList keysInOrder(const QByteArray &json)
{
    // Our encoder writes compact JSON; walk the top-level keys.
    QStringList keys;
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    for (const QString &k : object.keys())
        keys.append(k);
    std::sort(keys.begin(), keys.end(), [&](const QString &a, const QString &b) {
        return json.indexOf(QByteArray("\"" + a.toUtf8() + "\":")) < json.indexOf(QByteArray("\"" + b.toUtf8() + "\":"));
    });
    return keys;
}

template<typename T>
T roundTrip(const T &record)
{
    const auto back = Records::decodeArray<T>(Records::encodeArray(QList<T>{record}));
    if (!back || back->size() != 1)
        return {};
    return back->first();
}

} // namespace

using namespace Qt::StringLiterals;

class TestRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dictationKeysAndRoundTrip_data()
    {
        QTest::addColumn<bool>("withOptionals");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("all fields") << true
                                    << QStringList{"id", "date", "appName", "bundleID", "finalText", "rawText",
                                                   "duration", "audioFile"};
        QTest::newRow("optionals absent")
            << false << QStringList{"id", "date", "appName", "finalText", "rawText", "duration"};
    }
    void dictationKeysAndRoundTrip()
    {
        QFETCH(bool, withOptionals);
        QFETCH(QStringList, keys);
        Dictation d;
        d.date = at("2026-03-29T01:30:07Z");
        d.appName = QStringLiteral("Notes");
        d.finalText = QStringLiteral("Bonjour « toi »\n\"guillemets\" \\ fin\t\x01");
        d.rawText = QStringLiteral("bonjour toi 😀");
        d.duration = 12.75;
        if (withOptionals) {
            d.bundleID = QStringLiteral("org.gnome.TextEditor");
            d.audioFile = uuidText(d.id) + QStringLiteral(".wav");
        }
        const QByteArray json = d.toJson();
        QCOMPARE(keysInOrder(json), keys);
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        QCOMPARE(object.value("id").toString(), uuidText(d.id));
        QVERIFY(object.value("id").toString() == object.value("id").toString().toUpper());
        QCOMPARE(object.value("date").toString(), QStringLiteral("2026-03-29T01:30:07Z"));
        QCOMPARE(object.value("duration").toDouble(), 12.75);
        QCOMPARE(roundTrip(d), d);
    }

    void everyRecordRoundTripsWithItsKeys()
    {
        CorrectionRecord record;
        record.date = at("2026-10-25T00:59:59Z");
        record.appName = QStringLiteral("Ombry Voice");
        record.action = QStringLiteral("Commande : plus formel");
        record.original = QStringLiteral("il sont");
        record.result = QStringLiteral("ils sont");
        record.fixes = {fix("sont", "sont"), fix("∅", "ils")};
        QCOMPARE(keysInOrder(record.toJson()),
                 (QStringList{"id", "date", "appName", "action", "original", "result", "fixes"}));
        const QJsonArray fixes = QJsonDocument::fromJson(record.toJson()).object().value("fixes").toArray();
        QCOMPARE(fixes.size(), 2);
        QCOMPARE(keysInOrder(QJsonDocument(fixes.at(0).toObject()).toJson(QJsonDocument::Compact)).size(), 5);
        QCOMPARE(roundTrip(record), record);
        record.fixes.clear();
        record.bundleID = QStringLiteral("firefox");
        QCOMPARE(QJsonDocument::fromJson(record.toJson()).object().value("fixes").toArray().size(), 0);
        QCOMPARE(roundTrip(record), record);

        const Correction correction{QUuid::createUuid(), QStringLiteral("chat jipiti"), QStringLiteral("ChatGPT \\1 $1")};
        QCOMPARE(keysInOrder(correction.toJson()), (QStringList{"id", "heard", "written"}));
        QCOMPARE(roundTrip(correction), correction);

        const Snippet snippet{QUuid::createUuid(), QStringLiteral("Ma signature !"), QStringLiteral("Jean\nParis")};
        QCOMPARE(keysInOrder(snippet.toJson()), (QStringList{"id", "trigger", "text"}));
        QCOMPARE(roundTrip(snippet), snippet);

        const CostEntry cost{at("2026-12-01T00:00:00Z"), 0.000125};
        QCOMPARE(keysInOrder(cost.toJson()), (QStringList{"date", "amount"}));
        QCOMPARE(roundTrip(cost), cost);
        QCOMPARE(roundTrip(cost).amount, 0.000125);

        Meeting meeting;
        meeting.date = at("2026-06-01T09:00:00Z");
        meeting.duration = 3600;
        meeting.title = QStringLiteral("Point hebdo");
        meeting.transcript = QStringLiteral("…");
        meeting.summary = QStringLiteral("Résumé");
        QCOMPARE(keysInOrder(meeting.toJson()),
                 (QStringList{"id", "date", "duration", "title", "transcript", "summary", "tasks"}));
        QVERIFY(meeting.toJson().contains("\"tasks\":[]"));
        QCOMPARE(roundTrip(meeting), meeting);
        meeting.tasks = {QStringLiteral("Envoyer le devis"), QStringLiteral("Rappeler Paul")};
        QCOMPARE(roundTrip(meeting), meeting);
    }

    void decodingIsStrict_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        const QByteArray id = "\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\"";
        const QByteArray base = id + ",\"appName\":\"Notes\",\"finalText\":\"a\",\"rawText\":\"a\",\"duration\":2";
        QTest::newRow("valid") << "[{" + base + ",\"date\":\"2026-01-02T03:04:05Z\"}]" << true;
        QTest::newRow("offset date") << "[{" + base + ",\"date\":\"2026-01-02T03:04:05+01:00\"}]" << true;
        QTest::newRow("lower-case uuid")
            << QByteArray("[{\"id\":\"6f9619ff-8b86-d011-b42d-00c04fc964ff\",\"appName\":\"Notes\",\"finalText\":\"a\","
               "\"rawText\":\"a\",\"duration\":2,\"date\":\"2026-01-02T03:04:05Z\"}]")
            << true;
        QTest::newRow("null bundleID and extra key")
            << "[{" + base + ",\"date\":\"2026-01-02T03:04:05Z\",\"bundleID\":null,\"later\":1}]" << true;
        QTest::newRow("fractional seconds") << "[{" + base + ",\"date\":\"2026-01-02T03:04:05.250Z\"}]" << false;
        QTest::newRow("no zone") << "[{" + base + ",\"date\":\"2026-01-02T03:04:05\"}]" << false;
        QTest::newRow("impossible day") << "[{" + base + ",\"date\":\"2026-02-30T03:04:05Z\"}]" << false;
        QTest::newRow("date as number") << "[{" + base + ",\"date\":1767322000}]" << false;
        QTest::newRow("missing rawText")
            << "[{" + id + ",\"appName\":\"Notes\",\"finalText\":\"a\",\"duration\":2,\"date\":\"2026-01-02T03:04:05Z\"}]"
            << false;
        QTest::newRow("duration as string")
            << "[{" + id + ",\"appName\":\"Notes\",\"finalText\":\"a\",\"rawText\":\"a\",\"duration\":\"2\","
                           "\"date\":\"2026-01-02T03:04:05Z\"}]"
            << false;
        QTest::newRow("bad uuid")
            << QByteArray("[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964F\",\"appName\":\"Notes\",\"finalText\":\"a\","
               "\"rawText\":\"a\",\"duration\":2,\"date\":\"2026-01-02T03:04:05Z\"}]")
            << false;
        QTest::newRow("bundleID as number") << "[{" + base + ",\"date\":\"2026-01-02T03:04:05Z\",\"bundleID\":3}]" << false;
        QTest::newRow("truncated") << "[{" + base << false;
        QTest::newRow("object, not array") << "{" + base + ",\"date\":\"2026-01-02T03:04:05Z\"}" << false;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("empty array") << QByteArray("[]") << true;
    }
    void decodingIsStrict()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QCOMPARE(Records::decodeArray<Dictation>(json).has_value(), decodes);
    }

    // A recording is named by a plain file name inside the audio folder; any other
    // text is not taken as one (the dictation itself still loads).
    void audioFileMustBeAPlainName_data()
    {
        QTest::addColumn<QString>("audioFile");
        QTest::addColumn<bool>("kept");
        QTest::newRow("uuid wav") << "6F9619FF-8B86-D011-B42D-00C04FC964FF.wav" << true;
        QTest::newRow("three dots") << "..." << true;
        QTest::newRow("dots inside") << "a..b.wav" << true;
        QTest::newRow("parent") << ".." << false;
        QTest::newRow("current") << "." << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("climbs out") << "../../victim" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("sub-folder") << "sous/a.wav" << false;
        QTest::newRow("trailing slash") << "a.wav/" << false;
        QTest::newRow("backslash") << "..\\a.wav" << false;
        QTest::newRow("nul") << QStringLiteral("a.wav") + QChar(0) + QStringLiteral("/../x") << false;
        QTest::newRow("nul alone") << QStringLiteral("a") + QChar(0) << false;
    }
    void audioFileMustBeAPlainName()
    {
        QFETCH(QString, audioFile);
        QFETCH(bool, kept);
        QCOMPARE(Records::isPlainFileName(audioFile), kept);
        QByteArray json = "[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"date\":\"2026-01-02T03:04:05Z\","
                          "\"appName\":\"Notes\",\"finalText\":\"a\",\"rawText\":\"a\",\"duration\":2,\"audioFile\":";
        Json::appendString(json, audioFile);
        json += "}]";
        const auto list = Records::decodeArray<Dictation>(json);
        QVERIFY(list && list->size() == 1);
        QCOMPARE(list->first().audioFile, kept ? std::optional<QString>(audioFile) : std::nullopt);
        QCOMPARE(list->first().finalText, QStringLiteral("a"));
        const QJsonObject object = QJsonDocument::fromJson(json.mid(1, json.size() - 2)).object();
        const auto one = Dictation::fromJson(object);
        QVERIFY(one);
        QCOMPARE(one->audioFile, kept ? std::optional<QString>(audioFile) : std::nullopt);
    }

    void jsonSyntax_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("expected"); // empty with "fails" = fails
        QTest::addColumn<bool>("fails");
        const QStringList none;
        QTest::newRow("escapes") << QByteArray("[\"a\\u00e9\\/\\\"\\\\\\n\\t\"]") << QStringList{QString::fromUtf8("aé/\"\\\n\t")} << false;
        QTest::newRow("surrogate pair") << QByteArray("[\"\\ud83d\\ude00\"]") << QStringList{QString::fromUtf8("😀")} << false;
        QTest::newRow("raw utf-8") << QByteArray("[\"\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80\"]") << QStringList{QString::fromUtf8("été 😀")} << false;
        QTest::newRow("byte-order mark, spaces") << QByteArray("\xef\xbb\xbf [ \"a\" ,\n\"b\" ] \n") << QStringList{"a", "b"} << false;
        QTest::newRow("lone high surrogate") << QByteArray("[\"\\ud83d\"]") << none << true;
        QTest::newRow("lone low surrogate") << QByteArray("[\"\\ude00x\"]") << none << true;
        QTest::newRow("invalid byte") << QByteArray("[\"\xff\"]") << none << true;
        QTest::newRow("overlong slash") << QByteArray("[\"\xc0\xaf\"]") << none << true;
        QTest::newRow("encoded surrogate") << QByteArray("[\"\xed\xa0\x80\"]") << none << true;
        QTest::newRow("cut sequence") << QByteArray("[\"\xc3\"]") << none << true;
        QTest::newRow("raw control character") << QByteArray("[\"a\x01\"]") << none << true;
        QTest::newRow("unknown escape") << QByteArray("[\"\\x41\"]") << none << true;
        QTest::newRow("trailing garbage") << QByteArray("[\"a\"] x") << none << true;
        QTest::newRow("trailing comma") << QByteArray("[\"a\",]") << none << true;
        QTest::newRow("missing comma") << QByteArray("[\"a\" \"b\"]") << none << true;
        QTest::newRow("two documents") << QByteArray("[\"a\"][\"b\"]") << none << true;
        QTest::newRow("unterminated string") << QByteArray("[\"a") << none << true;
    }
    void jsonSyntax()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, expected);
        QFETCH(bool, fails);
        const auto words = Records::decodeArray<QString>(json);
        QCOMPARE(!words.has_value(), fails);
        if (words)
            QCOMPARE(*words, expected);
    }

    void numbersAndUnknownValues_data()
    {
        QTest::addColumn<QByteArray>("duration");
        QTest::addColumn<QByteArray>("extra");
        QTest::addColumn<double>("expected"); // NaN = fails
        const double fails = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("integer") << QByteArray("12") << QByteArray() << 12.0;
        QTest::newRow("negative zero") << QByteArray("-0") << QByteArray() << 0.0;
        QTest::newRow("exponent") << QByteArray("1.5E+2") << QByteArray() << 150.0;
        QTest::newRow("leading zero") << QByteArray("012") << QByteArray() << fails;
        QTest::newRow("bare dot") << QByteArray("1.") << QByteArray() << fails;
        QTest::newRow("leading dot") << QByteArray(".5") << QByteArray() << fails;
        QTest::newRow("plus sign") << QByteArray("+1") << QByteArray() << fails;
        QTest::newRow("NaN") << QByteArray("NaN") << QByteArray() << fails;
        QTest::newRow("overflow") << QByteArray("1e999") << QByteArray() << fails;
        QTest::newRow("null") << QByteArray("null") << QByteArray() << fails;
        QTest::newRow("nested unknown key") << QByteArray("3")
                                            << QByteArray(",\"later\":{\"a\":[1,{\"b\":null},true,false,\"x\"],\"c\":-1e-3}") << 3.0;
        QTest::newRow("broken unknown key") << QByteArray("3") << QByteArray(",\"later\":{\"a\":[1,}}") << fails;
        QTest::newRow("deep unknown key") << QByteArray("3") << ",\"later\":" + QByteArray(5000, '[') + QByteArray(5000, ']') << fails;
    }
    void numbersAndUnknownValues()
    {
        QFETCH(QByteArray, duration);
        QFETCH(QByteArray, extra);
        QFETCH(double, expected);
        const QByteArray json = "[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"date\":\"2026-01-02T03:04:05Z\","
                                "\"appName\":\"a\",\"finalText\":\"a\",\"rawText\":\"a\",\"duration\":"
                                + duration + extra + "}]";
        const auto list = Records::decodeArray<Dictation>(json);
        QCOMPARE(list.has_value(), !std::isnan(expected));
        if (list)
            QCOMPARE(list->first().duration, expected);
    }

    void encodedTextsSurviveExactly()
    {
        // Every control character, quotes, backslashes and astral characters.
        QString text;
        for (char16_t c = 0; c < 0x40; ++c)
            text.append(QChar(c));
        text += QString::fromUtf8("\\\"/ é 😀 \u2028 \u200b");
        Snippet s{QUuid::createUuid(), text, text + text};
        const QByteArray json = Records::encodeArray(QList<Snippet>{s});
        QVERIFY(!QJsonDocument::fromJson(json).isNull()); // any JSON reader takes it
        QCOMPARE(roundTrip(s).text, s.text);
        QCOMPARE(roundTrip(s).trigger, s.trigger);
    }

    void otherRecordsRejectMissingKeys_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("record without fixes")
            << 0
            << QByteArray("[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"date\":\"2026-01-02T03:04:05Z\","
                          "\"appName\":\"a\",\"action\":\"Corriger\",\"original\":\"x\",\"result\":\"y\"}]");
        QTest::newRow("fix without explanation")
            << 0
            << QByteArray("[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"date\":\"2026-01-02T03:04:05Z\","
                          "\"appName\":\"a\",\"action\":\"Corriger\",\"original\":\"x\",\"result\":\"y\",\"fixes\":"
                          "[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"original\":\"x\",\"correction\":\"y\","
                          "\"kind\":\"style\"}]}]");
        QTest::newRow("meeting task not a string")
            << 1
            << QByteArray("[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"date\":\"2026-01-02T03:04:05Z\","
                          "\"duration\":1,\"title\":\"t\",\"transcript\":\"t\",\"summary\":\"s\",\"tasks\":[1]}]");
        QTest::newRow("cost without amount") << 2 << QByteArray("[{\"date\":\"2026-01-02T03:04:05Z\"}]");
        QTest::newRow("word not a string") << 3 << QByteArray("[\"a\",2]");
        QTest::newRow("snippet without text")
            << 4 << QByteArray("[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"trigger\":\"t\"}]");
    }
    void otherRecordsRejectMissingKeys()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, json);
        switch (type) {
        case 0: QVERIFY(!Records::decodeArray<CorrectionRecord>(json)); break;
        case 1: QVERIFY(!Records::decodeArray<Meeting>(json)); break;
        case 2: QVERIFY(!Records::decodeArray<CostEntry>(json)); break;
        case 3: QVERIFY(!Records::decodeArray<QString>(json)); break;
        case 4: QVERIFY(!Records::decodeArray<Snippet>(json)); break;
        }
    }

    void datesKeepWholeSeconds()
    {
        Dictation d;
        d.date = QDateTime::fromMSecsSinceEpoch(1767322000750, Qt::UTC);
        d.appName = QStringLiteral("x");
        const Dictation back = roundTrip(d);
        QCOMPARE(back.date.toMSecsSinceEpoch(), 1767322000000);
        QVERIFY(!(back == d)); // the fraction does not survive the file
        QCOMPARE(Records::dateText(QDateTime::fromMSecsSinceEpoch(-1500, Qt::UTC)),
                 QStringLiteral("1969-12-31T23:59:58Z"));
        // A local date is written in UTC.
        const QDateTime local(QDate(2026, 7, 1), QTime(12, 0), Qt::OffsetFromUTC, 7200);
        QCOMPARE(Records::dateText(local), QStringLiteral("2026-07-01T10:00:00Z"));
    }

    void nonFiniteNumbersStillEncode()
    {
        // One broken duration must not make the whole history unwritable.
        Dictation d;
        d.date = at("2026-01-01T00:00:00Z");
        d.duration = std::numeric_limits<double>::quiet_NaN();
        QVERIFY(Records::decodeArray<Dictation>(Records::encodeArray(QList<Dictation>{d})).has_value());
    }

    void equalityAndHash()
    {
        Dictation a;
        a.date = at("2026-01-01T10:00:00Z");
        a.appName = QStringLiteral("Notes");
        a.finalText = QStringLiteral("café"); // precomposed
        a.duration = 0.0;
        Dictation b = a;
        b.finalText = QStringLiteral("cafe\u0301"); // decomposed: canonically equal
        b.duration = -0.0;
        b.date = a.date.toOffsetFromUtc(3600); // same instant
        QVERIFY(a == b);
        QCOMPARE(qHash(a), qHash(b));

        Dictation c = a;
        c.rawText = QStringLiteral("autre");
        QVERIFY(!(a == c));
        QVERIFY(qHash(a) != qHash(c));

        Dictation d = a;
        d.bundleID = QString(); // present but empty differs from absent
        QVERIFY(!(a == d));
        QVERIFY(qHash(a) != qHash(d));

        CorrectionRecord r1;
        r1.date = a.date;
        r1.fixes = {fix("a", "b")};
        CorrectionRecord r2 = r1;
        r2.fixes = {fix("a", "b")}; // same words, new fix id
        QVERIFY(!(r1 == r2));
        r2.fixes = r1.fixes;
        QVERIFY(r1 == r2);
        QCOMPARE(qHash(r1), qHash(r2));
    }

    void wordsPerMinute_data()
    {
        QTest::addColumn<int>("words");
        QTest::addColumn<double>("duration");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("45 words, 20 s") << 45 << 20.0 << qint64(135);
        QTest::newRow("3 words, 0.5 s") << 3 << 0.5 << qint64(360);
        QTest::newRow("zero duration") << 10 << 0.0 << qint64(0);
        QTest::newRow("negative duration") << 10 << -3.0 << qint64(0);
        QTest::newRow("nan duration") << 10 << std::numeric_limits<double>::quiet_NaN() << qint64(0);
        QTest::newRow("half rounds away from zero") << 1 << 24.0 << qint64(3); // 2.5
        QTest::newRow("blank text") << 0 << 30.0 << qint64(0);
    }
    void wordsPerMinute()
    {
        QFETCH(int, words);
        QFETCH(double, duration);
        QFETCH(qint64, expected);
        Dictation d;
        d.duration = duration;
        QStringList list;
        for (int i = 0; i < words; ++i)
            list << QStringLiteral("mot");
        d.finalText = words ? list.join(QStringLiteral(" \n ")) : QStringLiteral("  \n\u2028 ");
        QCOMPARE(d.wordsPerMinute(), expected);
    }

    // The texts of the history newest first; "" is a kept recording, "  \n" a
    // text of blanks. expected: the text taken as the last dictation's.
    void newestWithText_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("expected"); // null: none
        QTest::newRow("empty history") << QStringList{} << QString();
        QTest::newRow("newest has text") << QStringList{u"Bonjour."_s, u"Avant."_s} << u"Bonjour."_s;
        QTest::newRow("kept recording first") << QStringList{QString(), u"Avant."_s} << u"Avant."_s;
        QTest::newRow("blanks count as no text") << QStringList{u"  \n"_s, u"Avant."_s} << u"Avant."_s;
        QTest::newRow("only kept recordings") << QStringList{QString(), QString()} << QString();
    }
    void newestWithText()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, expected);
        QList<Dictation> history;
        for (const QString &text : texts) {
            Dictation d;
            d.finalText = text;
            history << d;
        }
        const std::optional<Dictation> found = Records::newestWithText(history);
        QCOMPARE(found ? found->finalText : QString(), expected);
        QCOMPARE(found.has_value(), !expected.isNull());
    }
};

OMBRY_TEST_MAIN(TestRecords)
#include "tst_records.moc"
