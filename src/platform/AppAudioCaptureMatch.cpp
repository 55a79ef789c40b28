#include "platform/AppAudioCapture.h"

#include <QFile>
#include <QFileInfo>

namespace CaptureMatch {

qint64 parentPid(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // "pid (comm) state ppid …": comm may hold blanks and parentheses.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : 0;
}

bool isSpeechDispatcher(const PlaybackStream &stream)
{
    const QString binary = QFileInfo(stream.binary).fileName().toLower();
    return binary.startsWith(QLatin1String("speech-dispatcher")) || binary.startsWith(QLatin1String("sd_"))
           || stream.appName.contains(QLatin1String("speech-dispatcher"), Qt::CaseInsensitive);
}

namespace {

bool isAncestorOrSelf(qint64 pid, const QList<qint64> &owners, qint64 ownPid,
                      const std::function<qint64(qint64)> &parentOf)
{
    // Bounded: a broken table must not loop.
    for (int depth = 0; pid > 1 && depth < 32; ++depth) {
        if (owners.contains(pid))
            return true;
        if (pid == ownPid)
            return false;
        pid = parentOf(pid);
    }
    return false;
}

} // namespace

bool matches(const PlaybackStream &stream, const CaptureTarget &target, qint64 ownPid,
             const std::function<qint64(qint64)> &parentOf)
{
    if (stream.pid != 0 && stream.pid == ownPid)
        return false;
    if (!target.bundleId)
        return !isSpeechDispatcher(stream);
    if (stream.pid > 1 && isAncestorOrSelf(stream.pid, target.pids, ownPid, parentOf))
        return true;
    QStringList names;
    for (const QString &n : target.names) {
        if (!n.isEmpty())
            names << n.toLower();
    }
    names << target.bundleId->toLower();
    const QString binary = QFileInfo(stream.binary).fileName().toLower();
    if (!binary.isEmpty() && names.contains(binary))
        return true;
    if (!stream.appName.isEmpty() && names.contains(stream.appName.toLower()))
        return true;
    return !stream.appId.isEmpty() && names.contains(stream.appId.toLower());
}

} // namespace CaptureMatch
