#include "engines/Deepgram.h"

#include "engines/EngineError.h"
#include "engines/Net.h"
#include "engines/Services.h"
#include "model/TextUtil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

const QString kService = QStringLiteral("Deepgram");

QString encoded(const QString &value)
{
    // Everything but letters, digits, "-._~" and ":" is escaped, "+" included: a
    // bare "+" would reach the service as a space.
    return QString::fromLatin1(QUrl::toPercentEncoding(value, ":"));
}

// A key that can go into a header as it is.
bool usableInHeader(const QString &key)
{
    for (const QChar c : key) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7e)
            return false;
    }
    return !key.isEmpty();
}

// "results"."channels"[0]."alternatives"[0]."transcript", every level required.
QString transcriptOf(const QByteArray &reply)
{
    const QJsonDocument doc = QJsonDocument::fromJson(reply);
    const QJsonValue results = doc.object().value(QStringLiteral("results"));
    const QJsonValue channels = results.toObject().value(QStringLiteral("channels"));
    if (!doc.isObject() || !results.isObject() || !channels.isArray())
        throw DecodingError(kService);
    const QJsonArray list = channels.toArray();
    for (const QJsonValue &channel : list) {
        const QJsonValue alternatives = channel.toObject().value(QStringLiteral("alternatives"));
        if (!channel.isObject() || !alternatives.isArray())
            throw DecodingError(kService);
        for (const QJsonValue &alternative : alternatives.toArray()) {
            if (!alternative.isObject() || !alternative.toObject().value(QStringLiteral("transcript")).isString())
                throw DecodingError(kService);
        }
    }
    if (list.isEmpty())
        return {};
    const QJsonArray first = list.first().toObject().value(QStringLiteral("alternatives")).toArray();
    if (first.isEmpty())
        return {};
    return first.first().toObject().value(QStringLiteral("transcript")).toString();
}

} // namespace

namespace Deepgram {

QString query(const QString &model, const QString &language, const QStringList &keyterms)
{
    QStringList items{
        QStringLiteral("model=") + encoded(model),
        QStringLiteral("language=") + encoded(language),
        QStringLiteral("punctuate=true"),
        QStringLiteral("smart_format=true"),
    };
    const bool nova3 = model.startsWith(QLatin1String("nova-3"));
    for (const QString &term : keyterms) {
        const QString trimmed = TextUtil::trimmedSpaces(term);
        if (trimmed.isEmpty())
            continue;
        items << (nova3 ? QStringLiteral("keyterm=") + encoded(trimmed)
                        : QStringLiteral("keywords=") + encoded(trimmed + QStringLiteral(":2")));
    }
    return items.join(QLatin1Char('&'));
}

QCoro::Task<QString> transcribe(QByteArray wav, QString model, QString language, QStringList keyterms,
                                std::optional<QString> storedKey)
{
    const QString key = storedKey ? TextUtil::trimmed(*storedKey) : QString();
    if (!usableInHeader(key))
        throw EngineError::missingKey(kService);

    QUrl url = Services::appending(Services::deepgram(), QStringLiteral("/v1/listen"));
    url.setQuery(query(model, language, keyterms), QUrl::StrictMode);
    QNetworkRequest request = Net::request(url);
    request.setRawHeader("Authorization", "Token " + key.toLatin1());
    request.setRawHeader("Content-Type", "audio/wav");
    const Net::Reply reply = co_await Net::send(request, "POST", wav, Net::Timeouts{0, 60});
    if (reply.status != 200)
        throw EngineError::http(kService, reply.status, utf8OrEmpty(reply.body));
    co_return bounded(transcriptOf(reply.body), kService);
}

} // namespace Deepgram
