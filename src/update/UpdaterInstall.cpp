// Installing a release: the bundle's lock, the work folder, the steps, the relaunch.

#include "update/Updater.h"

#include "update/Updater_p.h"
#include "update/Bundle.h"
#include "engines/EngineError.h"
#include "core/Log.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QtConcurrent>

#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace UpdaterDetail;

namespace {

const QString kNoLink = QStringLiteral("Lien de téléchargement absent.");
const QString kRefusedBySite = QStringLiteral("Téléchargement refusé par le site.");
const QString kNotBundle = QStringLiteral(
    "Cette copie d'Ombry Voice ne vient pas d'un paquet de publication : elle ne peut pas se mettre à jour elle-même.");
const QString kBusy = QStringLiteral("Une autre installation de la mise à jour est déjà en cours.");
const QString kUnsigned = QStringLiteral("Paquet refusé : non signé");
const QString kNextStart =
    QStringLiteral("La mise à jour est installée : elle sera utilisée au prochain démarrage d'Ombry Voice.");

constexpr qint64 kMaxSignatureDownload = 4096;

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

} // namespace

QString UpdaterDetail::workRootOf(const QString &configured)
{
    return configured.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Ombry Voice")
        : configured;
}

void UpdaterDetail::sweep(const QString &workRoot, const QString &bundle)
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
