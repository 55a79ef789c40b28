#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <memory>

// One request as the fake received it.
struct RecordedRequest
{
    QByteArray method;                   // "GET", "POST", …
    QString path;                        // decoded path, e.g. "/api/v1/chat/completions"
    QString rawQuery;                    // the query exactly as sent (percent-encoded)
    QUrlQuery query;                     // the same, parsed
    QHash<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;

    QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
    QJsonObject json() const;            // the body as a JSON object ({} when it is not one)
    QByteArray chatAudio() const;        // the audio a chat request carries (its first "input_audio" part)
};

// One scripted answer.
struct ScriptedReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    QList<QPair<QByteArray, QByteArray>> headers;
    int delayMs = 0;      // answer after this long
    bool hang = false;    // accept the request and never answer
    int dripMs = 0;       // the headers at once, then the body one byte every dripMs

    static ScriptedReply json(const QJsonObject &object, int status = 200);
    // A chat completion whose first choice says `content`.
    static ScriptedReply chat(const QJsonValue &content, int delayMs = 0);
    static ScriptedReply chat(const QString &content, int delayMs = 0) { return chat(QJsonValue(content), delayMs); }
    static ScriptedReply text(const QByteArray &body, int status = 200);
    static ScriptedReply hanging();
};

// The body of a chat completion whose first choice says `content`.
QJsonObject chatCompletion(const QJsonValue &content);
inline QJsonObject chatCompletion(const QString &content) { return chatCompletion(QJsonValue(content)); }

// A scripted HTTP service on 127.0.0.1 standing for a cloud service in tests. Every
// request is recorded; replies come from the one-shot queue of the request's
// method and path, then from a handler, then from the route's default, else 404.
class FakeHttpService : public QAbstractHttpServer
{
    Q_OBJECT

public:
    using Handler = std::function<ScriptedReply(const RecordedRequest &)>;

    explicit FakeHttpService(QObject *parent = nullptr);
    ~FakeHttpService() override;

    // Listens on 127.0.0.1 on a free port; false when that failed.
    bool start();
    quint16 port() const { return port_; }
    // "http://127.0.0.1:<port>" with `path` appended.
    QString url(const QString &path = {}) const;

    void on(const QByteArray &method, const QString &path, const ScriptedReply &reply);
    void enqueue(const QByteArray &method, const QString &path, const ScriptedReply &reply);
    void setHandler(Handler handler);

    QList<RecordedRequest> requests() const;
    QList<RecordedRequest> requests(const QString &path) const;
    int count(const QString &path = {}) const;
    void clear();
    // Spins the event loop until `n` requests (to `path`, or any) have arrived.
    bool waitForRequests(int n, int timeoutMs = 5000, const QString &path = {}) const;

Q_SIGNALS:
    void requestReceived(const RecordedRequest &request);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    static QString routeKey(const QByteArray &method, const QString &path);
    ScriptedReply replyFor(const RecordedRequest &request);

    quint16 port_ = 0;
    QList<RecordedRequest> requests_;
    QHash<QString, QList<ScriptedReply>> queued_;
    QHash<QString, ScriptedReply> routes_;
    Handler handler_;
    // Answers held back (delayed or hanging) stay alive until the service ends.
    std::vector<std::shared_ptr<QHttpServerResponder>> held_;
};
