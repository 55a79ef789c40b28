#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>

class QQmlEngine;
class QQuickItem;
class QQuickWindow;

// The result bubble: a floating panel near the pointer showing a result that
// could not be put back into the application (a translation of read-only text).
// It never takes the keyboard focus; it closes with its close button, a left
// click outside this program's windows, Escape in another application, or the
// next request. One bubble at most. Main thread.
class BubbleController : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The bubble is owned by the application")
    Q_PROPERTY(QString title READ title NOTIFY shown)
    Q_PROPERTY(QString original READ original NOTIFY shown)
    Q_PROPERTY(QString text READ text NOTIFY shown)
    Q_PROPERTY(bool visible READ visible NOTIFY visibleChanged)
    // Set by the copy button, for the rest of this bubble's life.
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)

public:
    static constexpr int Width = 380;
    static constexpr int MinHeight = 120;
    static constexpr int MaxHeight = 420;
    static constexpr int PointerGap = 18;
    static constexpr int ScreenMargin = 8;

    struct Request
    {
        QString title;
        QString original;
        QString text;
        bool operator==(const Request &) const = default;
    };

    // Its view is made in `engine` at the first bubble.
    explicit BubbleController(QQmlEngine *engine, QObject *parent = nullptr);
    ~BubbleController() override;

    // Replaces any bubble shown with this one, near the pointer.
    void show(const QString &title, const QString &original, const QString &text);
    // Removes the current bubble; nothing when none is shown.
    Q_INVOKABLE void close();
    // The copy button: the result onto the clipboard as plain text.
    Q_INVOKABLE void copy();

    QString title() const { return last_.title; }
    QString original() const { return last_.original; }
    QString text() const { return last_.text; }
    bool visible() const { return visible_; }
    bool copied() const { return copied_; }
    // Every request of this run, oldest first.
    const QList<Request> &requests() const { return requests_; }

    // What the desktop did elsewhere (observed by the keyboard front end): a
    // pointer button went down at `globalPos`; a key (KeyTable code) went down.
    void pointerPressed(int button, QPoint globalPos);
    void keyPressed(quint16 key);

    // The window (null before the first bubble) and the drop of it at shutdown.
    QQuickWindow *window() const { return window_.get(); }
    void dropView();

    // The panel's height for the view's fitting height, and its top-left corner
    // for a pointer at `pointer` on a screen whose available area is `area`
    // (an empty area: no screen, nothing clamped).
    static int panelHeight(qreal fitting);
    static QPoint placement(QPoint pointer, QRect area, int height);

Q_SIGNALS:
    void shown(const QString &title, const QString &original, const QString &text);
    void visibleChanged();
    void copiedChanged();

private:
    bool buildView();
    void setCopied(bool on);

    QQmlEngine *engine_;
    Request last_;
    QList<Request> requests_;
    bool visible_ = false;
    bool copied_ = false;
    std::unique_ptr<QQuickWindow> window_;
    QQuickItem *view_ = nullptr;
};
