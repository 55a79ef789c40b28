#include "update/Updater.h"


#include "update/Bundle.h"
#include "update/ReleaseKey.h"
#include "engines/EngineError.h"
#include "engines/Net.h"
#include "engines/Services.h"
#include "core/Log.h"
#include "model/TextUtil.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QCoroSignal>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
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
const QString kUnsigned = QStringLiteral("Paquet refusé : non signé");
const QString kRedirected = QStringLiteral("Téléchargement redirigé ailleurs : refusé");
const QString kNextStart =
    QStringLiteral("La mise à jour est installée : elle sera utilisée au prochain démarrage d'Ombry Voice.");

constexpr int kDayMs = 86400 * 1000;
constexpr double kCheckSeconds = 60;
constexpr double kDownloadIdleSeconds = 60;
constexpr qint64 kMaxSignatureDownload = 4096;

// Names beside the installed bundle.
const QString kFormerSuffix = QStringLiteral(".ancien");   // the bundle before the update
const QString kTrialSuffix = QStringLiteral(".essai");     // exists until the new build has started
const QString kRolledBackSuffix = QStringLiteral(".retour"); // the version that did not start
const QString kStagingSuffix = QStringLiteral(".nouveau");
const QString kFailedSuffix = QStringLiteral(".échec");

// $0 the program, $1 the old process id, $2 the bundle, $3 the seconds the new
// build has to start, $4 its version. Waits (at most 30 s) for the old process
// to be gone, zombies included. When the former bundle was kept, starts the new
// program on trial under the bundle's lock: it removes the trial file once its
// start-up is done, and the former bundle is then deleted. A program that ends
// or hangs before that is stopped, the former bundle goes back in its place
// with a note for it to read, and it is started instead.
const QString kRelaunchScript = QStringLiteral(
    "state() { sed -n 's/^.*) \\([A-Za-z]\\).*$/\\1/p' \"/proc/$1/stat\" 2>/dev/null; }\n"
    "n=0\n"
    "while [ \"$n\" -lt 300 ] && kill -0 \"$1\" 2>/dev/null; do\n"
    "  case \"$(state \"$1\")\" in Z|X) break;; esac\n"
    "  sleep 0.1; n=$((n+1))\n"
    "done\n"
    "d=$(dirname -- \"$2\"); f=$(basename -- \"$2\")\n"
    "former=\"$d/.$f.ancien\"; trial=\"$d/.$f.essai\"; failed=\"$d/.$f.échec\"\n"
    "[ -d \"$former\" ] || exec \"$0\"\n"
    "exec 9<>\"$d/.$f.verrou\"\n"
    "flock -w 30 9 2>/dev/null\n"
    ": > \"$trial\"\n"
    "OMBRY_UPDATE_TRIAL=\"$trial\" \"$0\" 9>&- &\n"
    "child=$!\n"
    "n=0\n"
    "while [ -e \"$trial\" ] && [ \"$n\" -lt $(($3 * 10)) ]; do\n"
    "  case \"$(state \"$child\")\" in Z|X|'') break;; esac\n"
    "  sleep 0.1; n=$((n+1))\n"
    "done\n"
    "if [ ! -e \"$trial\" ]; then rm -rf -- \"$former\"; exit 0; fi\n"
    "case \"$(state \"$child\")\" in Z|X|'') ;; *) kill \"$child\" 2>/dev/null; sleep 1; kill -9 \"$child\" 2>/dev/null;; esac\n"
    "rm -f -- \"$trial\"; rm -rf -- \"$failed\"\n"
    "if mv -T -- \"$2\" \"$failed\"; then\n"
    "  if mv -T -- \"$former\" \"$2\"; then\n"
    "    printf '%s\\n' \"$4\" > \"$d/.$f.retour\"; rm -rf -- \"$failed\"\n"
    "  else mv -T -- \"$failed\" \"$2\"; fi\n"
    "fi\n"
    "exec 9>&-\n"
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

// A private folder for one installation, removed however it ends. It stays
// locked while in use, so that a sweep by another process leaves it alone.
struct WorkFolder
{
    QString path;
    int lock = -1;
    ~WorkFolder()
    {
        Bundle::removeTree(path);
        if (lock >= 0)
            ::close(lock);
    }

    void make(const QString &root)
    {
        QDir().mkpath(QFileInfo(root).absolutePath());
        if (::mkdir(QFile::encodeName(root).constData(), 0700) != 0 && errno != EEXIST)
            throw UpdateFailure{QStringLiteral("Impossible de préparer la mise à jour : ") + Bundle::systemError(errno) + QLatin1Char('.')};
        QByteArray pattern = QFile::encodeName(root + QStringLiteral("/update-XXXXXX"));
        if (!::mkdtemp(pattern.data())) // 0700
            throw UpdateFailure{QStringLiteral("Impossible de préparer la mise à jour : ") + Bundle::systemError(errno) + QLatin1Char('.')};
        path = QFile::decodeName(pattern);
        lock = ::open(pattern.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0)
            throw UpdateFailure{QStringLiteral("Impossible de préparer la mise à jour : ") + Bundle::systemError(errno) + QLatin1Char('.')};
    }
};

QString workRootOf(const QString &configured)
{
    return configured.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Ombry Voice")
        : configured;
}

// Off the main thread, at start: work folders of installations that ended
// without cleaning up (a crash, a power cut), and, when no installation or
// relaunch holds the bundle's lock, what one left beside the bundle.
void sweep(const QString &workRoot, const QString &bundle)
{
    const QDir root(workRoot);
    const QStringList stale = root.entryList({QStringLiteral("update-*")}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : stale) {
        const QString path = root.filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            Bundle::removeTree(path);
        ::close(fd);
    }
    if (bundle.isEmpty())
        return;
    std::unique_ptr<InstallLock> lock;
    try {
        lock = InstallLock::acquire(Updater::lockPath(bundle));
    } catch (const UpdateFailure &) {
        return; // busy: whoever holds it cleans up after itself
    }
    for (const QString &suffix : {kStagingSuffix, kFormerSuffix, kTrialSuffix, kFailedSuffix})
        Bundle::removeTree(Updater::besideBundle(bundle, suffix));
}

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
    QByteArray signature;
    QString work;
    QString bundle;
    QString executable;
    QByteArray publicKey;
    qint64 runningBuild = 0;
};

// Off the main thread: check the archive's signature, extract, verify, copy
// beside the installed bundle, verify the copy, swap. The former bundle is kept
// beside the new one for the relaunch to put back. The work folder is emptied
// before returning.
StageResult stage(const StageInput &in)
{
    StageResult out;
    const QString staging = Updater::besideBundle(in.bundle, kStagingSuffix);
    bool staged = false;
    try {
        // Nothing of an archive is unpacked before its signature holds.
        Bundle::verifyArchive(in.archive, in.signature, in.publicKey);
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
            const QString kept = Updater::besideBundle(in.bundle, kFormerSuffix);
            Bundle::removeTree(kept);
            const QString former = Bundle::swapIn(staging, in.bundle);
            staged = false;
            // Without the former bundle at hand the relaunch simply starts the new one.
            if (former != kept && ::rename(QFile::encodeName(former).constData(), QFile::encodeName(kept).constData()) != 0)
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
    if (!r->isFinished())
        co_await qCoro(r, &QNetworkReply::finished);
    take();
    idle.stop();
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

QCoro::Task<> Updater::install()
{
    if (!available_ || installing_)
        co_return;
    const Release release = *available_;
    QPointer<Updater> self(this);
    setInstalling(true);
    setError(QString());
    if (sweeping_.isRunning()) {
        // Its hold on the bundle's lock would read as another installation.
        QFuture<void> sweeping = sweeping_;
        co_await sweeping;
        if (!self)
            co_return;
    }

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
        work.make(workRootOf(setup_.workRoot));
        // Fixed names: nothing the feed says ever becomes part of a path.
        const QString archive = work.path + QStringLiteral("/paquet.tar.gz");
        const QString signaturePath = work.path + QStringLiteral("/paquet.sig");

        // The signature published beside the archive, first: an unsigned
        // release is not worth downloading.
        QUrl signatureUrl = *url;
        signatureUrl.setPath(url->path(QUrl::FullyEncoded) + QStringLiteral(".sig"), QUrl::TolerantMode);
        QCoro::Task<int> fetchingSignature = download(signatureUrl, signaturePath, kMaxSignatureDownload);
        const int signatureStatus = co_await std::move(fetchingSignature);
        if (!self)
            co_return;
        if (signatureStatus == 404 || signatureStatus == 410)
            throw UpdateFailure{kUnsigned, QStringLiteral("pas de signature à ") + signatureUrl.path()};
        if (signatureStatus != 200)
            throw UpdateFailure{kRefusedBySite};
        QFile signatureFile(signaturePath);
        if (!signatureFile.open(QIODevice::ReadOnly))
            throw UpdateFailure{QStringLiteral("Impossible d'enregistrer le téléchargement.")};
        const QByteArray signature = signatureFile.readAll();
        signatureFile.close();
        if (signature.isEmpty())
            throw UpdateFailure{kUnsigned, QStringLiteral("signature vide")};

        QCoro::Task<int> downloading = download(*url, archive, setup_.maxDownload);
        const int status = co_await std::move(downloading);
        if (!self)
            co_return;
        if (status != 200)
            throw UpdateFailure{kRefusedBySite};

        StageInput input{archive, signature, work.path, setup_.bundle, setup_.executable, setup_.publicKey,
                         setup_.runningBuild};
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
    if (!relaunch(printable(release.version), &why)) {
        // This copy keeps running; the new one starts at the next launch, with
        // nobody to watch it: the former bundle is of no more use.
        Bundle::removeTree(besideBundle(setup_.bundle, kFormerSuffix));
        Log::write(QStringLiteral("mise à jour : relance impossible (") + why
                   + QStringLiteral("), la nouvelle version démarrera au prochain lancement"));
        installedBuild_ = installed.build;
        setError(kNextStart);
        setInstalling(false);
    }
    // Otherwise `installing` stays true: the process is about to end.
}

bool Updater::relaunch(const QString &version, QString *why)
{
    QProcess helper;
    helper.setProgram(setup_.shell);
    helper.setArguments({QStringLiteral("-c"), kRelaunchScript, setup_.bundle + QLatin1Char('/') + setup_.executable,
                         QString::number(setup_.pid), setup_.bundle, QString::number(std::max(1, setup_.trialSeconds)),
                         version});
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
    return besideBundle(bundle, QStringLiteral(".verrou"));
}

QString Updater::besideBundle(const QString &bundle, const QString &suffix)
{
    const QFileInfo info(bundle);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + suffix;
}
