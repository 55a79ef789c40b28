#include "engines/LocalSpeech.h"

#include "engines/Net.h"
#include "engines/Services.h"
#include "model/TextUtil.h"

#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

namespace {

const QString kService = QStringLiteral("Reconnaissance locale");
const QString kUnavailable = QStringLiteral("non disponible sur cet ordinateur (serveur local requis)");

QHttpPart textPart(const QByteArray &name, const QString &value)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader, QByteArray(QByteArray("form-data; name=\"") + name + '"'));
    part.setBody(value.toUtf8());
    return part;
}

// The first model id of an OpenAI-style list ({"data": [{"id": …}]}).
QString firstModel(const QByteArray &reply)
{
    const QJsonArray data = QJsonDocument::fromJson(reply).object().value(QStringLiteral("data")).toArray();
    return data.isEmpty() ? QString() : data.first().toObject().value(QStringLiteral("id")).toString();
}

} // namespace

namespace LocalSpeech {

EngineError unavailable()
{
    return EngineError::http(kService, 0, kUnavailable);
}

bool isUnavailable(const EngineError &error)
{
    return error.kind() == EngineError::Kind::Http && error.service() == kService && error.status() == 0
        && error.body() == kUnavailable;
}

QStringList hintWords(const QStringList &words)
{
    QStringList kept;
    for (const QString &word : words) {
        if (!TextUtil::trimmedBlanks(word).isEmpty())
            kept << word;
    }
    return kept;
}

QCoro::Task<QString> transcribe(QByteArray wav, QString language, QStringList contextualWords)
{
    const QUrl base = Services::localSpeech();
    // Any answer to the model list, even an error status, means a server is there.
    Net::Reply models;
    try {
        models = co_await Net::send(Net::request(Services::appending(base, QStringLiteral("models"))), "GET", {},
                                    Net::Timeouts{0.5, 0.5});
    } catch (const NetworkError &) {
        throw unavailable();
    }
    QString model = qEnvironmentVariable("OMBRY_LOCAL_ASR_MODEL");
    if (model.isEmpty())
        model = models.status == 200 ? firstModel(models.body) : QString();
    if (model.isEmpty())
        model = QStringLiteral("whisper-1");

    auto *multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart file;
    file.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("audio/wav"));
    file.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QByteArray(QByteArray("form-data; name=\"file\"; filename=\"murel-")
                              + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1() + ".wav\""));
    file.setBody(wav);
    multiPart->append(file);
    multiPart->append(textPart("model", model));
    multiPart->append(textPart("language", language));
    multiPart->append(textPart("response_format", QStringLiteral("json")));
    const QStringList hint = hintWords(contextualWords);
    if (!hint.isEmpty())
        multiPart->append(textPart("prompt", hint.join(QStringLiteral(", "))));

    const Net::Reply reply = co_await Net::send(
        Net::request(Services::appending(base, QStringLiteral("audio/transcriptions"))), multiPart,
        Net::Timeouts{60, 30});
    if (reply.status != 200)
        throw EngineError::http(kService, reply.status, utf8OrEmpty(reply.body));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(reply.body, &error);
    if (error.error != QJsonParseError::NoError) {
        // A server that answers in plain text despite the asked format.
        co_return bounded(TextUtil::trimmed(utf8OrEmpty(reply.body)), kService);
    }
    const QJsonValue text = doc.object().value(QStringLiteral("text"));
    if (!text.isString())
        throw DecodingError(kService);
    co_return bounded(TextUtil::trimmed(text.toString()), kService);
}

} // namespace LocalSpeech
