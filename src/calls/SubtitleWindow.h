#pragma once

#include "calls/CallTranslator.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <optional>

class Defaults;
class QQmlEngine;
#include <QQuickWindow>
class QScreen;

// The floating caption bar: a borderless window above the others, on every
// desktop, out of the taskbar, that never takes the focus, showing the French
// lines of the call translator. It is made at the first show() and kept; its
// frame is saved when the user moves or resizes it and restored on a screen
// that is still connected.
class SubtitleWindow : public QObject
{
    Q_OBJECT

    Q_PROPERTY(QString previousText READ previousText NOTIFY textsChanged)
    Q_PROPERTY(QString mainText READ mainText NOTIFY textsChanged)
    Q_PROPERTY(QString englishText READ englishText NOTIFY textsChanged)
    Q_PROPERTY(bool showEnglish READ showEnglish WRITE setShowEnglish NOTIFY showEnglishChanged)
    Q_PROPERTY(bool visible READ isVisible NOTIFY visibleChanged)

public:
    static constexpr int kWidth = 760;
    static constexpr int kHeight = 150;
    static constexpr int kBottomGap = 90;
    static inline const char *kTitle = "Ombry Voice — sous-titres";

    // The bar is made in `engine` when first shown.
    SubtitleWindow(CallTranslator *call, Defaults *defaults, QQmlEngine *engine, QObject *parent = nullptr);
    ~SubtitleWindow() override;

    // Makes the bar at the first call, then brings it to the front without
    // activating it.
    Q_INVOKABLE void show();
    Q_INVOKABLE void hide();
    // The close button: hides the bar; subtitles go on.
    Q_INVOKABLE void close() { hide(); }
    Q_INVOKABLE void startMove();
    Q_INVOKABLE void startResize(int edges);

    QString previousText() const { return texts_.previous; }
    QString mainText() const { return texts_.main; }
    QString englishText() const { return texts_.english; }
    bool showEnglish() const { return showEnglish_; }
    void setShowEnglish(bool show);
    bool isVisible() const;
    QQuickWindow *window() const { return window_; }
    // Drops the window (before the QML engine goes).
    void release();

    // Where the bar goes: the saved frame clamped into the connected screen it
    // overlaps most, else centred 90 px above the bottom of the primary screen's
    // usable area. `screens` are the connected screens' usable areas, the
    // primary first.
    static QRect placement(const std::optional<QRect> &saved, const QList<QRect> &screens);

Q_SIGNALS:
    void textsChanged();
    void showEnglishChanged();
    void visibleChanged();

private:
    void build();
    void refresh();
    void saveFrame();
    void applyWindowState();

    CallTranslator *call_;
    Defaults *defaults_;
    QQmlEngine *engine_;
    QPointer<QQuickWindow> window_;
    CaptionTexts texts_;
    bool showEnglish_ = false;
    QTimer saveTimer_;
};
