// ombry-sign: makes the release key pair, signs release bundles, checks them
// and packs them for the release feed.
#include "update/Bundle.h"
#include "update/ReleaseKey.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

void out(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
}

int failWith(const QString &line)
{
    std::fputs(qPrintable(QStringLiteral("ombry-sign : ") + line + QLatin1Char('\n')), stderr);
    return 1;
}

int usage()
{
    std::fputs(
        "usage :\n"
        "  ombry-sign keygen SECRET        nouvelle paire de clés ; la graine secrète va dans SECRET (droits 0600),\n"
        "                                  la clé publique (valeur de OMBRY_RELEASE_PUBLIC_KEY) est affichée\n"
        "  ombry-sign public SECRET        affiche la clé publique de SECRET\n"
        "  ombry-sign sign SECRET PAQUET   signe le dossier PAQUET (« Ombry Voice.app »)\n"
        "  ombry-sign verify PAQUET [CLÉ]  vérifie PAQUET avec CLÉ (hex), sinon avec la clé de ce programme\n"
        "  ombry-sign pack PAQUET ARCHIVE  écrit PAQUET dans l'archive .tar.gz ARCHIVE\n"
        "  ombry-sign sign-archive SECRET ARCHIVE\n"
        "                                  écrit ARCHIVE.sig, la signature à publier à côté de l'archive\n",
        stderr);
    return 2;
}

std::optional<Bundle::KeyPair> readSecret(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray seed = Bundle::keyFromHex(file.readAll());
    if (seed.isEmpty())
        return std::nullopt;
    return Bundle::keyPairFromSeed(seed);
}

int keygen(const QString &path)
{
    const QByteArray seed = Bundle::newKeyPair().secretKey.left(32); // libsodium keeps the seed first
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return failWith(QStringLiteral("impossible de créer « %1 » (existe-t-il déjà ?)").arg(path));
    const QByteArray text = seed.toHex() + '\n';
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    if (!written)
        return failWith(QStringLiteral("écriture de « %1 » impossible").arg(path));
    out(QString::fromLatin1(Bundle::keyPairFromSeed(seed).publicKey.toHex()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.first();
    try {
        if (command == QLatin1String("keygen") && args.size() == 2)
            return keygen(args.at(1));
        if (command == QLatin1String("public") && args.size() == 2) {
            const auto pair = readSecret(args.at(1));
            if (!pair)
                return failWith(QStringLiteral("clé secrète illisible : ") + args.at(1));
            out(QString::fromLatin1(pair->publicKey.toHex()));
            return 0;
        }
        if (command == QLatin1String("sign") && args.size() == 3) {
            const auto pair = readSecret(args.at(1));
            if (!pair)
                return failWith(QStringLiteral("clé secrète illisible : ") + args.at(1));
            Bundle::sign(args.at(2), pair->secretKey);
            out(QStringLiteral("signé : ") + args.at(2));
            return 0;
        }
        if (command == QLatin1String("verify") && (args.size() == 2 || args.size() == 3)) {
            const QByteArray key = args.size() == 3 ? Bundle::keyFromHex(args.at(2).toLatin1()) : ReleaseKey::publicKey();
            if (key.isEmpty())
                return failWith(args.size() == 3 ? QStringLiteral("clé publique illisible")
                                                 : QStringLiteral("ce programme a été construit sans clé de publication"));
            const Bundle::Info info = Bundle::verify(args.at(1), key);
            out(QStringLiteral("signature valide : %1 %2 (build %3)").arg(info.identifier, info.version).arg(info.build));
            return 0;
        }
        if (command == QLatin1String("sign-archive") && args.size() == 3) {
            const auto pair = readSecret(args.at(1));
            if (!pair)
                return failWith(QStringLiteral("clé secrète illisible : ") + args.at(1));
            const QByteArray signature = Bundle::signArchive(args.at(2), pair->secretKey);
            const QString path = args.at(2) + QStringLiteral(".sig");
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(signature) != signature.size()
                || !file.flush())
                return failWith(QStringLiteral("écriture de « %1 » impossible").arg(path));
            out(QStringLiteral("signature écrite : ") + path);
            return 0;
        }
        if (command == QLatin1String("pack") && args.size() == 3) {
            Bundle::pack(args.at(1), args.at(2));
            out(QStringLiteral("archive écrite : ") + args.at(2));
            return 0;
        }
    } catch (const Bundle::Refused &refused) {
        return failWith(refused.detail());
    }
    return usage();
}
