#include "shell/SingleInstance.h"

#include "dictation/HotkeyMonitor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusReply>

SingleInstance::SingleInstance(QDBusConnection bus, QObject *parent) : QObject(parent), bus_(std::move(bus)) {}

SingleInstance::~SingleInstance()
{
    if (served_)
        bus_.unregisterObject(QString::fromLatin1(kObjectPath));
    if (outcome_ == Outcome::Primary)
        bus_.unregisterService(QString::fromLatin1(kServiceName));
}

SingleInstance::Outcome SingleInstance::claim(int timeoutMs)
{
    if (!bus_.isConnected() || !bus_.interface())
        return outcome_ = Outcome::NoBus;
    const QString name = QString::fromLatin1(kServiceName);
    const QString path = QString::fromLatin1(kObjectPath);
    // Served before the name is taken: a launch that sees the name can call at once.
    served_ = bus_.registerObject(path, this, QDBusConnection::ExportAllSlots);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        name, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid())
        return outcome_ = Outcome::NoBus;
    if (reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return outcome_ = Outcome::Primary;

    if (served_) {
        bus_.unregisterObject(path);
        served_ = false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(name, path, QStringLiteral("org.freedesktop.Application"),
                                                       QStringLiteral("Activate"));
    call << platformData();
    // A copy that does not answer in time still owns the name: step aside anyway,
    // without claiming that its window is shown.
    const QDBusMessage answer = bus_.call(call, QDBus::Block, timeoutMs);
    return outcome_ = answer.type() == QDBusMessage::ReplyMessage ? Outcome::HandedOver : Outcome::Unanswered;
}

QVariantMap SingleInstance::platformData()
{
    QVariantMap data;
    const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    if (!startupId.isEmpty())
        data.insert(QStringLiteral("desktop-startup-id"), startupId);
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty())
        data.insert(QStringLiteral("activation-token"), token);
    return data;
}

void SingleInstance::Activate(const QVariantMap &platform_data)
{
    Q_EMIT activated(platform_data);
}

void SingleInstance::Open(const QStringList &uris, const QVariantMap &platform_data)
{
    Q_UNUSED(uris);
    Q_EMIT activated(platform_data);
}

void SingleInstance::ActivateAction(const QString &action_name, const QVariantList &parameter,
                                    const QVariantMap &platform_data)
{
    Q_UNUSED(parameter);
    Q_UNUSED(platform_data);
    if (HotkeyMonitor::actionNames().contains(action_name)) {
        Q_EMIT actionRequested(action_name);
        return;
    }
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("action inconnue : « %1 »").arg(action_name));
}

int SingleInstance::sendAction(QDBusConnection bus, const QString &name, QString *message, int timeoutMs)
{
    const auto say = [message](const QString &text, int status) {
        if (message)
            *message = text;
        return status;
    };
    if (!HotkeyMonitor::actionNames().contains(name))
        return say(QStringLiteral("action inconnue : « %1 » (actions : %2)")
                       .arg(name, HotkeyMonitor::actionNames().join(QStringLiteral(", "))),
                   2);
    if (!bus.isConnected() || !bus.interface())
        return say(QStringLiteral("pas de bus de session : Ombry Voice ne peut pas être joint"), 1);
    const QString service = QString::fromLatin1(kServiceName);
    if (!bus.interface()->isServiceRegistered(service).value())
        return say(QStringLiteral("Ombry Voice n'est pas lancé : l'action « %1 » n'a pas été transmise").arg(name), 1);
    QDBusMessage call = QDBusMessage::createMethodCall(service, QString::fromLatin1(kObjectPath),
                                                       QStringLiteral("org.freedesktop.Application"),
                                                       QStringLiteral("ActivateAction"));
    call.setAutoStartService(false);
    call << name << QVariantList() << platformData();
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return say(QStringLiteral("Ombry Voice n'a pas pris l'action « %1 » : %2").arg(name, reply.errorMessage()), 1);
    return say(QString(), 0);
}
