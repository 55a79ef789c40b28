// Downloading a release's files from the feed's own site.

#include "update/Updater.h"

#include "update/Updater_p.h"
#include "engines/EngineError.h"
#include "engines/Net.h"

#include <QCoroSignal>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace UpdaterDetail;

namespace {

const QString kTooBig = QStringLiteral("Le fichier téléchargé est trop volumineux.");
const QString kRedirected = QStringLiteral("Téléchargement redirigé ailleurs : refusé");

constexpr double kDownloadIdleSeconds = 60;
// Besides the idle limit, the whole download has a deadline: a server that sends
// a byte now and then never trips the idle timer. A minute, plus what the size
// takes at 64 KiB/s (the announced size, else the limit).
constexpr double kDeadlineBaseSeconds = 60;
constexpr double kDeadlineBytesPerSecond = 64 * 1024;

int deadlineMs(qint64 bytes)
{
    const double seconds = kDeadlineBaseSeconds + double(std::max<qint64>(bytes, 0)) / kDeadlineBytesPerSecond;
    return int(std::min(seconds * 1000 * Net::timeScale(), double(std::numeric_limits<int>::max())));
}

} // namespace

QCoro::Task<int> Updater::download(QUrl url, QString path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw UpdateFailure{QStringLiteral("Impossible d'enregistrer le téléchargement.")};
    QNetworkRequest request = Net::request(url);
    // The files come from the feed's own site: a redirect may move within it, never away.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(
        Net::session()->get(request), [](QNetworkReply *r) { r->deleteLater(); });

    // Lambdas below use this frame's locals: `guard` ends their connections
    // with the frame.
    QObject guard;
    bool tooBig = false;
    bool writeFailed = false;
    bool timedOut = false;
    QUrl elsewhere;
    qint64 received = 0;
    QNetworkReply *r = reply.get();
    connect(r, &QNetworkReply::redirected, &guard, [&elsewhere, r, url](const QUrl &target) {
        if (Net::sameOrigin(url, target)) {
            Q_EMIT r->redirectAllowed();
            return;
        }
        elsewhere = target;
        r->abort();
    });
    const auto take = [&] {
        const QByteArray chunk = r->readAll();
        if (chunk.isEmpty() || tooBig || writeFailed)
            return;
        if (r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
            return; // an error page is not kept
        received += chunk.size();
        if (received > limit) {
            tooBig = true;
            r->abort();
        } else if (file.write(chunk) != chunk.size()) {
            writeFailed = true;
            r->abort();
        }
    };
    QTimer idle;
    idle.setSingleShot(true);
    const int idleMs = int(kDownloadIdleSeconds * 1000 * Net::timeScale());
    connect(&idle, &QTimer::timeout, &guard, [&] {
        timedOut = true;
        r->abort();
    });
    connect(r, &QNetworkReply::readyRead, &guard, take);
    connect(r, &QNetworkReply::downloadProgress, &idle, [&idle, idleMs] { idle.start(idleMs); });
    idle.start(idleMs);
    QElapsedTimer since;
    since.start();
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &guard, [&] {
        timedOut = true;
        r->abort();
    });
    deadline.start(deadlineMs(limit));
    // A smaller announced size brings the deadline closer.
    connect(r, &QNetworkReply::metaDataChanged, &guard, [&] {
        const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() < limit)
            deadline.start(std::max<int>(0, deadlineMs(length.toLongLong()) - int(since.elapsed())));
    });
    if (!r->isFinished())
        co_await qCoro(r, &QNetworkReply::finished);
    take();
    idle.stop();
    deadline.stop();
    file.close();

    if (!elsewhere.isEmpty())
        throw UpdateFailure{kRedirected, QStringLiteral("redirection de %1 vers %2").arg(url.authority(), elsewhere.authority())};
    if (tooBig)
        throw UpdateFailure{kTooBig, QStringLiteral("plus de %1 octets").arg(limit)};
    if (writeFailed)
        throw UpdateFailure{QStringLiteral("Impossible d'enregistrer le téléchargement.")};
    if (timedOut)
        throw UpdateFailure{NetworkError(NetworkError::Reason::TimedOut).description()};
    const QNetworkReply::NetworkError error = r->error();
    if (error != QNetworkReply::NoError && int(error) < 200)
        throw UpdateFailure{NetworkError(Net::reasonFor(error), int(error)).description()};
    const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    co_return status.isValid() ? status.toInt() : 0;
}
