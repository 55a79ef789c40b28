#pragma once

#include "platform/KeySteps.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// The keyboard of a remote-desktop session of the desktop portal
// (org.freedesktop.portal.RemoteDesktop), which GNOME and KDE offer to Wayland
// programs: the user consents once in the portal's dialog, and the restore
// token kept from that session lets the next start skip the dialog.
class PortalKeyboard final : public QObject
{
    Q_OBJECT

public:
    // Where the restore token lives (the settings, above this layer).
    struct TokenStore
    {
        std::function<QString()> load;
        std::function<void(const QString &)> save;
    };

    PortalKeyboard(QDBusConnection bus, TokenStore tokens, QObject *parent = nullptr);
    ~PortalKeyboard() override;

    // Creates the session, asks for the keyboard and starts it; `ready` or
    // `failed` follows once the portal (and the user) answered.
    void start();
    // Whether the session is started with the keyboard granted.
    bool isReady() const { return ready_; }

    // Sends the steps in order; false before the session is ready.
    bool send(const QList<KeySteps::Step> &steps);

Q_SIGNALS:
    void ready();
    void failed(const QString &why);

private Q_SLOTS:
    void onResponse(uint response, const QVariantMap &results);
    void onClosed(const QVariantMap &details);

private:
    enum class Step { Idle, Creating, Selecting, Starting, Ready, Failed };
    // Calls `method` and waits for the Response of its request.
    void request(const QString &method, const QVariantList &arguments, const QString &token);
    void fail(const QString &why);

    QDBusConnection bus_;
    TokenStore tokens_;
    Step step_ = Step::Idle;
    bool ready_ = false;
    QString session_;
    QString requestPath_;
    int counter_ = 0;
};
