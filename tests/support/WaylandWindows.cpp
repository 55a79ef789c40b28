#include "support/WaylandWindows.h"

#include "support/TestEnv.h"

#include <QTemporaryFile>

namespace WaylandWindows {
namespace {

const QString kClient = QStringLiteral(OMBRY_TEST_BIN_DIR "/wayland_client");

} // namespace

bool session()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsEmpty("SWAYSOCK");
}

SeatKeyboard::SeatKeyboard()
{
    // wtype's own keyboard stays while it sleeps.
    process_.start(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("600000")});
    process_.waitForStarted(3000);
    // The compositor tells the clients of the new keyboard before it is used.
    QTest::qWait(300);
}

SeatKeyboard::~SeatKeyboard()
{
    process_.kill();
    process_.waitForFinished(2000);
}

bool SeatKeyboard::ok() const
{
    return process_.state() == QProcess::Running;
}

void Closer::operator()(QProcess *process) const
{
    process->kill();
    process->waitForFinished(2000);
    delete process;
}

Window serve(const QString &appId, bool primary, const QByteArray &text)
{
    QTemporaryFile file;
    if (!file.open() || file.write(text) != text.size() || !file.flush())
        return nullptr;
    Window process(new QProcess);
    process->start(kClient, {appId, QStringLiteral("serve"), primary ? QStringLiteral("primary") : QStringLiteral("clipboard"),
                             file.fileName()});
    const bool ready = TestEnv::waitFor([&] { return process->canReadLine() || process->state() == QProcess::NotRunning; }, 5000)
                       && process->readLine().trimmed() == "ready";
    if (!ready)
        return nullptr;
    return process;
}

Window start(const QString &program, const QStringList &arguments)
{
    Window process(new QProcess);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, arguments);
    process->waitForStarted(5000);
    return process;
}

Window show(const QString &appId)
{
    return start(kClient, {appId, QStringLiteral("show")});
}

std::optional<QByteArray> read(const QString &appId, bool primary)
{
    QProcess process;
    process.start(kClient, {appId, QStringLiteral("read"), primary ? QStringLiteral("primary") : QStringLiteral("clipboard")});
    if (!TestEnv::waitFor([&] { return process.state() == QProcess::NotRunning; }, 8000)) {
        process.kill();
        process.waitForFinished(2000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

} // namespace WaylandWindows
