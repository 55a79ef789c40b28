#include "diagnostics/CommandLine.h"

#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"

#include <QCoreApplication>
#include <QFile>

#include <clocale>
#include <cstdio>
#include <locale.h>
#include <stdexcept>

namespace CommandLine {

const QList<Switch> &table()
{
    // Order matters: the first switch present with its values wins.
    static const QList<Switch> switches = {
        {"--chunktest", 1, Diagnostics::chunkTest},
        {"--update", 0, Diagnostics::update},
        {"--fasttest", 1, Diagnostics::fastTest},
        {"--calltest", 1, Diagnostics::callTest},
        {"--command", 2, Diagnostics::command},
        {"--translate", 1, Diagnostics::translate},
        {"--correct", 1, Diagnostics::correct},
        {"--test", 1, Diagnostics::onDeviceTest},
        {"--icon", 1, Diagnostics::icon},
        {"--snapshot", 1, Diagnostics::snapshot, true},
    };
    return switches;
}

QString usage()
{
    struct Help
    {
        const char *name;
        const char *values;
        const char *text;
    };
    static const Help help[] = {
        {"--chunktest", "FICHIER.wav", "transcrit un enregistrement par morceaux, comme une longue dictée"},
        {"--update", "", "cherche une mise à jour et l'installe"},
        {"--fasttest", "FICHIER.wav", "transcrit avec le modèle audio du cloud"},
        {"--calltest", "FICHIER.wav", "transcrit et traduit comme un segment d'appel"},
        {"--command", "CONSIGNE TEXTE", "applique une consigne vocale à un texte"},
        {"--translate", "TEXTE", "traduit un texte"},
        {"--correct", "TEXTE", "corrige un texte et explique les fautes"},
        {"--test", "FICHIER.wav", "transcrit avec la reconnaissance locale"},
        {"--icon", "DOSSIER", "écrit les icônes de l'application en PNG"},
        {"--snapshot", "DOSSIER", "écrit une image PNG de chaque page"},
    };
    const auto line = [](const QString &left, const QString &right) -> QString {
        return QStringLiteral("  ") + left.leftJustified(28) + right + QLatin1Char('\n');
    };
    QString text = QStringLiteral(
        "Usage : ombry-voice [option]\n\n"
        "Sans option, Ombry Voice démarre : maintiens la touche de dictée, parle, relâche.\n\n"
        "Options de diagnostic (le résultat s'affiche, puis le programme se termine) :\n");
    for (const Switch &entry : table()) {
        for (const Help &h : help) {
            if (qstrcmp(h.name, entry.name) == 0)
                text += line(QString::fromLatin1(h.name) + QLatin1Char(' ') + QString::fromUtf8(h.values),
                             QString::fromUtf8(h.text));
        }
    }
    text += QStringLiteral("\nPour les raccourcis du bureau (la copie lancée reçoit l'action) :\n");
    text += line(QStringLiteral("--action NOM"),
                 QStringLiteral("dictee-debut, dictee-fin, dictee-basculer, annuler, corriger, traduire, lire, recoller"));
    text += line(QStringLiteral("--help"), QStringLiteral("affiche cette aide"));
    return text;
}

std::optional<Match> find(const QStringList &arguments, const QList<Switch> &switches)
{
    for (const Switch &candidate : switches) {
        const qsizetype at = arguments.indexOf(QString::fromLatin1(candidate.name));
        if (at < 0 || at + candidate.values >= arguments.size())
            continue;
        return Match{&candidate, arguments.mid(at + 1, candidate.values)};
    }
    return std::nullopt;
}

bool examine(const QStringList &arguments, const Diagnostics::Program &program)
{
    const std::optional<Match> match = find(arguments);
    if (!match)
        return false;
    Diagnostics::runToEnd(match->which->run(match->values, program), program.store);
    return true;
}

} // namespace CommandLine

namespace Diagnostics {

OmbryAI::Access Program::access() const
{
    return OmbryAI::Access{settings, keys, store};
}

void print(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString seconds(double value)
{
    // printf's own rounding, with a point whatever the user's locale.
    static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    const locale_t previous = uselocale(c);
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    uselocale(previous);
    return QString::fromLatin1(text);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Impossible de lire le fichier « %1 »").arg(path).toStdString());
    return file.readAll();
}

QCoro::Task<> runToEnd(QCoro::Task<> work, Store *store)
{
    try {
        co_await std::move(work);
    } catch (const std::exception &error) {
        // Every failure of the engines carries its French text in what().
        print(QStringLiteral("erreur: ") + QString::fromUtf8(error.what()));
    } catch (...) {
        print(QStringLiteral("erreur: échec inconnu"));
    }
    // Spending records of the last calls are still queued for the main thread:
    // deliver them so that the flush writes them.
    QCoreApplication::sendPostedEvents();
    // Behind what the work queued for the main thread (a spending record, for
    // one), so that it is saved too.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [store] {
            store->flush();
            QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
}

} // namespace Diagnostics
