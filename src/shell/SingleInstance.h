#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QVariantMap>

// One running copy per session: the first owns the session-bus name and serves
// org.freedesktop.Application; a later launch asks it to show its window and
// steps aside, so that two copies never both record and paste a dictation.
class SingleInstance final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    static constexpr const char *kServiceName = "com.corvanel.ombryvoice";
    static constexpr const char *kObjectPath = "/com/corvanel/ombryvoice";

    enum class Outcome {
        Primary,    // this copy owns the name and serves activations
        HandedOver, // another copy runs and showed its window
        Unanswered, // the name is held, but its owner did not answer the activation
        NoBus,      // no session bus: runs on its own
    };

    explicit SingleInstance(QDBusConnection bus, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Serves the interface, then asks for the name (never queued); when another
    // copy owns it, asks that copy to activate, waiting at most `timeoutMs`.
    Outcome claim(int timeoutMs = 1500);
    Outcome outcome() const { return outcome_; }

    // What the launch hands to the running copy: its startup notification id.
    static QVariantMap platformData();

    // Hands one of the program's actions (HotkeyMonitor::actionNames()) to the
    // running copy, which is never started for it. 0 when it took it; otherwise
    // a status and, in `message`, what went wrong, in French.
    static int sendAction(QDBusConnection bus, const QString &name, QString *message, int timeoutMs = 3000);

public Q_SLOTS:
    // org.freedesktop.Application
    void Activate(const QVariantMap &platform_data);
    void Open(const QStringList &uris, const QVariantMap &platform_data);
    void ActivateAction(const QString &action_name, const QVariantList &parameter, const QVariantMap &platform_data);

Q_SIGNALS:
    // Another launch asked for the window.
    void activated(const QVariantMap &platformData);
    // One of the program's actions, by name (known to HotkeyMonitor).
    void actionRequested(const QString &name);

private:
    QDBusConnection bus_;
    Outcome outcome_ = Outcome::NoBus;
    bool served_ = false;
};
