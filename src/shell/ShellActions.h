#pragma once

#include "core/Installed.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
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
    // The main window's entry points, handed in by the root.
    struct Window
    {
        std::function<void()> show;
        std::function<void()> showSettings;
        // Where the About dialog is made.
        std::function<QQmlEngine *()> engine;
    };

    // No default: QML must take the root's instance through create().
    explicit ShellActions(QObject *parent);
    ~ShellActions() override;

    // The program's own, installed by the application.
    static ShellActions *shared() { return Installed<ShellActions>::current(); }

    void setWindow(Window window) { window_ = std::move(window); }

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

private:
    Window window_;
    std::unique_ptr<QQuickWindow> about_;
};
