#pragma once

// What the updater's source files share.

#include "update/Bundle.h"

#include <QByteArray>
#include <QString>

namespace UpdaterDetail {

inline const QString kBadSignature = QStringLiteral("La signature de la nouvelle version n'est pas valide.");

// Names beside the installed bundle.
inline const QString kFormerSuffix = QStringLiteral(".ancien");   // the bundle before the update
inline const QString kTrialSuffix = QStringLiteral(".essai");     // exists until the new build has started
inline const QString kRolledBackSuffix = QStringLiteral(".retour"); // the version that did not start
inline const QString kStagingSuffix = QStringLiteral(".nouveau");
inline const QString kFailedSuffix = QStringLiteral(".échec");

struct UpdateFailure
{
    QString message; // what the user sees
    QString detail = {};  // what the log adds
};

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
StageResult stage(const StageInput &in);

// Where installations make their work folders.
QString workRootOf(const QString &configured);

// Off the main thread, at start: work folders of installations that ended
// without cleaning up (a crash, a power cut), and, when no installation or
// relaunch holds the bundle's lock, what one left beside the bundle.
void sweep(const QString &workRoot, const QString &bundle);

} // namespace UpdaterDetail
