#include "calls/SubtitleWindow.h"

#include "model/Defaults.h"
#include "platform/FloatingPanel.h"
#include "platform/X11Display.h"

#include <QGuiApplication>
#include <QJsonObject>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

using namespace Qt::StringLiterals;

namespace {

const QString kFrameKey = u"KessoCaptions"_s;
const QString kEnglishKey = u"captionsShowEnglish"_s;

void sendState(Display *dpy, Window window, const char *first, const char *second)
{
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = window;
    ev.xclient.message_type = XInternAtom(dpy, "_NET_WM_STATE", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = 1; // add
    ev.xclient.data.l[1] = long(XInternAtom(dpy, first, False));
    ev.xclient.data.l[2] = second ? long(XInternAtom(dpy, second, False)) : 0;
    ev.xclient.data.l[3] = 2;
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}

} // namespace

SubtitleWindow::SubtitleWindow(CallTranslator *call, Defaults *defaults, QQmlEngine *engine, QObject *parent)
    : QObject(parent)
    , call_(call)
    , defaults_(defaults)
    , engine_(engine)
{
    showEnglish_ = defaults_ ? defaults_->boolean(kEnglishKey).value_or(false) : false;
    for (auto signal : {&CallTranslator::runningChanged, &CallTranslator::errorChanged, &CallTranslator::liveChanged})
        connect(call_, signal, this, &SubtitleWindow::refresh);
    CallLinesModel *lines = call_->linesModel();
    connect(lines, &QAbstractItemModel::rowsInserted, this, &SubtitleWindow::refresh);
    connect(lines, &QAbstractItemModel::rowsRemoved, this, &SubtitleWindow::refresh);
    connect(lines, &QAbstractItemModel::dataChanged, this, &SubtitleWindow::refresh);
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(400);
    connect(&saveTimer_, &QTimer::timeout, this, &SubtitleWindow::saveFrame);
    refresh();
}

SubtitleWindow::~SubtitleWindow()
{
    release();
}

void SubtitleWindow::refresh()
{
    const CaptionTexts texts = CaptionTexts::of(call_->lines(), call_->error(), call_->running(), showEnglish_);
    if (texts == texts_)
        return;
    texts_ = texts;
    Q_EMIT textsChanged();
}

void SubtitleWindow::setShowEnglish(bool show)
{
    if (defaults_)
        defaults_->set(kEnglishKey, show);
    if (showEnglish_ == show)
        return;
    showEnglish_ = show;
    Q_EMIT showEnglishChanged();
    refresh();
}

bool SubtitleWindow::isVisible() const
{
    return window_ && window_->isVisible();
}

QRect SubtitleWindow::placement(const std::optional<QRect> &saved, const QList<QRect> &screens)
{
    if (screens.isEmpty())
        return saved.value_or(QRect(0, 0, kWidth, kHeight));
    if (saved && saved->isValid()) {
        const QRect *best = nullptr;
        qint64 bestArea = 0;
        for (const QRect &screen : screens) {
            const QRect common = screen.intersected(*saved);
            const qint64 area = qint64(common.width()) * common.height();
            if (area > bestArea) {
                bestArea = area;
                best = &screen;
            }
        }
        if (best) {
            QRect frame = *saved;
            frame.setWidth(std::min(frame.width(), best->width()));
            frame.setHeight(std::min(frame.height(), best->height()));
            frame.moveLeft(std::clamp(frame.left(), best->left(), best->right() - frame.width() + 1));
            frame.moveTop(std::clamp(frame.top(), best->top(), best->bottom() - frame.height() + 1));
            return frame;
        }
    }
    const QRect &area = screens.first();
    return QRect(area.left() + area.width() / 2 - kWidth / 2, area.top() + area.height() - kBottomGap - kHeight, kWidth,
                 kHeight);
}

void SubtitleWindow::build()
{
    QQmlComponent component(engine_, QUrl(u"qrc:/Ombry/SubtitleBar.qml"_s));
    QObject *object = component.create();
    window_ = qobject_cast<QQuickWindow *>(object);
    if (!window_) {
        qWarning("caption bar: %s", qPrintable(component.errorString()));
        delete object;
        return;
    }
    window_->setTitle(QString::fromUtf8(kTitle));
    window_->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    window_->setColor(Qt::transparent);

    std::optional<QRect> saved;
    if (defaults_) {
        const QJsonObject frame = defaults_->object(kFrameKey).toObject();
        if (frame.contains(u"x"_s) && frame.contains(u"y"_s)) {
            saved = QRect(frame.value(u"x"_s).toInt(), frame.value(u"y"_s).toInt(),
                          frame.value(u"width"_s).toInt(kWidth), frame.value(u"height"_s).toInt(kHeight));
        }
    }
    QList<QRect> screens;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen())
            screens << screen->availableGeometry();
    }
    window_->setGeometry(placement(saved, screens));
    connect(window_, &QWindow::xChanged, &saveTimer_, qOverload<>(&QTimer::start));
    connect(window_, &QWindow::yChanged, &saveTimer_, qOverload<>(&QTimer::start));
    connect(window_, &QWindow::widthChanged, &saveTimer_, qOverload<>(&QTimer::start));
    connect(window_, &QWindow::heightChanged, &saveTimer_, qOverload<>(&QTimer::start));
    connect(window_, &QWindow::visibleChanged, this, &SubtitleWindow::visibleChanged);
    // Without a compositor the transparent corners would be black: the window
    // is cut to its rounded outline instead, again at each resize.
    const auto shape = [this] {
        if (window_ && !FloatingPanel::compositing())
            FloatingPanel::setOutline(window_, FloatingPanel::roundedRegion(QRect(QPoint(0, 0), window_->size()), 20));
    };
    connect(window_, &QWindow::widthChanged, this, shape);
    connect(window_, &QWindow::heightChanged, this, shape);
    shape();
}

void SubtitleWindow::saveFrame()
{
    if (!window_ || !window_->isVisible() || !defaults_)
        return;
    const QRect frame = window_->geometry();
    defaults_->set(kFrameKey, QJsonObject{{u"x"_s, frame.x()}, {u"y"_s, frame.y()},
                                          {u"width"_s, frame.width()}, {u"height"_s, frame.height()}});
}

void SubtitleWindow::applyWindowState()
{
    if (!window_ || QGuiApplication::platformName() != u"xcb"_s)
        return;
    Display *dpy = X11::display();
    if (!dpy)
        return;
    const Window id = Window(window_->winId());
    if (!window_->isVisible()) {
        // Before mapping: the window manager reads these when it takes the window.
        const Atom state[] = {XInternAtom(dpy, "_NET_WM_STATE_ABOVE", False),
                              XInternAtom(dpy, "_NET_WM_STATE_STICKY", False),
                              XInternAtom(dpy, "_NET_WM_STATE_SKIP_TASKBAR", False),
                              XInternAtom(dpy, "_NET_WM_STATE_SKIP_PAGER", False)};
        XChangeProperty(dpy, id, XInternAtom(dpy, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(state), 4);
        const long all = long(0xFFFFFFFF);
        XChangeProperty(dpy, id, XInternAtom(dpy, "_NET_WM_DESKTOP", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&all), 1);
        XFlush(dpy);
        return;
    }
    // On every desktop, above the others, out of the taskbar and pager.
    sendState(dpy, id, "_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE");
    sendState(dpy, id, "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER");
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = id;
    ev.xclient.message_type = XInternAtom(dpy, "_NET_WM_DESKTOP", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = long(0xFFFFFFFF);
    ev.xclient.data.l[1] = 2;
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(dpy);
}

void SubtitleWindow::show()
{
    if (!window_)
        build();
    if (!window_)
        return;
    const QRect frame = window_->geometry();
    window_->create();
    applyWindowState();
    window_->show();
    // Mapping may move it: the frame chosen is the frame shown.
    window_->setGeometry(frame);
    window_->raise();
    // Once managed, the same requests as messages (a window manager that
    // already manages the window ignores the properties).
    QTimer::singleShot(150, this, &SubtitleWindow::applyWindowState);
}

void SubtitleWindow::hide()
{
    if (window_)
        window_->hide();
}

void SubtitleWindow::startMove()
{
    if (window_)
        window_->startSystemMove();
}

void SubtitleWindow::startResize(int edges)
{
    if (window_)
        window_->startSystemResize(Qt::Edges(edges));
}

void SubtitleWindow::release()
{
    saveTimer_.stop();
    delete window_.data();
}
