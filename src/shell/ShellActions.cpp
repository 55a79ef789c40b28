#include "shell/ShellActions.h"

#include "shell/OmbryIcon.h"
#include "core/Log.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>

ShellActions::ShellActions(QObject *parent) : QObject(parent) {}

ShellActions::~ShellActions() = default;


QString ShellActions::version() const
{
    return QStringLiteral(OMBRY_VERSION);
}

QUrl ShellActions::icon() const
{
    static const QUrl url = [] {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        OmbryIcon::image(256, OmbryIcon::accent(), OmbryIcon::Glyph::Bubble).save(&buffer, "PNG");
        return QUrl(QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64()));
    }();
    return url;
}

void ShellActions::setEngine(QQmlEngine *engine)
{
    engine_ = engine;
}

void ShellActions::showWindow()
{
    Q_EMIT windowRequested();
}

void ShellActions::openSettings()
{
    Q_EMIT settingsRequested();
}

void ShellActions::showAbout()
{
    if (!about_) {
        QQmlEngine *engine = engine_.data();
        if (!engine)
            return;
        QQmlComponent component(engine, QUrl(QStringLiteral("qrc:/Ombry/AboutDialog.qml")));
        QObject *made = component.create();
        auto *window = qobject_cast<QQuickWindow *>(made);
        if (!window) {
            Log::write(QStringLiteral("fenêtre: à propos impossible (") + component.errorString().trimmed()
                       + QLatin1Char(')'));
            delete made;
            return;
        }
        about_.reset(window);
    }
    about_->show();
    about_->raise();
    about_->requestActivate();
}

void ShellActions::quit()
{
    const QString unsaved = unsavedCheck_ ? unsavedCheck_() : QString();
    if (!unsaved.isEmpty()) {
        Log::write(QStringLiteral("fermeture: suspendue, données non écrites"));
        setQuitWarning(unsaved);
        Q_EMIT windowRequested();
        return;
    }
    quitAnyway();
}

void ShellActions::quitAnyway()
{
    setQuitWarning({});
    // After the event that asked for it (a menu, a screen reader's call) is done.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void ShellActions::cancelQuit()
{
    setQuitWarning({});
}

void ShellActions::setQuitWarning(const QString &text)
{
    if (quitWarning_ == text)
        return;
    quitWarning_ = text;
    Q_EMIT quitWarningChanged();
}

QQuickWindow *ShellActions::aboutDialog() const
{
    return about_.get();
}

void ShellActions::closeDialogs()
{
    about_.reset();
}
