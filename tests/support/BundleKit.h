#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// Release bundles and archives made by tests, honest or crafted.
namespace BundleKit {

struct File
{
    QByteArray content;
    bool executable = false;
};

// Makes the folder `folder` (a bundle) holding Info.json and `files`.
bool make(const QString &folder, const QString &identifier, const QString &version, const QString &build,
          const QMap<QString, File> &files);

// A program for a bundle: a shell script that reports its start as healthy
// (removes the file named by OMBRY_UPDATE_TRIAL) and records it in the file
// named by OMBRY_TEST_MARK, "après" when the process whose id is in the file
// named by OMBRY_TEST_PIDFILE was gone by then, else "avant".
QByteArray markerProgram();

// One member of a crafted archive.
struct Member
{
    enum Type { File, Folder, SymbolicLink, HardLink, CharDevice, Fifo };
    QString name;
    Type type = File;
    QByteArray content;
    QString target;      // links
    int perm = 0644;
};

// A .tar.gz holding exactly `members`, in order.
QByteArray craft(const QList<Member> &members);
// The members of the bundle at `folder` (as ombry-sign packs it), under the name `top`.
QList<Member> membersOf(const QString &folder, const QString &top);
// The bundle at `folder` packed the way releases are.
QByteArray pack(const QString &folder);
// The signature published beside `archive`, made with `secretKey`.
QByteArray signatureOf(const QByteArray &archive, const QByteArray &secretKey);

// Every item under `folder` with its type, mode and content hash: two equal
// snapshots mean a byte-identical tree.
QMap<QString, QString> snapshot(const QString &folder);

} // namespace BundleKit
