#pragma once

#include "shell/Navigation.h"

#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <memory>
#include <optional>

class Defaults;
class InterfaceKeys;
class QQmlComponent;
class QQmlEngine;
class QQuickItem;
class QQuickWindow;
class QTimer;
class Store;

// The main window: made once on first show and kept; closing it hides it and
// drops its view tree on the next turn of the event loop (the page stays in
// Navigation); showing it again rebuilds the content. Its frame is kept in the
// defaults store and restored when it still lies on a connected screen.
class MainWindow final : public QObject
{
    Q_OBJECT

public:
    static constexpr QSize kDefaultSize{1100, 760};
    // What the main view needs with the menu bar above it, before the content
    // exists to say so (placement of a saved frame).
    static constexpr QSize kMinimumSize{1000, 680};
    static constexpr const char *kFrameKey = "MurelMain";

    // `frames` keeps the window's frame; `data` tells whether the user already
    // dictated, which marks `keys` onboarded.
    MainWindow(QQmlEngine *engine, Defaults &frames, Store *data, Navigation *navigation, InterfaceKeys *keys,
               QObject *parent = nullptr);
    ~MainWindow() override;

    // Shows the window, building it or its content when missing, and brings it
    // to the front. Showing it twice keeps the view tree.
    void show();
    // Shows the window on `page` (the tray's entries, the settings action).
    void showPage(Navigation::Page page);

    QQuickWindow *window() const;
    // The view tree; null while the window is closed.
    QQuickItem *content() const;

    // Where the window goes: the saved frame when its top edge lies on one of
    // `screens` (available areas), its size kept between `minimum` and that
    // screen; otherwise `size` (or the saved size) centred on `primary`.
    static QRect placement(const std::optional<QRect> &saved, const QList<QRect> &screens, const QRect &primary,
                           QSize size = kDefaultSize, QSize minimum = kMinimumSize);
    static std::optional<QRect> frameFrom(const QJsonValue &value);
    static QJsonValue frameValue(const QRect &frame);

    // Builds a main view (the QML root) into `parent`; null with the errors logged.
    static QQuickItem *createView(QQmlEngine *engine, QQuickItem *parent, bool scrolls);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    void contentBuilt();
    void contentDropped();

private:
    void makeWindow();
    void buildContent();
    void dropContent();
    void saveFrame();

    QQmlEngine *engine_;
    Defaults &store_;
    Store *data_;
    Navigation *navigation_;
    InterfaceKeys *keys_;
    std::unique_ptr<QQuickWindow> window_;
    QPointer<QQuickItem> content_;
    QTimer *saveTimer_ = nullptr;
    // Bumped by every show, so that a drop queued by an earlier close is void.
    quint64 generation_ = 0;
};
