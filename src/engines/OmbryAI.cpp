#include "engines/OmbryAI.h"

#include "engines/EngineError.h"
#include "engines/Net.h"
#include "engines/Services.h"
#include "model/AppSettings.h"
#include "model/Store.h"
#include "model/TextUtil.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>

namespace {

// Until the key store lands: the key file, then the environment.
std::optional<QString> storedOpenRouterKey()
{
    QFile file(Store::folder() + QStringLiteral("/keys.json"));
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
        const QString key = doc.object().value(QStringLiteral("openRouter")).toString();
        if (!key.isEmpty())
            return key;
    }
    const QString env = qEnvironmentVariable("OPENROUTER_API_KEY");
    if (!env.isEmpty())
        return env;
    return std::nullopt;
}

bool fitsInHeader(const QString &key)
{
    for (const QChar c : key) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

QByteArray compact(const QJsonObject &body)
{
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

} // namespace

namespace OmbryAI {

std::optional<QString> openRouterKey()
{
    const std::optional<QString> stored = storedOpenRouterKey();
    if (!stored)
        return std::nullopt;
    const QString key = TextUtil::trimmed(*stored);
    if (key.isEmpty() || !fitsInHeader(key))
        return std::nullopt;
    return key;
}

bool usesOwnKey()
{
    if (!openRouterKey())
        return false;
    return AppSettings::shared()->ownKeyMode() || !Services::hosted();
}

QCoro::Task<QByteArray> chat(QJsonObject body, double timeout, QString label)
{
    const std::optional<QString> key = usesOwnKey() ? openRouterKey() : std::nullopt;
    if (key) {
        body.insert(QStringLiteral("usage"), QJsonObject{{QStringLiteral("include"), true}});
        QNetworkRequest request = Net::request(
            Services::appending(Services::openRouter(), QStringLiteral("/api/v1/chat/completions")));
        request.setRawHeader("Authorization", "Bearer " + key->toLatin1());
        request.setRawHeader("Content-Type", "application/json");
        request.setRawHeader("X-Title", "Ombry Voice");
        const Net::Reply reply = co_await Net::send(request, "POST", compact(body), Net::Timeouts{timeout, 30});
        if (reply.status == 200) {
            Spending::record(reply.body);
            co_return reply.body;
        }
        throw EngineError::http(label, reply.status, utf8OrEmpty(reply.body));
    }

    const std::optional<QUrl> hosted = Services::hosted();
    if (!hosted)
        throw EngineError::missingKey(QStringLiteral("OpenRouter"));
    body.remove(QStringLiteral("usage"));
    QNetworkRequest request = Net::request(Services::appending(*hosted, QStringLiteral("api/voice")));
    request.setRawHeader("Content-Type", "application/json");
    const Net::Reply reply = co_await Net::send(request, "POST", compact(body), Net::Timeouts{timeout + 5, 30});
    if (reply.status == 200)
        co_return reply.body;
    const QJsonValue error = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("error"));
    throw EngineError::http(QStringLiteral("Ombry"), reply.status, error.isString() ? error.toString() : QString());
}

} // namespace OmbryAI

namespace Spending {

std::optional<double> cost(const QByteArray &reply)
{
    const QJsonDocument doc = QJsonDocument::fromJson(reply);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonValue usage = doc.object().value(QStringLiteral("usage"));
    if (!usage.isObject())
        return std::nullopt;
    const QJsonValue amount = usage.toObject().value(QStringLiteral("cost"));
    if (!amount.isDouble() || !(amount.toDouble() > 0))
        return std::nullopt;
    return amount.toDouble();
}

void record(const QByteArray &reply)
{
    const std::optional<double> amount = cost(reply);
    if (!amount || !QCoreApplication::instance())
        return;
    // Wired to the store's addCost once it lands.
    Q_UNUSED(amount);
}

} // namespace Spending
