#include "FakeHttpService.h"

#include "support/TestEnv.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

QJsonObject RecordedRequest::json() const
{
    return QJsonDocument::fromJson(body).object();
}

QByteArray RecordedRequest::chatAudio() const
{
    const QJsonArray messages = json().value(QStringLiteral("messages")).toArray();
    for (const QJsonValue &m : messages) {
        const QJsonArray parts = m.toObject().value(QStringLiteral("content")).toArray();
        for (const QJsonValue &p : parts) {
            const QJsonObject audio = p.toObject().value(QStringLiteral("input_audio")).toObject();
            if (!audio.isEmpty())
                return QByteArray::fromBase64(audio.value(QStringLiteral("data")).toString().toLatin1());
        }
    }
    return {};
}

QJsonObject chatCompletion(const QJsonValue &content)
{
    return QJsonObject{{QStringLiteral("choices"),
                        QJsonArray{QJsonObject{{QStringLiteral("message"), QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                                                                     {QStringLiteral("content"), content}}}}}}};
}

ScriptedReply ScriptedReply::chat(const QJsonValue &content, int delayMs)
{
    ScriptedReply reply = json(chatCompletion(content));
    reply.delayMs = delayMs;
    return reply;
}

ScriptedReply ScriptedReply::json(const QJsonObject &object, int status)
{
    ScriptedReply r;
    r.status = status;
    r.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return r;
}

ScriptedReply ScriptedReply::text(const QByteArray &body, int status)
{
    ScriptedReply r;
    r.status = status;
    r.body = body;
    r.contentType = "text/plain; charset=utf-8";
    return r;
}

ScriptedReply ScriptedReply::hanging()
{
    ScriptedReply r;
    r.hang = true;
    return r;
}

FakeHttpService::FakeHttpService(QObject *parent)
    : QAbstractHttpServer(parent)
{
}

FakeHttpService::~FakeHttpService() = default;

bool FakeHttpService::start()
{
    port_ = listen(QHostAddress::LocalHost, 0);
    return port_ != 0;
}

QString FakeHttpService::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

QString FakeHttpService::routeKey(const QByteArray &method, const QString &path)
{
    return QString::fromLatin1(method.toUpper()) + QLatin1Char(' ') + path;
}

void FakeHttpService::on(const QByteArray &method, const QString &path, const ScriptedReply &reply)
{
    routes_.insert(routeKey(method, path), reply);
}

void FakeHttpService::enqueue(const QByteArray &method, const QString &path, const ScriptedReply &reply)
{
    queued_[routeKey(method, path)].append(reply);
}

void FakeHttpService::setHandler(Handler handler)
{
    handler_ = std::move(handler);
}

QList<RecordedRequest> FakeHttpService::requests() const
{
    return requests_;
}

QList<RecordedRequest> FakeHttpService::requests(const QString &path) const
{
    QList<RecordedRequest> out;
    for (const auto &r : requests_)
        if (r.path == path)
            out.append(r);
    return out;
}

int FakeHttpService::count(const QString &path) const
{
    return path.isEmpty() ? int(requests_.size()) : int(requests(path).size());
}

void FakeHttpService::clear()
{
    requests_.clear();
}

bool FakeHttpService::waitForRequests(int n, int timeoutMs, const QString &path) const
{
    return TestEnv::waitFor([&] { return count(path) >= n; }, timeoutMs);
}

ScriptedReply FakeHttpService::replyFor(const RecordedRequest &request)
{
    const QString key = routeKey(request.method, request.path);
    auto queued = queued_.find(key);
    if (queued != queued_.end() && !queued->isEmpty())
        return queued->takeFirst();
    if (handler_)
        return handler_(request);
    if (routes_.contains(key))
        return routes_.value(key);
    return ScriptedReply::text("not found", 404);
}

bool FakeHttpService::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    RecordedRequest rec;
    switch (request.method()) {
    case QHttpServerRequest::Method::Get: rec.method = "GET"; break;
    case QHttpServerRequest::Method::Put: rec.method = "PUT"; break;
    case QHttpServerRequest::Method::Delete: rec.method = "DELETE"; break;
    case QHttpServerRequest::Method::Post: rec.method = "POST"; break;
    case QHttpServerRequest::Method::Head: rec.method = "HEAD"; break;
    case QHttpServerRequest::Method::Options: rec.method = "OPTIONS"; break;
    case QHttpServerRequest::Method::Patch: rec.method = "PATCH"; break;
    default: rec.method = "OTHER"; break;
    }
    rec.path = request.url().path();
    rec.rawQuery = request.url().query(QUrl::FullyEncoded);
    rec.query = request.query();
    for (const auto &[name, value] : request.headers())
        rec.headers.insert(name.toLower(), value);
    rec.body = request.body();
    requests_.append(rec);
    Q_EMIT requestReceived(rec);

    const ScriptedReply reply = replyFor(rec);
    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    auto send = [responder, reply] {
        responder->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
        responder->writeHeader("Content-Type", reply.contentType);
        for (const auto &h : reply.headers)
            responder->writeHeader(h.first, h.second);
        responder->writeHeader("Content-Length", QByteArray::number(reply.body.size()));
        responder->writeBody(reply.body);
    };
    if (reply.hang) {
        held_.push_back(responder);
    } else if (reply.dripMs > 0) {
        held_.push_back(responder);
        responder->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
        responder->writeHeader("Content-Type", reply.contentType);
        responder->writeHeader("Content-Length", QByteArray::number(reply.body.size()));
        auto *drip = new QTimer(this);
        auto sent = std::make_shared<qsizetype>(0);
        connect(drip, &QTimer::timeout, drip, [responder, reply, sent, drip] {
            if (*sent >= reply.body.size()) {
                drip->deleteLater();
                return;
            }
            responder->writeBody(reply.body.constData() + *sent, 1);
            ++*sent;
        });
        drip->start(reply.dripMs);
    } else if (reply.delayMs > 0) {
        held_.push_back(responder);
        QTimer::singleShot(reply.delayMs, this, send);
    } else {
        send();
    }
    return true;
}

void FakeHttpService::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}
