#include "TestEnv.h"

#include "core/Log.h"
#include "model/Store.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdlib>

namespace {

std::unique_ptr<QTemporaryDir> &homeDir()
{
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}

const char *const kFolders[][2] = {
    {"XDG_CONFIG_HOME", ".config"},
    {"XDG_DATA_HOME", ".local/share"},
    {"XDG_CACHE_HOME", ".cache"},
    {"XDG_STATE_HOME", ".local/state"},
};

// Port 9 (discard) on loopback: nothing listens, every request is refused at once.
const char *const kServices[] = {
    "OMBRY_OPENROUTER_URL", "OMBRY_DEEPGRAM_URL", "OMBRY_LANGUAGETOOL_URL",
    "OMBRY_LOCAL_LLM_URL",  "OMBRY_LOCAL_ASR_URL",
};

void pointAt(const QString &home)
{
    qputenv("HOME", QFile::encodeName(home));
    for (const auto &folder : kFolders) {
        const QString path = home + QLatin1Char('/') + QLatin1String(folder[1]);
        QDir().mkpath(path);
        qputenv(folder[0], QFile::encodeName(path));
    }
}

} // namespace

namespace TestEnv {

void isolate()
{
    homeDir() = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/ombry-test-XXXXXX"));
    pointAt(homeDir()->path());
    Log::setFolder(Store::folder());
    for (const char *name : kServices)
        qputenv(name, "http://127.0.0.1:9");
    qunsetenv("OMBRY_HOSTED_URL");
    qunsetenv("OMBRY_UPDATES_URL");
    qunsetenv("OPENROUTER_API_KEY");
    qunsetenv("DEEPGRAM_API_KEY");
    qunsetenv("OMBRY_TEST_ACCEPT_XTEST");
}

QString home()
{
    return homeDir() ? homeDir()->path() : QString();
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qSleep(5);
    }
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

SnapshotRun snapshot(const QString &folder, const std::optional<QString> &theme, const QString &home)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.remove(QStringLiteral("MUREL_THEME"));
    if (theme)
        env.insert(QStringLiteral("MUREL_THEME"), *theme);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home);
    process.start(QStringLiteral(OMBRY_BINARY), {QStringLiteral("--snapshot"), folder});
    SnapshotRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    return run;
}

} // namespace TestEnv

ScopedHome::ScopedHome()
    : dir_(QDir::tempPath() + QStringLiteral("/ombry-home-XXXXXX"))
{
    saved_.append({"HOME", qgetenv("HOME")});
    for (const auto &folder : kFolders)
        saved_.append({folder[0], qgetenv(folder[0])});
    pointAt(dir_.path());
}

ScopedHome::~ScopedHome()
{
    for (const auto &[name, value] : saved_)
        qputenv(name.constData(), value);
}
