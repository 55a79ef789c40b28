#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class QQmlEngine;
class QQuickWindow;

// The commands that the tray, the window's menu bar, a second launch and the
// dictation controller's attention hook share: show the window, open the
// settings, the About dialog, quit.
class ShellActions : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString version READ version CONSTANT)
    // The application icon as an image source (256 px).
    Q_PROPERTY(QUrl icon READ icon CONSTANT)

public:
    // No default: QML takes the root's instance from the module's singleton factory.
    explicit ShellActions(QObject *parent);
    ~ShellActions() override;

    // Where the About dialog is made; without one there is no dialog.
    void setEngine(QQmlEngine *engine);

    QString version() const;
    QUrl icon() const;

    Q_INVOKABLE void showWindow();
    // The settings page, then the window (the attention hook, Ctrl+,).
    Q_INVOKABLE void openSettings();
    // The About dialog: name, version and icon.
    Q_INVOKABLE void showAbout();
    Q_INVOKABLE void quit();

    QQuickWindow *aboutDialog() const;
    // Drops the dialogs before the QML engine goes.
    void closeDialogs();

Q_SIGNALS:
    // The main window's entry points, which the root connects.
    void windowRequested();
    void settingsRequested();

private:
    QPointer<QQmlEngine> engine_;
    std::unique_ptr<QQuickWindow> about_;
};
