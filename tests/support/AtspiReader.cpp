#include "support/AtspiReader.h"

#include "support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
};

Run query(const QStringList &args, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    Run run;
    // A blocking loop that wakes on every bus message: our own windows answer
    // the helper's calls at once, instead of at the next turn of a sleeping poll.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QByteArray out;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop,
                     [&] { out += process.readAllStandardOutput(); });
    process.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/atspi_query"), args);
    deadline.start(timeoutMs);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        return run;
    }
    out += process.readAllStandardOutput();
    if (process.error() == QProcess::FailedToStart)
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = out;
    return run;
}

QStringList strings(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &v : value.toArray())
        list << v.toString();
    return list;
}

} // namespace

AtspiReader::AtspiReader(QString title, qint64 pid) : title_(std::move(title)), pid_(pid) {}

QList<AtspiReader::Node> AtspiReader::nodes(int timeoutMs) const
{
    const Run run = query({QStringLiteral("dump"), QString::number(pid_), title_}, timeoutMs);
    QList<Node> list;
    if (run.status != 0)
        return list;
    for (const QJsonValue &v : QJsonDocument::fromJson(run.out).array()) {
        const QJsonObject o = v.toObject();
        Node n;
        n.path = o.value(QStringLiteral("path")).toString();
        n.role = o.value(QStringLiteral("role")).toString();
        n.name = o.value(QStringLiteral("name")).toString();
        n.description = o.value(QStringLiteral("description")).toString();
        n.text = o.value(QStringLiteral("text")).toString();
        n.actions = strings(o.value(QStringLiteral("actions")));
        n.states = strings(o.value(QStringLiteral("states")));
        n.extents = QRect(o.value(QStringLiteral("x")).toInt(), o.value(QStringLiteral("y")).toInt(),
                          o.value(QStringLiteral("width")).toInt(), o.value(QStringLiteral("height")).toInt());
        list << n;
    }
    return list;
}

bool AtspiReader::exists() const
{
    return !nodes().isEmpty();
}

std::optional<AtspiReader::Node> AtspiReader::find(const QString &role, const QString &name, int timeoutMs) const
{
    std::optional<Node> found;
    const auto look = [&] {
        for (const Node &n : nodes())
            if (n.showing() && (role.isEmpty() || n.role == role) && (name.isEmpty() || n.name == name)) {
                found = n;
                return true;
            }
        return false;
    };
    if (!look() && timeoutMs > 0)
        TestEnv::waitFor(look, timeoutMs);
    return found;
}

QList<AtspiReader::Node> AtspiReader::all(const QString &role) const
{
    QList<Node> list;
    for (const Node &n : nodes())
        if (n.role == role)
            list << n;
    return list;
}

QStringList AtspiReader::texts() const
{
    QStringList list;
    for (const Node &n : nodes()) {
        if (!n.showing())
            continue;
        if (!n.name.isEmpty())
            list << n.name;
        if (!n.text.isEmpty() && n.text != n.name)
            list << n.text;
    }
    return list;
}

QStringList AtspiReader::shownNames(const QString &role) const
{
    QStringList list;
    for (const Node &n : nodes())
        if (n.showing() && !n.name.isEmpty() && (role.isEmpty() || n.role == role))
            list << n.name;
    return list;
}

bool AtspiReader::press(const QString &name, const std::function<bool()> &done, int timeoutMs) const
{
    return act(QStringLiteral("push button"), name) && TestEnv::waitFor(done, timeoutMs);
}

bool AtspiReader::act(const QString &role, const QString &name, const QString &action) const
{
    const std::optional<Node> node = find(role, name);
    if (!node || node->actions.isEmpty())
        return false;
    const QString chosen = action.isEmpty() ? node->actions.first() : action;
    return query({QStringLiteral("action"), QString::number(pid_), title_, node->path, chosen}, 8000).status == 0;
}

bool AtspiReader::select(const Node &node, int start, int end) const
{
    return query({QStringLiteral("select"), QString::number(pid_), title_, node.path, QString::number(start),
                  QString::number(end)},
                 8000)
               .status
           == 0;
}

bool AtspiReader::act(const Node &node, const QString &action) const
{
    if (!node.actions.contains(action))
        return false;
    return query({QStringLiteral("action"), QString::number(pid_), title_, node.path, action}, 8000).status == 0;
}
