#pragma once

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
    // Set when a quit was asked while something of the user's could not be written:
    // what quitting now would lose. The window asks before quitting then.
    Q_PROPERTY(QString quitWarning READ quitWarning NOTIFY quitWarningChanged)

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
    // Quits, unless something of the user's could not be written (see
    // setUnsavedCheck): then the window is shown with quitWarning instead.
    Q_INVOKABLE void quit();
    // The quit once the user accepted the loss.
    Q_INVOKABLE void quitAnyway();
    Q_INVOKABLE void cancelQuit();
    QString quitWarning() const { return quitWarning_; }
    // Tries once more to write what waits, and says what would be lost by quitting
    // now ("" when nothing would).
    void setUnsavedCheck(std::function<QString()> check) { unsavedCheck_ = std::move(check); }

    QQuickWindow *aboutDialog() const;
    // Drops the dialogs before the QML engine goes.
    void closeDialogs();

Q_SIGNALS:
    // The main window's entry points, which the root connects.
    void windowRequested();
    void settingsRequested();
    void quitWarningChanged();

private:
    void setQuitWarning(const QString &text);

    QPointer<QQmlEngine> engine_;
    std::function<QString()> unsavedCheck_;
    QString quitWarning_;
    std::unique_ptr<QQuickWindow> about_;
};
