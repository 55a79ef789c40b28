#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

// The desktop's global shortcuts portal (org.freedesktop.portal.GlobalShortcuts):
// one session, our shortcuts bound once with the triggers we would like (the
// desktop may ask the user and choose others), then their presses and releases.
class PortalShortcuts final : public QObject
{
    Q_OBJECT

public:
    struct Shortcut
    {
        QString id;
        QString description;
        QString trigger; // as the portal writes triggers ("CTRL+ALT+r"), may be empty
    };

    // A key of the program's vocabulary (KeyTable) as the portal writes
    // triggers: "CTRL+ALT+r", "Control_R" for a modifier alone.
    static QString trigger(quint16 key, quint64 flags);

    explicit PortalShortcuts(QDBusConnection bus, QObject *parent = nullptr);
    ~PortalShortcuts() override;

    // Creates the session and binds the shortcuts (once per session).
    void start(const QList<Shortcut> &shortcuts);
    bool bound() const { return bound_; }
    // What the desktop says triggers each bound shortcut, by id.
    QVariantMap triggers() const { return triggers_; }

Q_SIGNALS:
    void activated(const QString &id);
    void deactivated(const QString &id);
    // The shortcuts are bound (triggers() known) or could not be.
    void ready();
    void failed(const QString &why);

private Q_SLOTS:
    void sessionResponse(uint response, const QVariantMap &results);
    void bindResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusMessage &signal);
    void onDeactivated(const QDBusMessage &signal);

private:
    // Calls a method that answers through a Request object, whose Response goes to `slot`.
    bool request(const QString &method, const QVariantList &arguments, int optionsIndex, const char *slot);
    void fail(const QString &why);
    // The shortcut id of an Activated or Deactivated signal of our session.
    QString shortcutOf(const QDBusMessage &signal) const;

    QDBusConnection bus_;
    QList<Shortcut> shortcuts_;
    QString session_;
    QString requestPath_;
    const char *requestSlot_ = nullptr;
    bool bound_ = false;
    QVariantMap triggers_;
    int tokens_ = 0;
};
