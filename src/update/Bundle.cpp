#include "update/Bundle.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>

#include <archive.h>
#include <archive_entry.h>
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

namespace fs = std::filesystem;

namespace Bundle {

Refused::Refused(Kind kind, const QString &detail)
    : std::runtime_error(detail.toStdString())
    , kind_(kind)
    , detail_(detail)
{
}

namespace {

constexpr qint64 kMaxManifestBytes = 16 * 1024 * 1024;
constexpr qint64 kMaxInfoBytes = 64 * 1024;

[[noreturn]] void refuseSignature(const QString &detail)
{
    throw Refused(Refused::Kind::Signature, detail);
}

[[noreturn]] void refuseArchive(const QString &detail)
{
    throw Refused(Refused::Kind::Archive, detail);
}

[[noreturn]] void refuseFiles(const QString &what, int error)
{
    throw Refused(Refused::Kind::Files, what + QStringLiteral(" : ") + systemError(error));
}

fs::path nativePath(const QString &path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromNative(const fs::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

struct Fd
{
    int fd = -1;
    explicit Fd(int value = -1)
        : fd(value)
    {
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Reads a regular file (never through a symbolic link) of at most `limit` bytes.
std::optional<QByteArray> readRegular(const QString &path, qint64 limit)
{
    Fd file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit)
        return std::nullopt;
    QByteArray bytes;
    bytes.resize(qsizetype(info.st_size));
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        done += n;
    }
    return bytes;
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

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

// --- extraction -------------------------------------------------------------

struct ArchiveReader
{
    archive *handle = archive_read_new();
    ~ArchiveReader() { archive_read_free(handle); }
};

// Components of a member's name; "./" prefixes and doubled slashes dropped.
// Refuses absolute names and "..".
QList<QByteArray> memberComponents(const QByteArray &name)
{
    if (name.isEmpty())
        refuseArchive(QStringLiteral("membre sans nom"));
    if (name.startsWith('/'))
        refuseArchive(QStringLiteral("chemin absolu dans l'archive"));
    QList<QByteArray> parts;
    for (const QByteArray &part : name.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            refuseArchive(QStringLiteral("chemin remontant (« .. ») dans l'archive"));
        if (part.size() > 255)
            refuseArchive(QStringLiteral("nom trop long dans l'archive"));
        parts.append(part);
    }
    return parts;
}

// Opens (creating it when asked) the folder `name` inside `parent`, refusing to
// pass through anything that is not a real folder.
int openFolder(int parent, const QByteArray &name)
{
    if (::mkdirat(parent, name.constData(), 0755) != 0 && errno != EEXIST)
        return -1;
    return ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

qint64 parseBuild(const QJsonValue &value)
{
    if (value.isString()) {
        static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
        const QString text = value.toString();
        if (!digits.match(text).hasMatch())
            return 0;
        bool ok = false;
        const qint64 number = text.toLongLong(&ok, 10);
        return ok ? number : 0;
    }
    if (value.isDouble()) {
        // toInteger() falls back to its default unless the number is whole.
        const qint64 a = value.toInteger(0);
        const qint64 b = value.toInteger(1);
        return a == b ? a : 0;
    }
    return 0;
}

std::optional<Info> readInfo(const QString &folder)
{
    const std::optional<QByteArray> bytes = readRegular(folder + QLatin1Char('/') + kInfoFile, kMaxInfoBytes);
    if (!bytes)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    Info info;
    info.identifier = object.value(QStringLiteral("identifier")).toString();
    info.version = object.value(QStringLiteral("version")).toString();
    info.build = parseBuild(object.value(QStringLiteral("build")));
    return info;
}

QString bundleOf(const QString &executable)
{
    const QString folder = QFileInfo(executable).absolutePath();
    return QFileInfo(folder + QLatin1Char('/') + kInfoFile).isFile() ? folder : QString();
}

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

QStringList extract(const QString &archivePath, const QString &destination, const Limits &limits)
{
    Fd root(::open(QFile::encodeName(destination).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.fd < 0)
        refuseFiles(QStringLiteral("dossier de travail inaccessible"), errno);

    ArchiveReader reader;
    archive_read_support_filter_gzip(reader.handle);
    archive_read_support_format_tar(reader.handle);
    if (archive_read_open_filename(reader.handle, QFile::encodeName(archivePath).constData(), 64 * 1024) != ARCHIVE_OK)
        refuseArchive(QStringLiteral("archive illisible"));

    QStringList topLevel;
    int entries = 0;
    qint64 written = 0;
    std::unique_ptr<char[]> buffer(new char[64 * 1024]);
    archive_entry *entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.handle, &entry)) == ARCHIVE_OK) {
        if (++entries > limits.maxEntries)
            refuseArchive(QStringLiteral("archive trop grande (trop de membres)"));
        const char *utf8 = archive_entry_pathname_utf8(entry);
        const char *raw = archive_entry_pathname(entry);
        const QByteArray name = utf8 ? QByteArray(utf8) : QByteArray(raw ? raw : "");
        if (name.size() > limits.maxNameBytes)
            refuseArchive(QStringLiteral("chemin trop long dans l'archive"));
        const QList<QByteArray> parts = memberComponents(name);
        if (parts.size() > limits.maxDepth)
            refuseArchive(QStringLiteral("arborescence trop profonde dans l'archive"));
        if (archive_entry_hardlink(entry) || archive_entry_symlink(entry))
            refuseArchive(QStringLiteral("lien dans l'archive"));
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFLNK)
            refuseArchive(QStringLiteral("lien dans l'archive"));
        if (type != AE_IFDIR && type != AE_IFREG)
            refuseArchive(QStringLiteral("membre spécial (périphérique, tube…) dans l'archive"));
        if (parts.isEmpty()) {
            if (type == AE_IFDIR)
                continue; // "./" itself
            refuseArchive(QStringLiteral("membre sans nom"));
        }
        const QString top = QString::fromUtf8(parts.first());
        if (!topLevel.contains(top))
            topLevel.append(top);

        // Walk down the folders, making them, never through a link.
        auto folder = std::make_unique<Fd>(::dup(root.fd));
        const qsizetype folders = type == AE_IFDIR ? parts.size() : parts.size() - 1;
        for (qsizetype i = 0; i < folders; ++i) {
            auto next = std::make_unique<Fd>(openFolder(folder->fd, parts.at(i)));
            if (next->fd < 0)
                refuseArchive(QStringLiteral("arborescence incohérente dans l'archive"));
            folder = std::move(next);
        }
        if (type == AE_IFDIR)
            continue;

        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > limits.maxBytes - written)
            refuseArchive(QStringLiteral("archive trop grande"));
        const mode_t mode = (archive_entry_perm(entry) & 0111) ? 0755 : 0644;
        Fd file(::openat(folder->fd, parts.last().constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (file.fd < 0) {
            if (errno == EEXIST)
                refuseArchive(QStringLiteral("membre présent deux fois dans l'archive"));
            refuseFiles(QStringLiteral("extraction impossible"), errno);
        }
        for (;;) {
            const la_ssize_t n = archive_read_data(reader.handle, buffer.get(), 64 * 1024);
            if (n == 0)
                break;
            if (n < 0)
                refuseArchive(QStringLiteral("archive endommagée"));
            written += n;
            if (written > limits.maxBytes)
                refuseArchive(QStringLiteral("archive trop grande"));
            if (!writeAll(file.fd, buffer.get(), n))
                refuseFiles(QStringLiteral("extraction impossible"), errno);
        }
        // The umask must not take the executable bit away.
        ::fchmod(file.fd, mode);
    }
    if (status != ARCHIVE_EOF)
        refuseArchive(QStringLiteral("archive endommagée ou illisible"));
    return topLevel;
}

void pack(const QString &folder, const QString &archivePath)
{
    const QString top = QFileInfo(folder).fileName();
    archive *writer = archive_write_new();
    const auto done = qScopeGuard([writer] { archive_write_free(writer); });
    archive_write_add_filter_gzip(writer);
    archive_write_set_format_pax_restricted(writer);
    if (archive_write_open_filename(writer, QFile::encodeName(archivePath).constData()) != ARCHIVE_OK)
        refuseFiles(QStringLiteral("archive impossible à créer"), archive_errno(writer));

    QStringList folders{QString()};
    QStringList files;
    const fs::path root = nativePath(folder);
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        const QString relative = fromNative(it->path().lexically_relative(root));
        if (fs::is_directory(status))
            folders.append(relative);
        else if (fs::is_regular_file(status))
            files.append(relative);
        else
            refuseFiles(QStringLiteral("élément spécial dans le paquet : ") + relative, EINVAL);
    }
    if (error)
        refuseFiles(QStringLiteral("lecture du paquet impossible"), error.value());
    folders.sort();
    files.sort();

    auto add = [&](const QString &relative, bool isFolder) {
        const QString path = relative.isEmpty() ? folder : folder + QLatin1Char('/') + relative;
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            refuseFiles(QStringLiteral("lecture impossible : ") + relative, errno);
        archive_entry *entry = archive_entry_new();
        const auto freeEntry = qScopeGuard([entry] { archive_entry_free(entry); });
        const QString name = relative.isEmpty() ? top : top + QLatin1Char('/') + relative;
        archive_entry_set_pathname_utf8(entry, name.toUtf8().constData());
        archive_entry_set_filetype(entry, isFolder ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, (isFolder || (info.st_mode & S_IXUSR)) ? 0755 : 0644);
        archive_entry_set_size(entry, isFolder ? 0 : info.st_size);
        archive_entry_set_mtime(entry, info.st_mtime, 0);
        if (archive_write_header(writer, entry) != ARCHIVE_OK)
            refuseFiles(QStringLiteral("écriture de l'archive impossible"), archive_errno(writer));
        if (isFolder)
            return;
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            refuseFiles(QStringLiteral("lecture impossible : ") + relative, EIO);
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(64 * 1024);
            if (chunk.isEmpty() || archive_write_data(writer, chunk.constData(), size_t(chunk.size())) != chunk.size())
                refuseFiles(QStringLiteral("écriture de l'archive impossible"), EIO);
        }
    };
    for (const QString &relative : std::as_const(folders))
        add(relative, true);
    for (const QString &relative : std::as_const(files))
        add(relative, false);
    if (archive_write_close(writer) != ARCHIVE_OK)
        refuseFiles(QStringLiteral("écriture de l'archive impossible"), archive_errno(writer));
}

bool removeTree(const QString &path)
{
    if (path.isEmpty())
        return true;
    const QByteArray top = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(top.constData(), &info) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode))
        return ::unlink(top.constData()) == 0 || errno == ENOENT;

    // Depth first with one open folder: the way back up is "..", checked
    // against the device and inode remembered on the way down, so a folder
    // moved meanwhile stops the walk instead of sending it elsewhere.
    struct Level
    {
        dev_t device;
        ino_t inode;
        std::string name;             // in its parent
        std::vector<std::string> kept; // entries that could not be removed
    };
    Fd current(::open(top.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (current.fd < 0 || ::fstat(current.fd, &info) != 0)
        return false;
    std::vector<Level> levels{{info.st_dev, info.st_ino, {}, {}}};
    for (;;) {
        std::string child;
        {
            // A fresh descriptor each pass: reading starts over at the beginning.
            const int listing = ::openat(current.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            DIR *folder = listing >= 0 ? ::fdopendir(listing) : nullptr;
            if (!folder) {
                if (listing >= 0)
                    ::close(listing);
                return false;
            }
            std::vector<std::string> &kept = levels.back().kept;
            while (const dirent *entry = ::readdir(folder)) {
                const std::string name = entry->d_name;
                if (name == "." || name == ".." || std::find(kept.cbegin(), kept.cend(), name) != kept.cend())
                    continue;
                if (::unlinkat(current.fd, name.c_str(), 0) == 0)
                    continue;
                if (errno == EISDIR || errno == EPERM) {
                    if (::unlinkat(current.fd, name.c_str(), AT_REMOVEDIR) == 0)
                        continue;
                    if (errno == ENOTEMPTY || errno == EEXIST) {
                        child = name;
                        break;
                    }
                }
                if (errno != ENOENT)
                    kept.push_back(name);
            }
            ::closedir(folder);
        }
        if (!child.empty()) {
            const int next = ::openat(current.fd, child.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 || ::fstat(next, &info) != 0) {
                if (next >= 0)
                    ::close(next);
                levels.back().kept.push_back(child);
                continue;
            }
            ::close(current.fd);
            current.fd = next;
            levels.push_back({info.st_dev, info.st_ino, child, {}});
            continue;
        }
        if (levels.size() == 1)
            break;
        const std::string name = levels.back().name;
        const int parent = ::openat(current.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        levels.pop_back();
        if (parent < 0 || ::fstat(parent, &info) != 0 || info.st_dev != levels.back().device
            || info.st_ino != levels.back().inode) {
            if (parent >= 0)
                ::close(parent);
            return false;
        }
        ::close(current.fd);
        current.fd = parent;
        if (::unlinkat(current.fd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
            levels.back().kept.push_back(name);
    }
    ::close(current.fd);
    current.fd = -1;
    return ::rmdir(top.constData()) == 0 || errno == ENOENT;
}

void copyTree(const QString &from, const QString &to)
{
    const fs::path source = nativePath(from);
    const fs::path target = nativePath(to);
    if (::mkdir(target.c_str(), 0755) != 0)
        refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
    std::error_code error;
    for (fs::recursive_directory_iterator it(source, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        const fs::path destination = target / it->path().lexically_relative(source);
        if (fs::is_directory(status)) {
            if (::mkdir(destination.c_str(), 0755) != 0)
                refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
            continue;
        }
        if (!fs::is_regular_file(status))
            refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), EINVAL);
        const mode_t mode = (status.permissions() & fs::perms::owner_exec) != fs::perms::none ? 0755 : 0644;
        Fd in(::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        Fd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (in.fd < 0 || out.fd < 0)
            refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
            if (n == 0)
                break;
            if (!writeAll(out.fd, buffer, n))
                refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
        }
        ::fchmod(out.fd, mode);
        // A power cut after the swap must not leave a half-written program.
        if (::fsync(out.fd) != 0)
            refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), errno);
    }
    if (error)
        refuseFiles(QStringLiteral("copie de la nouvelle version impossible"), error.value());
}

QString swapIn(const QString &staging, const QString &target)
{
    const QByteArray from = QFile::encodeName(staging);
    const QByteArray to = QFile::encodeName(target);
    const QString parent = QFileInfo(target).absolutePath();
    const auto syncParent = [&parent] {
        Fd folder(::open(QFile::encodeName(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.fd >= 0)
            ::fsync(folder.fd);
    };
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0) {
        syncParent();
        return staging;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        refuseFiles(QStringLiteral("remplacement de l'appli impossible"), errno);

    // No atomic exchange here: move the old copy aside, then the new one in.
    const QString aside = parent + QStringLiteral("/.") + QFileInfo(target).fileName() + QStringLiteral(".ancien");
    removeTree(aside);
    const QByteArray asideName = QFile::encodeName(aside);
    if (::rename(to.constData(), asideName.constData()) != 0)
        refuseFiles(QStringLiteral("remplacement de l'appli impossible"), errno);
    if (::rename(from.constData(), to.constData()) != 0) {
        const int error = errno;
        ::rename(asideName.constData(), to.constData());
        refuseFiles(QStringLiteral("remplacement de l'appli impossible"), error);
    }
    syncParent();
    return aside;
}

QString systemError(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("permission refusée");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("plus assez d'espace disque");
    case EROFS:
        return QStringLiteral("système de fichiers en lecture seule");
    case ENOENT:
        return QStringLiteral("élément introuvable");
    case EEXIST:
        return QStringLiteral("un élément du même nom existe déjà");
    case EXDEV:
        return QStringLiteral("déplacement entre deux disques impossible");
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
        return QStringLiteral("type d'élément inattendu");
    case EIO:
        return QStringLiteral("erreur d'entrée-sortie");
    default:
        return QStringLiteral("erreur système %1").arg(error);
    }
}

} // namespace Bundle
