// The bundle's manifest and the signatures over it and over release archives.

#include "update/Bundle.h"

#include "update/Bundle_p.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Bundle {

using namespace Detail;

namespace {

constexpr qint64 kMaxManifestBytes = 16 * 1024 * 1024;

// A path as the manifest and the archive name it: components joined by "/",
// none empty, "." or "..", no control character.
bool safeRelative(const QString &path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return false;
    for (const QString &part : path.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return std::none_of(path.cbegin(), path.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// Every file under `folder`, by relative path, with its executable bit. Anything
// but plain files and folders is refused: a link could point anywhere.
QMap<QString, bool> walk(const QString &folder)
{
    QMap<QString, bool> files;
    const fs::path root = nativePath(folder);
    std::error_code error;
    const fs::file_status top = fs::symlink_status(root, error);
    if (error || !fs::is_directory(top))
        refuseSignature(QStringLiteral("le paquet n'est pas un dossier"));
    fs::recursive_directory_iterator it(root, fs::directory_options::none, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        if (error)
            break;
        const QString relative = fromNative(it->path().lexically_relative(root));
        if (fs::is_directory(status))
            continue;
        if (!fs::is_regular_file(status))
            refuseSignature(QStringLiteral("élément qui n'est ni un fichier ni un dossier : ") + relative);
        if (!safeRelative(relative))
            refuseSignature(QStringLiteral("nom de fichier refusé"));
        files.insert(relative, (status.permissions() & fs::perms::owner_exec) != fs::perms::none);
    }
    // Not a signature fault: the file system failed us.
    if (error)
        refuseFiles(QStringLiteral("lecture du paquet impossible"), error.value());
    return files;
}

bool isLowerHex(const QString &text, qsizetype length)
{
    return text.size() == length && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
               return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
           });
}

struct Listed
{
    QString sha256;
    bool executable = false;
};

QMap<QString, Listed> parseManifest(const QByteArray &bytes)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        refuseSignature(QStringLiteral("manifeste illisible"));
    const QJsonValue files = document.object().value(QStringLiteral("files"));
    if (!files.isArray())
        refuseSignature(QStringLiteral("manifeste illisible"));
    QMap<QString, Listed> listed;
    for (const QJsonValue &value : files.toArray()) {
        const QJsonObject file = value.toObject();
        const QJsonValue path = file.value(QStringLiteral("path"));
        const QJsonValue hash = file.value(QStringLiteral("sha256"));
        const QJsonValue executable = file.value(QStringLiteral("executable"));
        if (!value.isObject() || !path.isString() || !hash.isString() || !executable.isBool())
            refuseSignature(QStringLiteral("manifeste illisible"));
        const QString name = path.toString();
        if (!safeRelative(name) || name == kManifestFile || name == kSignatureFile || listed.contains(name)
            || !isLowerHex(hash.toString(), 64))
            refuseSignature(QStringLiteral("manifeste illisible"));
        listed.insert(name, Listed{hash.toString(), executable.toBool()});
    }
    return listed;
}

bool acceptedIdentifier(const QString &identifier)
{
    return identifier == kIdentifier || identifier == kFormerIdentifier;
}

QByteArray publicKeyOf(const QByteArray &secretKey)
{
    QByteArray key(crypto_sign_PUBLICKEYBYTES, '\0');
    crypto_sign_ed25519_sk_to_pk(reinterpret_cast<unsigned char *>(key.data()),
                                 reinterpret_cast<const unsigned char *>(secretKey.constData()));
    return key;
}

void ensureSodium()
{
    if (sodium_init() < 0)
        refuseSignature(QStringLiteral("bibliothèque de signatures indisponible"));
}

} // namespace

QByteArray keyFromHex(const QByteArray &hex)
{
    const QByteArray trimmed = hex.trimmed();
    if (trimmed.size() != 64)
        return {};
    for (const char c : trimmed) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
    }
    return QByteArray::fromHex(trimmed);
}

KeyPair keyPairFromSeed(const QByteArray &seed)
{
    ensureSodium();
    if (seed.size() != crypto_sign_SEEDBYTES)
        return {};
    KeyPair pair;
    pair.secretKey.resize(crypto_sign_SECRETKEYBYTES);
    pair.publicKey.resize(crypto_sign_PUBLICKEYBYTES);
    crypto_sign_seed_keypair(reinterpret_cast<unsigned char *>(pair.publicKey.data()),
                             reinterpret_cast<unsigned char *>(pair.secretKey.data()),
                             reinterpret_cast<const unsigned char *>(seed.constData()));
    return pair;
}

KeyPair newKeyPair()
{
    ensureSodium();
    QByteArray seed(crypto_sign_SEEDBYTES, '\0');
    randombytes_buf(seed.data(), size_t(seed.size()));
    KeyPair pair = keyPairFromSeed(seed);
    sodium_memzero(seed.data(), size_t(seed.size()));
    return pair;
}

namespace {

// Feeds the archive's bytes to an Ed25519ph state, piece by piece.
void hashArchive(crypto_sign_state *state, const QString &archive)
{
    Fd file(::open(QFile::encodeName(archive).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0)
        refuseFiles(QStringLiteral("lecture de l'archive impossible"), errno);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[64 * 1024]);
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer.get(), 64 * 1024);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            refuseFiles(QStringLiteral("lecture de l'archive impossible"), errno);
        if (n == 0)
            break;
        crypto_sign_update(state, buffer.get(), quint64(n));
    }
}

} // namespace

QByteArray signArchive(const QString &archive, const QByteArray &secretKey)
{
    ensureSodium();
    if (secretKey.size() != crypto_sign_SECRETKEYBYTES)
        refuseSignature(QStringLiteral("clé secrète invalide"));
    crypto_sign_state state;
    crypto_sign_init(&state);
    hashArchive(&state, archive);
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_final_create(&state, reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                             reinterpret_cast<const unsigned char *>(secretKey.constData()));
    return signature;
}

void verifyArchive(const QString &archive, const QByteArray &signature, const QByteArray &publicKey)
{
    static_assert(kArchiveSignatureBytes == crypto_sign_BYTES);
    ensureSodium();
    if (publicKey.size() != crypto_sign_PUBLICKEYBYTES)
        refuseSignature(QStringLiteral("aucune clé de publication dans ce programme"));
    if (signature.size() != crypto_sign_BYTES)
        refuseSignature(QStringLiteral("signature de l'archive mal formée"));
    crypto_sign_state state;
    crypto_sign_init(&state);
    hashArchive(&state, archive);
    QByteArray copy = signature; // final_verify wants a writable buffer
    if (crypto_sign_final_verify(&state, reinterpret_cast<unsigned char *>(copy.data()),
                                 reinterpret_cast<const unsigned char *>(publicKey.constData()))
        != 0)
        refuseSignature(QStringLiteral("signature de l'archive refusée par la clé de publication"));
}

QByteArray sha256(const QString &file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&in))
        return {};
    return hash.result().toHex();
}

void sign(const QString &folder, const QByteArray &secretKey)
{
    ensureSodium();
    if (secretKey.size() != crypto_sign_SECRETKEYBYTES)
        refuseSignature(QStringLiteral("clé secrète invalide"));
    const std::optional<Info> info = readInfo(folder);
    if (!info)
        refuseSignature(QStringLiteral("Info.json absent ou illisible"));
    if (!acceptedIdentifier(info->identifier))
        refuseSignature(QStringLiteral("identifiant inconnu : ") + info->identifier);
    if (info->version.isEmpty() || info->build <= 0)
        refuseSignature(QStringLiteral("Info.json doit donner une version et un numéro de build positif"));

    const QString manifestPath = folder + QLatin1Char('/') + kManifestFile;
    const QString signaturePath = folder + QLatin1Char('/') + kSignatureFile;
    QFile::remove(manifestPath);
    QFile::remove(signaturePath);

    QJsonArray files;
    const QMap<QString, bool> found = walk(folder);
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        const QByteArray hash = sha256(folder + QLatin1Char('/') + it.key());
        if (hash.isEmpty())
            refuseSignature(QStringLiteral("lecture impossible : ") + it.key());
        files.append(QJsonObject{{QStringLiteral("path"), it.key()},
                                 {QStringLiteral("sha256"), QString::fromLatin1(hash)},
                                 {QStringLiteral("executable"), it.value()}});
    }
    const QByteArray manifest = QJsonDocument(QJsonObject{{QStringLiteral("files"), files}}).toJson(QJsonDocument::Indented);
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(manifest.constData()), quint64(manifest.size()),
                         reinterpret_cast<const unsigned char *>(secretKey.constData()));

    std::error_code error;
    fs::create_directories(nativePath(folder + QStringLiteral("/_CodeSignature")), error);
    QFile manifestOut(manifestPath);
    QFile signatureOut(signaturePath);
    if (error || !manifestOut.open(QIODevice::WriteOnly | QIODevice::NewOnly) || manifestOut.write(manifest) != manifest.size()
        || !signatureOut.open(QIODevice::WriteOnly | QIODevice::NewOnly) || signatureOut.write(signature) != signature.size())
        refuseSignature(QStringLiteral("écriture de la signature impossible"));
    manifestOut.close();
    signatureOut.close();
    // What was just written must pass the check that installs will make.
    verify(folder, publicKeyOf(secretKey));
}

Info verify(const QString &folder, const QByteArray &publicKey)
{
    ensureSodium();
    if (publicKey.size() != crypto_sign_PUBLICKEYBYTES)
        refuseSignature(QStringLiteral("aucune clé de publication dans ce programme"));
    const QMap<QString, bool> present = walk(folder);
    const std::optional<QByteArray> manifest = readRegular(folder + QLatin1Char('/') + kManifestFile, kMaxManifestBytes);
    const std::optional<QByteArray> signature = readRegular(folder + QLatin1Char('/') + kSignatureFile, crypto_sign_BYTES);
    if (!manifest || !signature || signature->size() != crypto_sign_BYTES)
        refuseSignature(QStringLiteral("paquet non signé"));
    if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature->constData()),
                                    reinterpret_cast<const unsigned char *>(manifest->constData()),
                                    quint64(manifest->size()),
                                    reinterpret_cast<const unsigned char *>(publicKey.constData()))
        != 0)
        refuseSignature(QStringLiteral("signature refusée par la clé de publication"));

    const QMap<QString, Listed> listed = parseManifest(*manifest);
    for (auto it = present.cbegin(); it != present.cend(); ++it) {
        if (it.key() == kManifestFile || it.key() == kSignatureFile)
            continue;
        if (!listed.contains(it.key()))
            refuseSignature(QStringLiteral("fichier non signé : ") + it.key());
    }
    for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
        if (!present.contains(it.key()))
            refuseSignature(QStringLiteral("fichier absent : ") + it.key());
        if (present.value(it.key()) != it->executable)
            refuseSignature(QStringLiteral("droits d'exécution modifiés : ") + it.key());
        if (QString::fromLatin1(sha256(folder + QLatin1Char('/') + it.key())) != it->sha256)
            refuseSignature(QStringLiteral("contenu modifié : ") + it.key());
    }
    if (!listed.contains(kInfoFile))
        refuseSignature(QStringLiteral("Info.json absent"));
    const std::optional<Info> info = readInfo(folder);
    if (!info)
        refuseSignature(QStringLiteral("Info.json illisible"));
    if (!acceptedIdentifier(info->identifier))
        refuseSignature(QStringLiteral("identifiant inconnu"));
    if (info->build <= 0)
        refuseSignature(QStringLiteral("numéro de build illisible"));
    return *info;
}

} // namespace Bundle
