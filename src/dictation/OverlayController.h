#pragma once

#include <QObject>
#include <QPointer>
#include <QRegion>

#include <memory>

class DictationController;
class QQmlEngine;
class QQuickItem;
class QQuickWindow;

// The recording overlay: a click-through floating panel of 640 × 90 at the
// bottom of the screen under the pointer, drawing what the dictation controller
// does (recording, working, a short flash). Mapped only while there is
// something to show, so nothing renders while idle. Main thread.
class OverlayController final : public QObject
{
    Q_OBJECT

public:
    static constexpr int Width = 640;
    static constexpr int Height = 90;
    static constexpr int BottomMargin = 24;
    // How long the capsule takes to leave before the panel is unmapped.
    static constexpr int ExitMs = 260;

    OverlayController(DictationController *controller, QQmlEngine *engine, QObject *parent = nullptr);
    ~OverlayController() override;

    // Places the panel on the screen under the pointer (in a Wayland session,
    // on that of the application the dictation goes to), centred, its bottom
    // edge 24 px above the bottom of the available area.
    void position();
    // Makes the capsule's view, once; start-up does it before the first key
    // press, after the tray icon is up.
    void prepare();

    // Whether the controller has something to show (not idle, or a flash).
    bool shown() const;
    QQuickWindow *window() const { return window_.get(); }
    QQuickItem *view()
    {
        prepare();
        return view_;
    }
    // Frames drawn since start (benchmarks).
    quint64 frames() const { return frames_; }
    // The panel's top-left corner on the screen.
    QPoint topLeft() const { return topLeft_; }

    // Where the panel goes for a pointer at `pointer` on a screen whose
    // available area is `area`.
    static QPoint placement(QRect area);

Q_SIGNALS:
    void mappedChanged(bool mapped);

private Q_SLOTS:
    void updateOutline();

private:
    void update();
    QRect targetArea() const;

    QPointer<DictationController> controller_;
    QQmlEngine *engine_;
    std::unique_ptr<QQuickWindow> window_;
    bool prepared_ = false;
    QQuickItem *view_ = nullptr;
    QPoint topLeft_;
    quint64 frames_ = 0;
    quint64 hideGeneration_ = 0;
};
