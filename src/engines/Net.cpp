#include "engines/Net.h"

#include "engines/EngineError.h"
#include "engines/Services.h"
#include "core/Log.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

namespace {

std::atomic<double> g_timeScale{1.0};

int scaledMs(double seconds)
{
    const double ms = seconds * 1000.0 * g_timeScale.load();
    if (ms <= 1)
        return 1;
    if (ms >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(ms);
}


// Errors of the transport itself and of proxies: the request got no (whole) answer.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && int(error) < 200;
}

struct ReplyDeleter
{
    void operator()(QNetworkReply *reply) const
    {
        if (reply)
            reply->deleteLater();
    }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, ReplyDeleter>;

// Arms the total and idle timers on `reply`; when one fires, the reply is aborted
// and `timedOut` is set. The timers are children of the reply and go with it.
void armTimers(QNetworkReply *reply, Net::Timeouts timeouts, std::shared_ptr<bool> timedOut)
{
    auto expire = [reply, timedOut] {
        if (reply->isFinished())
            return;
        *timedOut = true;
        reply->abort();
    };
    // No total: only the idle limit, so a long upload on a slow line is not cut.
    if (timeouts.total > 0) {
        auto *total = new QTimer(reply);
        total->setSingleShot(true);
        total->setTimerType(Qt::PreciseTimer);
        QObject::connect(total, &QTimer::timeout, reply, expire);
        total->start(scaledMs(timeouts.total));
    }

    if (timeouts.idle > 0 && (timeouts.total <= 0 || timeouts.idle < timeouts.total)) {
        auto *idle = new QTimer(reply);
        idle->setSingleShot(true);
        QObject::connect(idle, &QTimer::timeout, reply, expire);
        const int idleMs = scaledMs(timeouts.idle);
        auto touch = [idle, idleMs] { idle->start(idleMs); };
        QObject::connect(reply, &QNetworkReply::uploadProgress, idle, touch);
        QObject::connect(reply, &QNetworkReply::downloadProgress, idle, touch);
        QObject::connect(reply, &QNetworkReply::metaDataChanged, idle, touch);
        idle->start(idleMs);
    }
}

bool carriesKey(const QNetworkRequest &request)
{
    return request.hasRawHeader("Authorization") || request.hasRawHeader("Proxy-Authorization");
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    const QString scheme = a.scheme().toLower();
    const int port = scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1;
    return scheme == b.scheme().toLower() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
           && a.port(port) == b.port(port);
}

// A redirect that was not followed: its status is the answer.
struct Refusal
{
    bool refused = false;
    int status = 0;
};

// A request that carries a key follows redirects within its own origin only:
// elsewhere the key would go to a host the user never gave it to.
void guardRedirects(QNetworkReply *reply, std::shared_ptr<Refusal> refusal)
{
    const QUrl origin = reply->request().url();
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, origin, refusal](const QUrl &target) {
        if (sameOrigin(origin, target)) {
            Q_EMIT reply->redirectAllowed();
            return;
        }
        refusal->refused = true;
        refusal->status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        Log::write(QStringLiteral("réseau: redirection de %1 vers %2 refusée, la clé reste chez %1")
                       .arg(origin.authority(), target.authority()));
        reply->abort();
    });
}

QNetworkRequest guarded(QNetworkRequest request)
{
    if (carriesKey(request))
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    return request;
}

// Aborts `reply` once its body passes `maxBytes`; `tooLarge` is then set.
void boundBody(QNetworkReply *reply, qint64 maxBytes, std::shared_ptr<bool> tooLarge)
{
    if (maxBytes <= 0)
        return;
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maxBytes, tooLarge](qint64 received, qint64 total) {
        if (*tooLarge || (received <= maxBytes && total <= maxBytes))
            return;
        *tooLarge = true;
        reply->abort();
    });
}

QCoro::Task<Net::Reply> finish(ReplyPtr reply, Net::Timeouts timeouts, std::shared_ptr<Net::Stop> stop = {})
{
    auto timedOut = std::make_shared<bool>(false);
    auto tooLarge = std::make_shared<bool>(false);
    armTimers(reply.get(), timeouts, timedOut);
    boundBody(reply.get(), timeouts.maxBytes, tooLarge);
    if (stop)
        stop->watch(reply.get());
    auto refusal = std::make_shared<Refusal>();
    if (carriesKey(reply->request()))
        guardRedirects(reply.get(), refusal);
    if (!reply->isFinished())
        co_await qCoro(reply.get(), &QNetworkReply::finished);

    const QNetworkReply::NetworkError error = reply->error();
    if (refusal->refused) {
        Net::Reply out;
        out.status = refusal->status;
        out.headers = reply->rawHeaderPairs();
        co_return out;
    }
    if (*tooLarge)
        throw NetworkError(NetworkError::Reason::TooLarge);
    if (*timedOut)
        throw NetworkError(NetworkError::Reason::TimedOut);
    if (isTransportError(error))
        throw NetworkError(Net::reasonFor(error), int(error));

    Net::Reply out;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    out.status = status.isValid() ? status.toInt() : 0;
    out.body = reply->readAll();
    out.headers = reply->rawHeaderPairs();
    co_return out;
}

} // namespace

namespace Net {

NetworkError::Reason reasonFor(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
    case QNetworkReply::UnknownNetworkError: // e.g. no route to the host
        return NetworkError::Reason::Offline;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
        return NetworkError::Reason::Unreachable;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return NetworkError::Reason::TimedOut;
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::InsecureRedirectError:
        return NetworkError::Reason::Secure;
    case QNetworkReply::OperationCanceledError:
        return NetworkError::Reason::Cancelled;
    default:
        return NetworkError::Reason::Other;
    }
}

QNetworkAccessManager *session()
{
    static QNetworkAccessManager *manager = [] {
        Q_ASSERT_X(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread(),
                   "Net::session", "the network session lives on the main thread");
        auto *m = new QNetworkAccessManager();
        m->setCache(nullptr);
        m->setAutoDeleteReplies(false);
        m->setTransferTimeout(0); // our own timers decide
        m->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        return m;
    }();
    return manager;
}

QByteArray Reply::header(const QByteArray &name) const
{
    for (const auto &pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return {};
}

QNetworkRequest request(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(0);
    return request;
}

QCoro::Task<Reply> send(QNetworkRequest request, QByteArray verb, QByteArray body, Timeouts timeouts,
                        std::shared_ptr<Stop> stop)
{
    if (stop && stop->stopped())
        throw NetworkError(NetworkError::Reason::Cancelled);
    ReplyPtr reply(session()->sendCustomRequest(guarded(request), verb, body));
    co_return co_await finish(std::move(reply), timeouts, std::move(stop));
}

void Stop::watch(QNetworkReply *reply)
{
    replies_.removeAll(nullptr);
    replies_.append(reply);
    if (stopped_)
        reply->abort();
}

void Stop::stop()
{
    stopped_ = true;
    const QList<QPointer<QNetworkReply>> replies = std::exchange(replies_, {});
    for (const QPointer<QNetworkReply> &reply : replies)
        if (reply && !reply->isFinished())
            reply->abort();
}

QCoro::Task<Reply> send(QNetworkRequest request, QHttpMultiPart *multiPart, Timeouts timeouts)
{
    ReplyPtr reply(session()->post(guarded(request), multiPart));
    multiPart->setParent(reply.get());
    co_return co_await finish(std::move(reply), timeouts);
}

void warmUp()
{
    QList<QUrl> urls;
    if (const auto hosted = Services::hosted())
        urls.append(*hosted);
    else
        urls.append(Services::appending(Services::openRouter(), QStringLiteral("/api/v1/models?limit=1")));
    urls.append(Services::appending(Services::languageTool(), QStringLiteral("/v2/languages")));

    for (const QUrl &url : urls) {
        QNetworkReply *reply = session()->head(request(url));
        auto *timer = new QTimer(reply);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, reply, &QNetworkReply::abort);
        timer->start(scaledMs(60));
        QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    }
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return ::sameOrigin(a, b);
}

void setTimeScale(double scale)
{
    g_timeScale.store(scale > 0 ? scale : 1.0);
}

double timeScale()
{
    return g_timeScale.load();
}

} // namespace Net
