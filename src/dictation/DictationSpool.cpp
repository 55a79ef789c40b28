#include "dictation/DictationSpool.h"

#include "audio/MeetingSpool.h"
#include "dictation/ProcessingRoad.h"
#include "core/Log.h"
#include "model/Store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace {

const QString kPrefix = QStringLiteral("dictee-en-cours-");
constexpr double kShortest = 0.3; // as the controller drops a recording

// Moves the spool into the audio folder under `name`; false when it stays.
bool moveInto(Store *store, const QString &spool, const QString &name)
{
    const QString target = QDir(store->audioDir()).filePath(name);
    QFile::remove(target);
    return QFile::rename(spool, target) || (QFile::copy(spool, target) && QFile::remove(spool));
}

} // namespace

namespace DictationSpool {

QString path(const Store *store, const QUuid &id)
{
    return QDir(store->dataFolder()).filePath(kPrefix + Road::recordingName(id));
}

void release(Store *store, const QUuid &id)
{
    const QString file = path(store, id);
    if (!QFileInfo::exists(file))
        return;
    const QList<Dictation> &history = store->dictations();
    const bool named = std::any_of(history.cbegin(), history.cend(),
                                   [&](const Dictation &d) { return d.id == id && d.audioFile; });
    if (!named) {
        QFile::remove(file);
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(store, &Store::fileWritten, store, [file, connection](const QString &written) {
        if (written != QLatin1String("history.json"))
            return;
        QFile::remove(file);
        QObject::disconnect(*connection);
    });
}

int recover(Store *store)
{
    const QDir folder(store->dataFolder());
    const QStringList spools = folder.entryList({kPrefix + QStringLiteral("*.wav")}, QDir::Files);
    int made = 0;
    for (const QString &name : spools) {
        const QString file = folder.filePath(name);
        const QUuid id = QUuid::fromString(name.mid(kPrefix.size()).chopped(4));
        if (id.isNull())
            continue;
        const QList<Dictation> &history = store->dictations();
        const auto known = std::find_if(history.cbegin(), history.cend(), [&](const Dictation &d) { return d.id == id; });
        if (known != history.cend()) {
            // Saved before the end came; only a recording that did not make it is taken.
            if (known->audioFile && !store->audioURL(*known).isValid()) {
                MeetingSpool::repair(file);
                moveInto(store, file, *known->audioFile);
            }
            QFile::remove(file);
            continue;
        }
        const MeetingSpool::Left left = MeetingSpool::recover(file);
        if (left.seconds <= kShortest) {
            QFile::remove(file);
            continue;
        }
        const QString recording = Road::recordingName(id);
        if (!moveInto(store, file, recording)) {
            Log::write(QStringLiteral("dictée: enregistrement interrompu retrouvé mais impossible à ranger (") + name
                       + QLatin1Char(')'));
            continue;
        }
        store->add(Road::keptEntry(id, left.date, std::nullopt, left.seconds));
        Log::write(QStringLiteral("dictée: enregistrement interrompu retrouvé, %1 s, gardé sous %2")
                       .arg(QString::asprintf("%.2f", left.seconds), recording));
        ++made;
    }
    return made;
}

QString recoveredText(int count)
{
    if (count == 1)
        return QStringLiteral("Une dictée interrompue est gardée dans l'historique");
    return QString::number(count) + QStringLiteral(" dictées interrompues sont gardées dans l'historique");
}

} // namespace DictationSpool
