#include "engines/OmbryAI.h"

#include "engines/EngineError.h"
#include "engines/Net.h"
#include "engines/Services.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "model/TextUtil.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonValue>

namespace {

bool fitsInHeader(const QString &key)
{
    for (const QChar c : key) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

// A chat reply carries at most kMaxAnswerCharacters of text, escaped.
constexpr qint64 kMaxReplyBytes = qint64(2) << 20;

QByteArray compact(const QJsonObject &body)
{
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

} // namespace

namespace OmbryAI {

std::optional<QString> openRouterKey(const Access &access)
{
    if (!access.keys)
        return std::nullopt;
    // The file's text is used as stored: it may carry blanks or a line break.
    const std::optional<QString> stored = access.keys->key(APIService::OpenRouter);
    if (!stored)
        return std::nullopt;
    const QString key = TextUtil::trimmed(*stored);
    if (key.isEmpty() || !fitsInHeader(key))
        return std::nullopt;
    return key;
}

bool usesOwnKey(const Access &access)
{
    if (!openRouterKey(access))
        return false;
    return (access.settings && access.settings->ownKeyMode()) || !Services::hosted();
}

// The caller's time-out bounds the whole call and stands in for the session's idle
// limit too: a model sends nothing while it writes its answer, which may take longer
// than 30 s on a long audio.
QCoro::Task<QByteArray> chat(Access access, QJsonObject body, double timeout, QString label)
{
    const std::optional<QString> key = usesOwnKey(access) ? openRouterKey(access) : std::nullopt;
    if (key) {
        body.insert(QStringLiteral("usage"), QJsonObject{{QStringLiteral("include"), true}});
        QNetworkRequest request = Net::request(
            Services::appending(Services::openRouter(), QStringLiteral("/api/v1/chat/completions")));
        request.setRawHeader("Authorization", "Bearer " + key->toLatin1());
        request.setRawHeader("Content-Type", "application/json");
        request.setRawHeader("X-Title", "Ombry Voice");
        const Net::Reply reply =
            co_await Net::send(request, "POST", compact(body), Net::Timeouts{0, timeout, kMaxReplyBytes}, access.stop);
        if (reply.status == 200) {
            Spending::record(reply.body, access.store);
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
    const Net::Reply reply =
        co_await Net::send(request, "POST", compact(body), Net::Timeouts{0, timeout + 5, kMaxReplyBytes}, access.stop);
    if (reply.status == 200)
        co_return reply.body;
    const QJsonValue error = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("error"));
    throw EngineError::http(QStringLiteral("Ombry"), reply.status, error.isString() ? error.toString() : QString());
}

QCoro::Task<KeyCheck> checkKey(QString key)
{
    const QString trimmed = TextUtil::trimmed(key);
    if (trimmed.isEmpty() || !fitsInHeader(trimmed))
        co_return KeyCheck{KeyVerdict::Refused, QStringLiteral("Clé refusée")};
    QNetworkRequest request = Net::request(Services::appending(Services::openRouter(), QStringLiteral("/api/v1/key")));
    request.setRawHeader("Authorization", "Bearer " + trimmed.toLatin1());
    request.setRawHeader("X-Title", "Ombry Voice");
    try {
        const Net::Reply reply = co_await Net::send(request, "GET", QByteArray(), Net::Timeouts{15, 15});
        if (reply.status == 200)
            co_return KeyCheck{KeyVerdict::Valid, QStringLiteral("Clé valide")};
        if (reply.status == 401 || reply.status == 403)
            co_return KeyCheck{KeyVerdict::Refused, QStringLiteral("Clé refusée")};
        co_return KeyCheck{KeyVerdict::Failed, QStringLiteral("OpenRouter : erreur ") + QString::number(reply.status)};
    } catch (const NetworkError &) {
    }
    co_return KeyCheck{KeyVerdict::Unreachable, QStringLiteral("Service injoignable")};
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

void record(const QByteArray &reply, QPointer<Store> store)
{
    const std::optional<double> amount = cost(reply);
    if (!amount || !QCoreApplication::instance())
        return;
    const double value = *amount;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [store, value] {
            if (store)
                store->addCost(value);
        },
        Qt::QueuedConnection);
}

} // namespace Spending
