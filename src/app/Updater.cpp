#include "app/Updater.h"

#include "app/Application.h"

#include "app/Bundle.h"
#include "app/ReleaseKey.h"
#include "engines/EngineError.h"
#include "engines/Net.h"
#include "engines/Services.h"
#include "model/Log.h"
#include "model/TextUtil.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QCoroSignal>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>
#include <QtConcurrent>

#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kNoLink = QStringLiteral("Lien de téléchargement absent.");
const QString kRefusedBySite = QStringLiteral("Téléchargement refusé par le site.");
const QString kNoApp = QStringLiteral("Le fichier téléchargé ne contient pas l'appli.");
const QString kBadSignature = QStringLiteral("La signature de la nouvelle version n'est pas valide.");
const QString kNotBundle = QStringLiteral(
    "Cette copie d'Ombry Voice ne vient pas d'un paquet de publication : elle ne peut pas se mettre à jour elle-même.");
const QString kBusy = QStringLiteral("Une autre installation de la mise à jour est déjà en cours.");
const QString kNotNewer = QStringLiteral("La version téléchargée n'est pas plus récente que celle installée.");
const QString kTooBig = QStringLiteral("Le fichier téléchargé est trop volumineux.");
const QString kNextStart =
    QStringLiteral("La mise à jour est installée : elle sera utilisée au prochain démarrage d'Ombry Voice.");

constexpr int kDayMs = 86400 * 1000;
constexpr double kCheckSeconds = 60;
constexpr double kDownloadIdleSeconds = 60;

// Waits (at most 30 s) for the old process to be gone, zombies included, then
// becomes the new program. $0 is the program, $1 the old process id.
const QString kRelaunchScript = QStringLiteral(
    "n=0\n"
    "while [ \"$n\" -lt 300 ] && kill -0 \"$1\" 2>/dev/null; do\n"
    "  case \"$(sed -n 's/^.*) \\([A-Za-z]\\).*$/\\1/p' \"/proc/$1/stat\" 2>/dev/null)\" in Z|X) break;; esac\n"
    "  sleep 0.1; n=$((n+1))\n"
    "done\n"
    "exec \"$0\"\n");

struct UpdateFailure
{
    QString message; // what the user sees
    QString detail = {};  // what the log adds
};

// The lock one installation holds over a bundle; the kernel lets it go if the
// process dies.
class InstallLock
{
public:
    explicit InstallLock(int fd)
        : fd_(fd)
    {
    }
    ~InstallLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    InstallLock(const InstallLock &) = delete;
    InstallLock &operator=(const InstallLock &) = delete;

    static std::unique_ptr<InstallLock> acquire(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0)
            throw UpdateFailure{QStringLiteral("Impossible de remplacer l'appli : ") + Bundle::systemError(errno) + QLatin1Char('.')};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            throw UpdateFailure{kBusy};
        }
        return std::make_unique<InstallLock>(fd);
    }

private:
    int fd_ = -1;
};

// A private folder for one installation, removed however it ends.
struct WorkFolder
{
    QString path;
    ~WorkFolder() { Bundle::removeTree(path); }

    static QString make(const QString &root)
    {
        QDir().mkpath(QFileInfo(root).absolutePath());
        if (::mkdir(QFile::encodeName(root).constData(), 0700) != 0 && errno != EEXIST)
            throw UpdateFailure{QStringLiteral("Impossible de préparer la mise à jour : ") + Bundle::systemError(errno) + QLatin1Char('.')};
        QByteArray pattern = QFile::encodeName(root + QStringLiteral("/update-XXXXXX"));
        if (!::mkdtemp(pattern.data())) // 0700
            throw UpdateFailure{QStringLiteral("Impossible de préparer la mise à jour : ") + Bundle::systemError(errno) + QLatin1Char('.')};
        return QFile::decodeName(pattern);
    }
};

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

NetworkError::Reason reasonOf(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return NetworkError::Reason::Offline;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
        return NetworkError::Reason::Unreachable;
    case QNetworkReply::TimeoutError:
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

// What the worker thread did with the downloaded archive.
struct StageResult
{
    QString failure;
    QString detail;
    Bundle::Info info;
};

struct StageInput
{
    QString archive;
    QString work;
    QString bundle;
    QString executable;
    QByteArray publicKey;
    qint64 runningBuild = 0;
};

// Off the main thread: extract, verify, copy beside the installed bundle,
// verify the copy, swap. The work folder is emptied before returning.
StageResult stage(const StageInput &in)
{
    StageResult out;
    const QString parent = QFileInfo(in.bundle).absolutePath();
    const QString staging = parent + QStringLiteral("/.") + QFileInfo(in.bundle).fileName() + QStringLiteral(".nouveau");
    bool staged = false;
    try {
        const QString content = in.work + QStringLiteral("/contenu");
        if (::mkdir(QFile::encodeName(content).constData(), 0700) != 0)
            throw Bundle::Refused(Bundle::Refused::Kind::Files, Bundle::systemError(errno));
        const QStringList top = Bundle::extract(in.archive, content);
        QFile::remove(in.archive);
        QString app;
        for (const QString &name : top) {
            if (QFileInfo(name).suffix() == QLatin1String("app")) {
                app = content + QLatin1Char('/') + name;
                break;
            }
        }
        if (app.isEmpty())
            throw Bundle::Refused(Bundle::Refused::Kind::Archive, QStringLiteral("aucun dossier .app dans l'archive"));
        out.info = Bundle::verify(app, in.publicKey);
        const QFileInfo program(app + QLatin1Char('/') + in.executable);
        if (!program.isFile() || program.isSymLink() || !program.isExecutable())
            throw Bundle::Refused(Bundle::Refused::Kind::Archive, QStringLiteral("le paquet ne contient pas le programme"));

        // Under the lock: neither the running copy nor what another process may
        // have installed since may be replaced by an older or equal build.
        const std::optional<Bundle::Info> installed = Bundle::readInfo(in.bundle);
        const qint64 floor = std::max(in.runningBuild, installed ? installed->build : 0);
        if (out.info.build <= floor) {
            out.failure = kNotNewer;
            out.detail = QStringLiteral("build signé %1, build installé %2").arg(out.info.build).arg(floor);
        } else {
            Bundle::removeTree(staging);
            staged = true;
            Bundle::copyTree(app, staging);
            Bundle::verify(staging, in.publicKey);
            const QString former = Bundle::swapIn(staging, in.bundle);
            staged = false;
            Bundle::removeTree(former);
        }
    } catch (const Bundle::Refused &refused) {
        switch (refused.kind()) {
        case Bundle::Refused::Kind::Archive:
            out.failure = kNoApp;
            break;
        case Bundle::Refused::Kind::Signature:
            out.failure = kBadSignature;
            break;
        case Bundle::Refused::Kind::Files:
            out.failure = QStringLiteral("Impossible de remplacer l'appli : ") + refused.detail() + QLatin1Char('.');
            break;
        }
        out.detail = refused.detail();
    } catch (const std::exception &error) {
        out.failure = QStringLiteral("Impossible de remplacer l'appli : ") + QString::fromUtf8(error.what());
    }
    if (staged)
        Bundle::removeTree(staging);
    Bundle::removeTree(in.work);
    return out;
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

Updater::~Updater() = default;

Updater *Updater::shared()
{
    return Application::root().updater();
}

Updater *Updater::create(QQmlEngine *, QJSEngine *)
{
    Updater *updater = shared();
    QJSEngine::setObjectOwnership(updater, QJSEngine::CppOwnership);
    return updater;
}

void Updater::start()
{
    if (timer_)
        return;
    check();
    timer_ = new QTimer(this);
    timer_->setInterval(kDayMs);
    connect(timer_, &QTimer::timeout, this, [this] { check(); });
    timer_->start();
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
        const Net::Timeouts timeouts{kCheckSeconds, kCheckSeconds};
        QCoro::Task<Net::Reply> sending = Net::send(request, verb, QByteArray(), timeouts);
        reply = co_await std::move(sending);
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

QCoro::Task<> Updater::download(QUrl url, QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw UpdateFailure{QStringLiteral("Impossible d'enregistrer le téléchargement.")};
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(
        Net::session()->get(Net::request(url)), [](QNetworkReply *r) { r->deleteLater(); });

    // Lambdas below use this frame's locals: `guard` ends their connections
    // with the frame.
    QObject guard;
    bool tooBig = false;
    bool writeFailed = false;
    bool timedOut = false;
    qint64 received = 0;
    const qint64 limit = setup_.maxDownload;
    QNetworkReply *r = reply.get();
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
    if (!r->isFinished())
        co_await qCoro(r, &QNetworkReply::finished);
    take();
    idle.stop();
    file.close();

    if (tooBig)
        throw UpdateFailure{kTooBig, QStringLiteral("plus de %1 octets").arg(limit)};
    if (writeFailed)
        throw UpdateFailure{QStringLiteral("Impossible d'enregistrer le téléchargement.")};
    if (timedOut)
        throw UpdateFailure{NetworkError(NetworkError::Reason::TimedOut).description()};
    const QNetworkReply::NetworkError error = r->error();
    if (error != QNetworkReply::NoError && int(error) < 200)
        throw UpdateFailure{NetworkError(reasonOf(error), int(error)).description()};
    const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || status.toInt() != 200)
        throw UpdateFailure{kRefusedBySite};
}

QCoro::Task<> Updater::install()
{
    if (!available_ || installing_)
        co_return;
    const Release release = *available_;
    QPointer<Updater> self(this);
    setInstalling(true);
    setError(QString());

    // Declared first so that the lock is let go last.
    std::unique_ptr<InstallLock> lock;
    WorkFolder work;
    UpdateFailure failure;
    Bundle::Info installed;
    try {
        if (setup_.bundle.isEmpty())
            throw UpdateFailure{kNotBundle};
        if (installedBuild_ > 0 && release.build <= installedBuild_)
            throw UpdateFailure{kNextStart};
        const std::optional<QUrl> base = feedBase();
        const std::optional<QUrl> url =
            base ? downloadAddress(release, *base, QSysInfo::currentCpuArchitecture()) : std::nullopt;
        if (!url)
            throw UpdateFailure{kNoLink};
        if (setup_.publicKey.size() != 32)
            throw UpdateFailure{kBadSignature, QStringLiteral("aucune clé de publication dans ce programme")};
        lock = InstallLock::acquire(lockPath(setup_.bundle));
        const QString root = setup_.workRoot.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Ombry Voice")
            : setup_.workRoot;
        work.path = WorkFolder::make(root);
        // A fixed name: nothing the feed says ever becomes part of a path.
        const QString archive = work.path + QStringLiteral("/paquet.tar.gz");
        QCoro::Task<> downloading = download(*url, archive);
        co_await std::move(downloading);
        if (!self)
            co_return;

        StageInput input{archive, work.path, setup_.bundle, setup_.executable, setup_.publicKey, setup_.runningBuild};
        QFuture<StageResult> staging = QtConcurrent::run([input] { return stage(input); });
        const StageResult result = co_await staging;
        if (!self)
            co_return;
        if (!result.failure.isEmpty())
            throw UpdateFailure{result.failure, result.detail};
        installed = result.info;
    } catch (const UpdateFailure &caught) {
        failure = caught;
    } catch (const std::exception &error) {
        failure = UpdateFailure{describe(error)};
    }
    if (!self)
        co_return;
    if (!failure.message.isEmpty()) {
        if (!failure.detail.isEmpty())
            Log::write(QStringLiteral("mise à jour : ") + printable(failure.detail));
        fail(failure.message);
        co_return;
    }

    Log::write(QStringLiteral("mise à jour installée : ") + printable(release.version));
    QString why;
    if (!relaunch(&why)) {
        // This copy keeps running; the new one starts at the next launch.
        Log::write(QStringLiteral("mise à jour : relance impossible (") + why
                   + QStringLiteral("), la nouvelle version démarrera au prochain lancement"));
        installedBuild_ = installed.build;
        setError(kNextStart);
        setInstalling(false);
    }
    // Otherwise `installing` stays true: the process is about to end.
}

bool Updater::relaunch(QString *why)
{
    QProcess helper;
    helper.setProgram(setup_.shell);
    helper.setArguments({QStringLiteral("-c"), kRelaunchScript, setup_.bundle + QLatin1Char('/') + setup_.executable,
                         QString::number(setup_.pid)});
    helper.setWorkingDirectory(QDir::homePath());
    helper.setStandardInputFile(QProcess::nullDevice());
    helper.setStandardOutputFile(QProcess::nullDevice());
    helper.setStandardErrorFile(QProcess::nullDevice());
    if (!helper.startDetached()) {
        *why = helper.errorString();
        return false;
    }
    if (setup_.quit)
        setup_.quit();
    return true;
}

void Updater::fail(const QString &message)
{
    Log::write(QStringLiteral("mise à jour : échec (") + message + QLatin1Char(')'));
    setError(message);
    setInstalling(false);
}

void Updater::startInstall()
{
    if (!installing_)
        install();
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
    const QFileInfo info(bundle);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".verrou");
}
