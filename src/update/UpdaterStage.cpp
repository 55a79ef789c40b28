// Off the main thread: the downloaded archive checked, unpacked and swapped in.

#include "update/Updater.h"

#include "update/Updater_p.h"
#include "update/Bundle.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace UpdaterDetail;

namespace {

const QString kNoApp = QStringLiteral("Le fichier téléchargé ne contient pas l'appli.");
const QString kNotNewer = QStringLiteral("La version téléchargée n'est pas plus récente que celle installée.");

} // namespace

StageResult UpdaterDetail::stage(const StageInput &in)
{
    StageResult out;
    const QString staging = Updater::besideBundle(in.bundle, kStagingSuffix);
    bool staged = false;
    bool unpacking = false;
    try {
        // Nothing of an archive is unpacked before its signature holds.
        Bundle::verifyArchive(in.archive, in.signature, in.publicKey);
        const QString content = in.work + QStringLiteral("/contenu");
        if (::mkdir(QFile::encodeName(content).constData(), 0700) != 0)
            throw Bundle::Refused(Bundle::Refused::Kind::Files, Bundle::systemError(errno));
        unpacking = true;
        const QStringList top = Bundle::extract(in.archive, content);
        unpacking = false;
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
            // An archive refused while it is unpacked says why, not that the
            // application is missing from it.
            out.failure = unpacking ? QStringLiteral("Le fichier téléchargé est refusé : ") + refused.detail() + QLatin1Char('.')
                                    : kNoApp;
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
