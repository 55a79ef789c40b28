#include "support/SoundServer.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <csignal>
#include <sys/stat.h>
#include <utility>

namespace {

bool pactl(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString pidFile()
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pulse/pid");
}

} // namespace

SoundServer::~SoundServer()
{
    if (!command_.isEmpty())
        restart();
}

bool SoundServer::answers()
{
    return pactl({QStringLiteral("info")});
}

bool SoundServer::stop()
{
    const qint64 pid = TestEnv::readFile(pidFile()).trimmed().toLongLong();
    if (pid <= 0)
        return false;
    const QByteArray argv = TestEnv::readFile(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (argv.isEmpty())
        return false;
    QStringList command;
    for (const QByteArray &arg : argv.split('\0'))
        if (!arg.isEmpty())
            command << QString::fromLocal8Bit(arg);
    if (::kill(pid_t(pid), SIGTERM) != 0)
        return false;
    command_ = command;
    return TestEnv::waitFor([pid] { return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)); }, 10000)
        && !answers();
}

bool SoundServer::restart()
{
    if (command_.isEmpty())
        return answers();
    const QStringList command = std::exchange(command_, {});
    // The daemon forks and its first process returns once the server runs.
    if (QProcess::execute(command.first(), command.mid(1)) != 0)
        return false;
    if (!TestEnv::waitFor([] { return answers(); }, 10000))
        return false;
    // As scripts/session does: the pipe source is loaded once the server runs.
    bool ok = pactl({QStringLiteral("set-default-sink"), QStringLiteral("vsink")});
    const QString fifo = qEnvironmentVariable("OMBRY_TEST_MIC_FIFO");
    if (!fifo.isEmpty()) {
        if (!QFileInfo::exists(fifo))
            ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
        ok = pactl({QStringLiteral("load-module"), QStringLiteral("module-pipe-source"),
                    QStringLiteral("source_name=pipemic"), QStringLiteral("file=") + fifo,
                    QStringLiteral("format=s16le"), QStringLiteral("rate=16000"), QStringLiteral("channels=1")})
            && ok;
    }
    return pactl({QStringLiteral("set-default-source"), QStringLiteral("vmic")}) && ok;
}
