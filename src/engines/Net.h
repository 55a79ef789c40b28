#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPair>
#include <QPointer>
#include <QCoroTask>

#include "engines/EngineError.h"

#include <memory>

class QHttpMultiPart;
class QNetworkAccessManager;

// The one network session of the process and the request helper every engine uses.
namespace Net {

// The shared session: created on first use on the main thread, never released.
// No cache; replies are owned and deleted by send(). Main thread only.
QNetworkAccessManager *session();

// Starts HEAD requests to the hosted service (or OpenRouter's model list when
// there is none) and to LanguageTool's language list, so that the connections
// are open for what follows. Returns at once; replies and errors are ignored.
void warmUp();

// A reply that arrived: status 0 when it was not an HTTP reply.
struct Reply
{
    int status = 0;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    QByteArray header(const QByteArray &name) const;
};

// Time limits of one request: `total` from the start to the last byte (none when
// 0 or less), `idle` between two bytes (sent or received); and the largest reply
// body taken, past which the request is aborted.
struct Timeouts
{
    double total = 60;
    double idle = 30;
    qint64 maxBytes = qint64(8) << 20;
};

// Aborts the requests sent with it, at once (a cancelled dictation's chunks: they
// are neither waited for nor left to run and be billed). They then fail with
// NetworkError Cancelled; one sent after stop() fails without being sent.
// Main thread.
class Stop
{
public:
    void stop();
    bool stopped() const { return stopped_; }
    // Called by send(): `reply` is aborted by stop().
    void watch(QNetworkReply *reply);

private:
    bool stopped_ = false;
    QList<QPointer<QNetworkReply>> replies_;
};

// A request ready to send: no cache, the session's defaults otherwise.
QNetworkRequest request(const QUrl &url);

// Sends `request` with `verb` and `body` on the shared session and waits for the
// whole reply. Any HTTP status comes back as a Reply; a request that got no
// answer (offline, refused, timed out) throws NetworkError.
// A request with an "Authorization" header follows redirects within its own
// origin (scheme, host, port) only; a redirect elsewhere is not followed and
// comes back as the Reply of its 3xx status (empty body).
// A reply body longer than `timeouts.maxBytes` throws NetworkError TooLarge.
QCoro::Task<Reply> send(QNetworkRequest request, QByteArray verb, QByteArray body, Timeouts timeouts = {},
                        std::shared_ptr<Stop> stop = {});
// The same with a multipart body; the request takes ownership of `multiPart`.
QCoro::Task<Reply> send(QNetworkRequest request, QHttpMultiPart *multiPart, Timeouts timeouts = {});

// What a transport error means to the user: offline, unreachable, timed out...
NetworkError::Reason reasonFor(QNetworkReply::NetworkError error);

// Same scheme, host and port (the scheme's default when none is given).
bool sameOrigin(const QUrl &a, const QUrl &b);

// Multiplies every time limit of send() and warmUp(); tests shorten them with it.
void setTimeScale(double scale);
double timeScale();

} // namespace Net
