#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

// An installable copy of the program: a folder "Ombry Voice.app/" holding the
// executable, Info.json {identifier, version, build} beside it, and
// _CodeSignature/ with manifest.json (every other file's path, SHA-256 and
// executable bit) and manifest.sig (Ed25519 over manifest.json's bytes).
// Releases travel as a .tar.gz holding that folder at its top.
namespace Bundle {

inline const QString kInfoFile = QStringLiteral("Info.json");
inline const QString kManifestFile = QStringLiteral("_CodeSignature/manifest.json");
inline const QString kSignatureFile = QStringLiteral("_CodeSignature/manifest.sig");

// The application's identifier, and the former one a release may still carry.
inline const QString kIdentifier = QStringLiteral("com.corvanel.ombryvoice");
inline const QString kFormerIdentifier = QStringLiteral("com.corvanel.murel");

struct Info
{
    QString identifier;
    QString version;
    qint64 build = 0;
};

// Why a bundle or an archive was refused. `detail` is a short French reason for
// the log and the signing tool; what the user sees depends on `kind`.
class Refused : public std::runtime_error
{
public:
    enum class Kind {
        Archive,   // unreadable or unsafe archive, or no application in it
        Signature, // manifest, signature, identifier or files do not match
        Files,     // the file system refused a copy, a removal or a swap
    };
    Refused(Kind kind, const QString &detail);
    Kind kind() const { return kind_; }
    QString detail() const { return detail_; }

private:
    Kind kind_;
    QString detail_;
};

// A build number: a string of digits with an optional leading sign, or a whole
// JSON number. Anything else (missing, "1.2", " 12", out of range) is 0.
qint64 parseBuild(const QJsonValue &value);

// Info.json of the bundle at `folder`; nullopt when it is missing or not a JSON
// object (an unreadable build reads as 0, per parseBuild).
std::optional<Info> readInfo(const QString &folder);

// The folder holding `executable` when it is a bundle (has Info.json), else "".
QString bundleOf(const QString &executable);

// 64 hexadecimal digits → 32 bytes; empty for anything else.
QByteArray keyFromHex(const QByteArray &hex);

// Ed25519 key pair from a 32-byte seed: {secret key (64 bytes), public key (32)}.
struct KeyPair
{
    QByteArray secretKey;
    QByteArray publicKey;
};
KeyPair keyPairFromSeed(const QByteArray &seed);
KeyPair newKeyPair();

// Writes the manifest and its signature into the bundle at `folder` with the
// 64-byte `secretKey`. Throws Refused (Signature) when the folder holds anything
// but plain files and folders, or Info.json is missing or unusable.
void sign(const QString &folder, const QByteArray &secretKey);

// Checks the bundle at `folder` against the 32-byte `publicKey`: the signature
// over the manifest, exactly the listed files present with their SHA-256 and
// executable bit, nothing but plain files and folders, and Info.json naming one
// of the two identifiers. Returns its Info; throws Refused (Signature).
// An empty or malformed key refuses every bundle.
Info verify(const QString &folder, const QByteArray &publicKey);

// Limits of extract(): members, uncompressed bytes, folder depth and the
// length of one member's name. A crafted archive is refused as soon as one is
// passed, before it can fill the disk or take minutes to walk.
struct Limits
{
    int maxEntries = 20000;
    qint64 maxBytes = qint64(1) << 30;
    int maxDepth = 32;
    int maxNameBytes = 1024;
};

// Extracts the gzip-compressed tar at `archive` into the existing empty folder
// `destination`. Only folders and regular files are written, with modes 0755 or
// 0644; absolute paths, "..", symbolic and hard links, devices, fifos, a member
// written twice, or more than the limits allow are refused (Refused, Archive).
// Nothing is ever written outside `destination`; what was written before a
// refusal stays there for the caller to remove. Returns the top-level names in
// the order in which the archive first names them.
QStringList extract(const QString &archive, const QString &destination, const Limits &limits = {});

// Writes the bundle at `folder` as a .tar.gz with the folder's name at its top.
// Throws Refused (Files) when it cannot.
void pack(const QString &folder, const QString &archive);

// Removes `path` and, for a folder, everything inside it, never following a
// symbolic link. At most two folders are open at any time, so however deep the
// tree the walk cannot run out of file descriptors. True when nothing is left
// at `path`.
bool removeTree(const QString &path);

// Copies the tree at `from` (plain files and folders only) to `to`, which must
// not exist: folders 0755, files 0755 or 0644 after their executable bit, every
// file synced. Throws Refused (Files).
void copyTree(const QString &from, const QString &to);

// Puts the folder `staging` in the place of `target` in one rename where the
// file system allows it. Returns where the former `target` now lies (for the
// caller to remove). Throws Refused (Files); `target` is then unchanged.
QString swapIn(const QString &staging, const QString &target);

// The detached signature published beside a release archive: Ed25519 (in its
// pre-hashed form, so that the archive is read in pieces) over the archive's
// bytes, 64 bytes. signArchive() throws Refused (Files) when the file cannot be
// read; verifyArchive() throws Refused (Signature) when the signature does not
// match or the key is unusable, Refused (Files) when the file cannot be read.
inline constexpr int kArchiveSignatureBytes = 64;
QByteArray signArchive(const QString &archive, const QByteArray &secretKey);
void verifyArchive(const QString &archive, const QByteArray &signature, const QByteArray &publicKey);

// SHA-256 of a file's bytes, in lower-case hex; empty when it cannot be read.
QByteArray sha256(const QString &file);

// French wording of an errno value for failure messages.
QString systemError(int error);

} // namespace Bundle
