#include "platform/PortalKeyboard.h"

#include "core/Log.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint kKeyboard = 1;
// Until the user withdraws it in the desktop's settings.
constexpr uint kPersistUntilRevoked = 2;

QString pathOf(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

} // namespace

PortalKeyboard::PortalKeyboard(QDBusConnection bus, TokenStore tokens, QObject *parent)
    : QObject(parent), bus_(std::move(bus)), tokens_(std::move(tokens))
{
}

PortalKeyboard::~PortalKeyboard()
{
    if (!session_.isEmpty())
        bus_.send(QDBusMessage::createMethodCall(kService, session_, kSession, QStringLiteral("Close")));
}

void PortalKeyboard::start()
{
    if (step_ != Step::Idle && step_ != Step::Failed)
        return;
    if (!bus_.isConnected()) {
        fail(QStringLiteral("pas de bus de session"));
        return;
    }
    step_ = Step::Creating;
    const QString token = QStringLiteral("ombry%1").arg(QRandomGenerator::global()->generate());
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), QString(token + QStringLiteral("c")));
    options.insert(QStringLiteral("session_handle_token"), token);
    request(QStringLiteral("CreateSession"), {options}, token + QStringLiteral("c"));
}

void PortalKeyboard::request(const QString &method, const QVariantList &arguments, const QString &token)
{
    // The request's path is known before the call, so that a Response sent at
    // once is not missed.
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString expected = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    if (!requestPath_.isEmpty())
        bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                        SLOT(onResponse(uint, QVariantMap)));
    requestPath_ = expected;
    bus_.connect(kService, expected, kRequest, QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 10000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, method] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError()) {
            fail(method + QStringLiteral(" refusé (") + reply.error().message() + QStringLiteral(")"));
            return;
        }
        // An older portal names its own path for the request.
        const QString path = reply.value().path();
        if (path != requestPath_ && !path.isEmpty()) {
            bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                            SLOT(onResponse(uint, QVariantMap)));
            requestPath_ = path;
            bus_.connect(kService, path, kRequest, QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
        }
    });
}

void PortalKeyboard::onResponse(uint response, const QVariantMap &results)
{
    bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                    SLOT(onResponse(uint, QVariantMap)));
    requestPath_.clear();
    if (response != 0) {
        fail(response == 1 ? QStringLiteral("refusé par l'utilisateur") : QStringLiteral("interrompu par le portail"));
        return;
    }
    const QString token = QStringLiteral("ombry%1").arg(QRandomGenerator::global()->generate());
    switch (step_) {
    case Step::Creating: {
        session_ = pathOf(results.value(QStringLiteral("session_handle")));
        if (session_.isEmpty()) {
            fail(QStringLiteral("pas de session"));
            return;
        }
        bus_.connect(kService, session_, kSession, QStringLiteral("Closed"), this, SLOT(onClosed(QVariantMap)));
        QVariantMap options;
        options.insert(QStringLiteral("handle_token"), token);
        options.insert(QStringLiteral("types"), QVariant::fromValue(kKeyboard));
        options.insert(QStringLiteral("persist_mode"), QVariant::fromValue(kPersistUntilRevoked));
        const QString stored = tokens_.load ? tokens_.load() : QString();
        if (!stored.isEmpty())
            options.insert(QStringLiteral("restore_token"), stored);
        step_ = Step::Selecting;
        request(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(session_)), options}, token);
        return;
    }
    case Step::Selecting: {
        step_ = Step::Starting;
        QVariantMap options;
        options.insert(QStringLiteral("handle_token"), token);
        request(QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session_)), QString(), options}, token);
        return;
    }
    case Step::Starting: {
        // A token is good for one restore: the new one replaces it.
        const QString restore = results.value(QStringLiteral("restore_token")).toString();
        if (!restore.isEmpty() && tokens_.save)
            tokens_.save(restore);
        if (!(results.value(QStringLiteral("devices")).toUInt() & kKeyboard)) {
            fail(QStringLiteral("clavier non accordé"));
            return;
        }
        step_ = Step::Ready;
        ready_ = true;
        Log::write(QStringLiteral("frappe: session du portail RemoteDesktop ouverte"));
        Q_EMIT ready();
        return;
    }
    default:
        return;
    }
}

void PortalKeyboard::onClosed(const QVariantMap &)
{
    session_.clear();
    fail(QStringLiteral("session fermée"));
}

void PortalKeyboard::fail(const QString &why)
{
    ready_ = false;
    step_ = Step::Failed;
    Log::write(QStringLiteral("frappe: portail RemoteDesktop: ") + why);
    Q_EMIT failed(why);
}

bool PortalKeyboard::send(const QList<KeySteps::Step> &steps)
{
    if (!ready_ || steps.isEmpty())
        return false;
    // Messages of one connection arrive in the order sent.
    for (const KeySteps::Step &step : steps) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("NotifyKeyboardKeycode"));
        call << QVariant::fromValue(QDBusObjectPath(session_)) << QVariantMap() << int(step.code) << uint(step.down ? 1 : 0);
        if (!bus_.send(call))
            return false;
    }
    return true;
}
