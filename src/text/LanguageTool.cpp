#include "text/LanguageTool.h"

#include "model/TextUtil.h"
#include "text/Chars.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>
#include <QUrl>

#include <cmath>

namespace LanguageTool {

namespace {
const QString kService = QStringLiteral("LanguageTool");
}

QString kind(const QString &categoryId)
{
    static const QHash<QString, QString> table = {
        {QStringLiteral("TYPOS"), QStringLiteral("orthographe")},
        {QStringLiteral("MISSPELLING"), QStringLiteral("orthographe")},
        {QStringLiteral("CAT_HOMONYMES_PARONYMES"), QStringLiteral("orthographe")},
        {QStringLiteral("CONFUSED_WORDS"), QStringLiteral("orthographe")},
        {QStringLiteral("AGREEMENT"), QStringLiteral("accord")},
        {QStringLiteral("CONCORDANCES"), QStringLiteral("accord")},
        {QStringLiteral("CAT_GRAMMAIRE"), QStringLiteral("grammaire")},
        {QStringLiteral("GRAMMAR"), QStringLiteral("grammaire")},
        {QStringLiteral("PONCTUATION_VIRGULE"), QStringLiteral("ponctuation")},
        {QStringLiteral("PUNCTUATION"), QStringLiteral("ponctuation")},
        {QStringLiteral("CAT_PONCTUATION"), QStringLiteral("ponctuation")},
        {QStringLiteral("CAT_TYPOGRAPHIE"), QStringLiteral("typographie")},
        {QStringLiteral("TYPOGRAPHY"), QStringLiteral("typographie")},
        {QStringLiteral("CASING"), QStringLiteral("typographie")},
    };
    return table.value(categoryId, QStringLiteral("style"));
}

bool allowed(const Match &match, CorrectionScope scope, PunctuationLevel punctuation)
{
    const QString &k = match.kind;
    if (k == QLatin1String("orthographe"))
        return scope.contains(CorrectionScope::spelling);
    if (k == QLatin1String("accord") || k == QLatin1String("grammaire") || k == QLatin1String("conjugaison"))
        return scope.contains(CorrectionScope::grammar);
    if (k == QLatin1String("ponctuation"))
        return scope.contains(CorrectionScope::punctuation) && punctuation != PunctuationLevel::Light;
    if (k == QLatin1String("typographie"))
        return scope.contains(CorrectionScope::typography);
    if (k == QLatin1String("style"))
        return scope.contains(CorrectionScope::style);
    return true;
}

namespace {

bool isOwnUpperCase(const QString &s)
{
    return s == s.toUpper();
}

} // namespace

bool isSafe(const Match &match, const QString &replacement)
{
    if (match.kind == QLatin1String("typographie"))
        return true;
    if (match.kind != QLatin1String("orthographe"))
        return false;
    if (match.category.contains(QLatin1String("homonymes")))
        return true;
    if (Chars::foldedAlphanumerics(match.original) != Chars::foldedAlphanumerics(replacement))
        return false;
    if (Chars::startsUpper(match.original) != Chars::startsUpper(replacement))
        return false;
    return !isOwnUpperCase(replacement);
}

std::optional<QString> bestReplacement(const Match &match)
{
    if (match.replacements.isEmpty() || match.replacements.first().isEmpty())
        return std::nullopt;
    const QString &first = match.replacements.first();
    if (match.kind == QLatin1String("accord")) {
        const QStringList words = match.original.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!words.isEmpty()) {
            const QString head = words.first().toLower();
            for (const QString &suggestion : match.replacements) {
                const QStringList parts = suggestion.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                if (parts.isEmpty())
                    continue;
                if (parts.first().toLower() == head)
                    return suggestion;
            }
            return first;
        }
    }
    if (!isOwnUpperCase(first))
        return first;
    if (isOwnUpperCase(match.original) || TextUtil::characterCount(first) >= 6)
        return first;
    return std::nullopt;
}

QByteArray formBody(const QString &text, const QString &language)
{
    // Encoded like URL query items ("&" and "=" escaped inside a value), then "+"
    // escaped too, so that a form decoder does not read it as a blank.
    static const QByteArray keep = "!$'()*,-./:;?@_~";
    const auto item = [](const char *name, const QString &value) -> QByteArray {
        return QByteArray(name) + '=' + QUrl::toPercentEncoding(value, keep);
    };
    QByteArray body = item("text", text) + '&' + item("language", language) + '&' + item("level", QStringLiteral("picky"));
    body.replace("+", "%2B");
    return body;
}

namespace {

QJsonValue required(const QJsonObject &object, const char *key)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it == object.constEnd())
        throw DecodingError(kService);
    return *it;
}

QJsonObject requiredObject(const QJsonObject &object, const char *key)
{
    const QJsonValue v = required(object, key);
    if (!v.isObject())
        throw DecodingError(kService);
    return v.toObject();
}

QJsonArray requiredArray(const QJsonObject &object, const char *key)
{
    const QJsonValue v = required(object, key);
    if (!v.isArray())
        throw DecodingError(kService);
    return v.toArray();
}

QString requiredString(const QJsonObject &object, const char *key)
{
    const QJsonValue v = required(object, key);
    if (!v.isString())
        throw DecodingError(kService);
    return v.toString();
}

qint64 requiredInteger(const QJsonObject &object, const char *key)
{
    const QJsonValue v = required(object, key);
    const double d = v.toDouble();
    if (!v.isDouble() || d != double(qint64(d)) || std::abs(d) > 9007199254740992.0)
        throw DecodingError(kService);
    return qint64(d);
}

QJsonObject asObject(const QJsonValue &v)
{
    if (!v.isObject())
        throw DecodingError(kService);
    return v.toObject();
}

} // namespace

QList<Match> parseReply(const QString &text, const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(kService);
    if (!doc.isObject())
        throw DecodingError(kService);

    // Decode everything first: one bad element fails the whole reply.
    struct Raw
    {
        qint64 offset, length;
        QString message, categoryId, categoryName;
        QStringList replacements;
    };
    QList<Raw> raws;
    for (const QJsonValue &mv : requiredArray(doc.object(), "matches")) {
        const QJsonObject m = asObject(mv);
        Raw raw;
        raw.offset = requiredInteger(m, "offset");
        raw.length = requiredInteger(m, "length");
        raw.message = requiredString(m, "message");
        for (const QJsonValue &rv : requiredArray(m, "replacements"))
            raw.replacements.append(requiredString(asObject(rv), "value"));
        const QJsonObject category = requiredObject(requiredObject(m, "rule"), "category");
        raw.categoryId = requiredString(category, "id");
        raw.categoryName = requiredString(category, "name");
        raws.append(raw);
    }

    QList<Match> matches;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    const auto onBoundary = [&](qsizetype pos) {
        if (pos == 0 || pos == text.size())
            return true;
        finder.setPosition(pos);
        return finder.isAtBoundary();
    };
    for (const Raw &raw : std::as_const(raws)) {
        // Offsets count UTF-16 units, which is what a QString indexes.
        if (raw.offset < 0 || raw.length < 0 || raw.offset > text.size() || raw.length > text.size() - raw.offset)
            continue;
        const qsizetype start = raw.offset;
        const qsizetype end = raw.offset + raw.length;
        if (!onBoundary(start) || !onBoundary(end))
            continue;
        Match match;
        match.start = start;
        match.length = end - start;
        match.original = text.mid(start, end - start);
        match.replacements = raw.replacements.mid(0, 3);
        match.message = raw.message;
        match.category = raw.categoryName;
        match.kind = kind(raw.categoryId);
        matches.append(match);
    }
    return matches;
}

} // namespace LanguageTool

#include "engines/Net.h"
#include "engines/Services.h"

namespace LanguageTool {

QCoro::Task<QList<Match>> check(QString text, QString language)
{
    QNetworkRequest request = Net::request(Services::appending(Services::languageTool(), QStringLiteral("/v2/check")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    const Net::Reply reply = co_await Net::send(request, QByteArrayLiteral("POST"), formBody(text, language), Net::Timeouts{10, 10});
    if (reply.status != 200)
        throw EngineError::http(kService, reply.status, utf8OrEmpty(reply.body));
    co_return parseReply(text, reply.body);
}

} // namespace LanguageTool
