#include "update/Updater.h"

#include "update/Updater_p.h"
#include "update/Bundle.h"
#include "update/ReleaseKey.h"
#include "engines/EngineError.h"
#include "engines/Net.h"
#include "engines/Services.h"
#include "core/Log.h"
#include "model/TextUtil.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent>

#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace UpdaterDetail;

namespace {

constexpr int kDayMs = 86400 * 1000;
constexpr double kCheckSeconds = 60;
// A release feed is a few notes and links: a reply past this is not one.
constexpr qint64 kMaxFeedBytes = 256 * 1024;

std::optional<qint64> wholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    if (a != b)
        return std::nullopt;
    return a;
}

} // namespace

Updater::Setup Updater::Setup::forThisProcess()
{
    Setup setup;
    const QString program = QCoreApplication::applicationFilePath();
    setup.bundle = Bundle::bundleOf(program);
    setup.executable = QFileInfo(program).fileName();
    if (!setup.bundle.isEmpty()) {
        if (const auto info = Bundle::readInfo(setup.bundle))
            setup.runningBuild = info->build;
    }
    setup.publicKey = ReleaseKey::publicKey();
    setup.pid = QCoreApplication::applicationPid();
    // Read once and taken out, so that no program started from here inherits it.
    setup.trial = qEnvironmentVariable("OMBRY_UPDATE_TRIAL");
    qunsetenv("OMBRY_UPDATE_TRIAL");
    setup.quit = [] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    };
    setup.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    return setup;
}

Updater::Updater(Setup setup, QObject *parent)
    : QObject(parent)
    , setup_(std::move(setup))
{
}

Updater::~Updater()
{
    sweeping_.waitForFinished();
}

void Updater::start()
{
    if (timer_)
        return;
    // Queued: runs once the event loop turns, after the rest of start-up.
    QTimer::singleShot(0, this, [this] { settle(); });
    check();
    timer_ = new QTimer(this);
    timer_->setInterval(kDayMs);
    connect(timer_, &QTimer::timeout, this, [this] { check(); });
    timer_->start();
}

void Updater::settle()
{
    if (setup_.bundle.isEmpty())
        return;
    // Started on trial by the relaunch script: tell it this build works.
    if (!setup_.trial.isEmpty() && setup_.trial == besideBundle(setup_.bundle, kTrialSuffix))
        QFile::remove(setup_.trial);

    const QString notePath = besideBundle(setup_.bundle, kRolledBackSuffix);
    QFile note(notePath);
    if (note.open(QIODevice::ReadOnly)) {
        const QString version = printable(QString::fromUtf8(note.read(1024)).trimmed());
        note.close();
        QFile::remove(notePath);
        Log::write(QStringLiteral("mise à jour : la version ") + version
                   + QStringLiteral(" n'a pas démarré, retour à la version précédente"));
        setError(QStringLiteral("La version %1 n'a pas démarré : Ombry Voice est revenu à la version précédente.").arg(version));
    }
    sweeping_ = QtConcurrent::run(sweep, workRootOf(setup_.workRoot), setup_.bundle);
}

QCoro::Task<bool> Updater::check()
{
    // Tasks and arguments are named before co_await: g++ 12 mishandles
    // temporaries inside a co_await expression.
    QCoro::Task<CheckResult> checking = checkFeed();
    const CheckResult result = co_await std::move(checking);
    co_return result.newer;
}

QCoro::Task<Updater::CheckResult> Updater::checkFeed()
{
    CheckResult result;
    const std::optional<QUrl> base = feedBase();
    if (!base) {
        result.failure = Services::updates()
            ? QStringLiteral("Adresse du flux de mises à jour refusée : https est requis.")
            : QStringLiteral("Aucun flux de mises à jour n'est configuré (OMBRY_UPDATES_URL).");
        co_return result;
    }
    QPointer<Updater> self(this);
    Net::Reply reply;
    try {
        const QNetworkRequest request = Net::request(feedAddress(*base));
        const QByteArray verb = QByteArrayLiteral("GET");
        const Net::Timeouts timeouts{kCheckSeconds, kCheckSeconds, kMaxFeedBytes};
        QCoro::Task<Net::Reply> sending = Net::send(request, verb, QByteArray(), timeouts);
        reply = co_await std::move(sending);
    } catch (const NetworkError &error) {
        result.failure = error.reason() == NetworkError::Reason::TooLarge
            ? QStringLiteral("Le flux de mises à jour est trop volumineux.")
            : error.description();
        co_return result;
    } catch (const std::exception &error) {
        result.failure = describe(error);
        co_return result;
    }
    if (reply.status != 200) {
        result.failure = reply.status == 0
            ? QStringLiteral("Le flux de mises à jour n'a pas répondu en HTTP.")
            : QStringLiteral("Le flux de mises à jour a répondu %1.").arg(reply.status);
        co_return result;
    }
    const std::optional<Release> release = decode(reply.body);
    if (!release) {
        result.failure = QStringLiteral("Réponse illisible du flux de mises à jour.");
        co_return result;
    }
    if (!self)
        co_return result;
    result.newer = currentBuild() < release->build;
    setAvailable(result.newer ? release : std::nullopt);
    if (result.newer)
        Log::write(QStringLiteral("mise à jour disponible : ") + printable(release->version));
    co_return result;
}

bool Updater::openPage()
{
    if (!available_)
        return false;
    const std::optional<QUrl> url = pageAddress(available_->page);
    return url && setup_.openUrl && setup_.openUrl(*url);
}

QString Updater::version() const
{
    return available_ ? available_->version : QString();
}

QStringList Updater::notes() const
{
    return available_ ? available_->notes : QStringList();
}

QString Updater::page() const
{
    return available_ ? available_->page : QString();
}

void Updater::setDismissed(bool dismissed)
{
    if (dismissed_ == dismissed)
        return;
    dismissed_ = dismissed;
    Q_EMIT dismissedChanged();
    Q_EMIT bannerChanged();
}

bool Updater::bannerVisible() const
{
    return available_ && !dismissed_;
}

QString Updater::title() const
{
    return available_ ? QStringLiteral("Ombry Voice ") + available_->version + QStringLiteral(" est disponible") : QString();
}

QString Updater::detail() const
{
    if (!error_.isEmpty())
        return error_;
    return available_ && !available_->notes.isEmpty() ? available_->notes.first() : QString();
}

bool Updater::detailIsError() const
{
    return !error_.isEmpty();
}

QString Updater::installLabel() const
{
    return installing_ ? QStringLiteral("Installation…") : QStringLiteral("Mettre à jour");
}

bool Updater::pageOpenable() const
{
    return available_ && pageAddress(available_->page).has_value();
}

void Updater::setAvailable(const std::optional<Release> &release)
{
    if (available_ == release)
        return;
    available_ = release;
    Q_EMIT availableChanged();
    Q_EMIT bannerChanged();
}

void Updater::setInstalling(bool installing)
{
    if (installing_ == installing)
        return;
    installing_ = installing;
    Q_EMIT installingChanged();
    Q_EMIT bannerChanged();
}

void Updater::setError(const QString &error)
{
    if (error_ == error)
        return;
    error_ = error;
    Q_EMIT errorChanged();
    Q_EMIT bannerChanged();
}

std::optional<Updater::Release> Updater::decode(const QByteArray &body)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(QStringLiteral("version"));
    const std::optional<qint64> build = wholeNumber(object.value(QStringLiteral("build")));
    const QJsonValue notes = object.value(QStringLiteral("notes"));
    const QJsonValue page = object.value(QStringLiteral("page"));
    const QJsonValue downloads = object.value(QStringLiteral("downloads"));
    if (!version.isString() || !build || !notes.isArray() || !page.isString() || !downloads.isObject())
        return std::nullopt;

    Release release;
    release.version = version.toString();
    release.build = *build;
    release.page = page.toString();
    for (const QJsonValue &note : notes.toArray()) {
        if (!note.isString())
            return std::nullopt;
        release.notes.append(note.toString());
    }
    const QJsonObject links = downloads.toObject();
    for (auto it = links.constBegin(); it != links.constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        release.downloads.insert(it.key(), it.value().toString());
    }
    return release;
}

bool Updater::acceptableBase(const QUrl &base)
{
    if (!base.isValid() || base.host().isEmpty())
        return false;
    const QString scheme = base.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    // Plain http only to this computer, where tests and local mirrors answer.
    const QString host = base.host().toLower();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

std::optional<QUrl> Updater::feedBase()
{
    const std::optional<QUrl> base = Services::updates();
    if (!base || !acceptableBase(*base))
        return std::nullopt;
    return base;
}

QUrl Updater::feedAddress(const QUrl &base)
{
    return Services::appending(base, QStringLiteral("api/updates?app=voice"));
}

std::optional<QUrl> Updater::downloadAddress(const Release &release, const QUrl &base, const QString &architecture)
{
    const auto found = release.downloads.constFind(architecture);
    if (found == release.downloads.constEnd() || !acceptableBase(base))
        return std::nullopt;
    const QUrl link(found.value(), QUrl::StrictMode);
    if (!link.isValid() || link.scheme() != QLatin1String("https"))
        return std::nullopt;
    // Only the path is kept: the file always comes from the feed's own site.
    const QString path = link.path(QUrl::FullyEncoded);
    if (path.isEmpty() || path == QLatin1String("/"))
        return std::nullopt;
    QUrl relative;
    relative.setPath(path, QUrl::TolerantMode);
    QUrl address = base.resolved(relative);
    address.setQuery(QString());
    address.setFragment(QString());
    if (!address.isValid())
        return std::nullopt;
    return address;
}

std::optional<QUrl> Updater::pageAddress(const QString &page)
{
    const QUrl url(page, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return url;
}

QString Updater::printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7f && u <= 0x9f);
        const bool layout = u == 0x2028 || u == 0x2029 || u == 0x200e || u == 0x200f || (u >= 0x202a && u <= 0x202e)
            || (u >= 0x2066 && u <= 0x2069);
        if (!control && !layout)
            out.append(c);
    }
    return TextUtil::firstCharacters(out, 200);
}

QString Updater::lockPath(const QString &bundle)
{
    return besideBundle(bundle, QStringLiteral(".verrou"));
}

QString Updater::besideBundle(const QString &bundle, const QString &suffix)
{
    const QFileInfo info(bundle);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + suffix;
}
