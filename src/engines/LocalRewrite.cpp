#include "engines/LocalRewrite.h"

#include "engines/EngineError.h"
#include "engines/Net.h"
#include "engines/Services.h"
#include "model/TextUtil.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString kService = QStringLiteral("Modèle local");
const QString kUnavailable = QStringLiteral("non disponible sur cet ordinateur (serveur local requis)");

// A generation on the local machine may take long and sends nothing meanwhile.
constexpr Net::Timeouts kGeneration{180, 180};
constexpr Net::Timeouts kProbe{0.5, 0.5};

// The model to use, or "" when the server does not answer in time or lists none.
QCoro::Task<QString> probe()
{
    QNetworkRequest request = Net::request(Services::appending(Services::localLanguageModel(), QStringLiteral("models")));
    try {
        const Net::Reply reply = co_await Net::send(request, "GET", QByteArray(), kProbe);
        if (reply.status != 200)
            co_return QString();
        const QString chosen = Services::localLanguageModelName();
        if (!chosen.isEmpty())
            co_return chosen;
        const QJsonArray models = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("data")).toArray();
        co_return models.isEmpty() ? QString() : models.first().toObject().value(QStringLiteral("id")).toString();
    } catch (const NetworkError &) {
        co_return QString();
    }
}

QCoro::Task<QString> respond(QString system, QString text, QJsonObject responseFormat)
{
    const QString model = co_await probe();
    if (model.isEmpty())
        throw LocalRewrite::unavailable();

    QJsonObject body{
        {QStringLiteral("model"), model},
        {QStringLiteral("messages"),
         QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("system")}, {QStringLiteral("content"), system}},
                    QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), text}}}},
        {QStringLiteral("stream"), false},
    };
    if (!responseFormat.isEmpty())
        body.insert(QStringLiteral("response_format"), responseFormat);

    QNetworkRequest request =
        Net::request(Services::appending(Services::localLanguageModel(), QStringLiteral("chat/completions")));
    request.setRawHeader("Content-Type", "application/json");
    const Net::Reply reply =
        co_await Net::send(request, "POST", QJsonDocument(body).toJson(QJsonDocument::Compact), kGeneration);
    if (reply.status != 200)
        throw EngineError::http(kService, reply.status, utf8OrEmpty(reply.body));

    const QJsonArray choices = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("choices")).toArray();
    const QJsonValue content = choices.at(0).toObject().value(QStringLiteral("message")).toObject().value(
        QStringLiteral("content"));
    if (!content.isString())
        throw DecodingError(kService);
    co_return bounded(TextUtil::trimmed(content.toString()), kService);
}

} // namespace

namespace LocalRewrite {

EngineError unavailable()
{
    return EngineError::http(kService, 0, kUnavailable);
}

bool isUnavailable(const EngineError &error)
{
    return error.kind() == EngineError::Kind::Http && error.service() == kService && error.status() == 0
        && error.body() == kUnavailable;
}

QCoro::Task<bool> isAvailable()
{
    const QString model = co_await probe();
    co_return !model.isEmpty();
}

QCoro::Task<QString> run(QString system, QString text)
{
    co_return co_await respond(std::move(system), std::move(text), QJsonObject());
}

QCoro::Task<QJsonObject> runStructured(QString system, QString text, QString name, QJsonObject schema)
{
    const QJsonObject format{
        {QStringLiteral("type"), QStringLiteral("json_schema")},
        {QStringLiteral("json_schema"),
         QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("strict"), true}, {QStringLiteral("schema"), schema}}},
    };
    const QString answer = co_await respond(std::move(system), std::move(text), format);
    const QJsonDocument doc = QJsonDocument::fromJson(answer.toUtf8());
    if (!doc.isObject())
        throw DecodingError(kService);
    co_return doc.object();
}

} // namespace LocalRewrite
