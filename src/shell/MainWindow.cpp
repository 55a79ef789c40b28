#include "shell/MainWindow.h"

#include "shell/InterfaceKeys.h"
#include "model/Defaults.h"
#include "core/Log.h"
#include "model/Store.h"

#include <QEvent>
#include <QGuiApplication>
#include <QJsonObject>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>
#include <QtMath>

#include <malloc.h>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(QQmlEngine *engine, Defaults &frames, Store *data, Navigation *navigation, InterfaceKeys *keys,
                       QObject *parent)
    : QObject(parent), engine_(engine), store_(frames), data_(data), navigation_(navigation), keys_(keys)
{
}

MainWindow::~MainWindow()
{
    if (window_ && window_->isVisible()) {
        saveFrame();
        // The menu bar's popups leave a shown window's overlay badly: hide first.
        window_->hide();
    }
    delete content_.data();
}

QQuickWindow *MainWindow::window() const
{
    return window_.get();
}

QQuickItem *MainWindow::content() const
{
    return content_.data();
}

void MainWindow::show()
{
    ++generation_;
    if (!window_)
        makeWindow();
    if (!content_)
        buildContent();
    // A user who already dictated is never asked to onboard.
    if (!data_->dictations().isEmpty())
        keys_->setOnboarded(true);
    window_->show();
    // Shown from the tray while minimised: brought back, not left in the taskbar.
    if (window_->windowStates() & Qt::WindowMinimized)
        window_->setWindowStates(window_->windowStates() & ~Qt::WindowMinimized);
    window_->raise();
    window_->requestActivate();
}

void MainWindow::showPage(Navigation::Page page)
{
    navigation_->setPage(page);
    show();
}

void MainWindow::makeWindow()
{
    window_ = std::make_unique<QQuickWindow>();
    window_->setTitle(u"Ombry Voice"_s);
    window_->setMinimumSize(kMinimumSize);
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QScreen *primary = QGuiApplication::primaryScreen();
    window_->setGeometry(placement(frameFrom(store_.object(QString::fromLatin1(kFrameKey))), screens,
                                   primary ? primary->availableGeometry() : QRect(QPoint(0, 0), kDefaultSize)));

    // Kept as the user moves and resizes it, written once things settle.
    saveTimer_ = new QTimer(this);
    saveTimer_->setSingleShot(true);
    saveTimer_->setInterval(500);
    connect(saveTimer_, &QTimer::timeout, this, &MainWindow::saveFrame);
    const auto frameMoved = [this] {
        if (window_->isVisible())
            saveTimer_->start();
    };
    connect(window_.get(), &QWindow::xChanged, this, frameMoved);
    connect(window_.get(), &QWindow::yChanged, this, frameMoved);
    connect(window_.get(), &QWindow::widthChanged, this, frameMoved);
    connect(window_.get(), &QWindow::heightChanged, this, frameMoved);

    window_->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window_.get() && event->type() == QEvent::Close) {
        saveTimer_->stop();
        saveFrame();
        // Not inside the close notification: the view tree goes on the next turn.
        const quint64 closedAt = generation_;
        QTimer::singleShot(0, this, [this, closedAt] {
            if (generation_ == closedAt && window_ && !window_->isVisible())
                dropContent();
        });
    }
    return QObject::eventFilter(watched, event);
}

QQuickItem *MainWindow::createView(QQmlEngine *engine, QQuickItem *parent, bool scrolls)
{
    static QPointer<QQmlComponent> component;
    if (!component || component->engine() != engine)
        component = new QQmlComponent(engine, QUrl(u"qrc:/Ombry/MainView.qml"_s), engine);
    QObject *object = component->beginCreate(engine->rootContext());
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        delete object;
        const QString why = component->errorString().trimmed();
        Log::write(u"fenêtre: vue principale impossible à créer : "_s + why);
        qWarning("%s", qPrintable(why));
        return nullptr;
    }
    item->setProperty("scrolls", scrolls);
    item->setParentItem(parent);
    component->completeCreate();
    return item;
}

void MainWindow::buildContent()
{
    // The menu bar belongs to the window, not to the view (snapshots have none).
    QQmlComponent frame(engine_, QUrl(u"qrc:/Ombry/WindowContent.qml"_s));
    auto *holder = qobject_cast<QQuickItem *>(frame.beginCreate(engine_->rootContext()));
    if (!holder) {
        Log::write(u"fenêtre: barre de menus impossible à créer : "_s + frame.errorString().trimmed());
        content_ = createView(engine_, window_->contentItem(), true);
    } else {
        holder->setParentItem(window_->contentItem());
        frame.completeCreate();
        if (QQuickItem *view = createView(engine_, holder->property("body").value<QQuickItem *>(), true)) {
            // Owned by the holder: found under it, and dropped with it.
            view->setParent(holder);
            content_ = holder;
            // The view's minimum is its content's; the window's adds the menu bar above it.
            const auto *body = holder->property("body").value<QQuickItem *>();
            window_->setMinimumSize(QSize(qCeil(view->implicitWidth()), qCeil(body->y() + view->implicitHeight())));
        } else {
            delete holder;
        }
    }
    if (content_)
        Q_EMIT contentBuilt();
}

void MainWindow::dropContent()
{
    if (!content_)
        return;
    delete content_.data();
    // The native window and its graphics context go too: they hold most of
    // the memory a closed window would keep. The window object and its frame stay.
    window_->releaseResources();
    window_->destroy();
    engine_->collectGarbage();
    engine_->trimComponentCache();
    // What the views freed goes back to the system, not only to the allocator.
    ::malloc_trim(0);
    Q_EMIT contentDropped();
}

void MainWindow::saveFrame()
{
    if (!window_)
        return;
    const QJsonValue value = frameValue(window_->geometry());
    if (store_.object(QString::fromLatin1(kFrameKey)) != value)
        store_.set(QString::fromLatin1(kFrameKey), value);
}

QRect MainWindow::placement(const std::optional<QRect> &saved, const QList<QRect> &screens, const QRect &primary,
                            QSize size, QSize minimum)
{
    const auto bounded = [&minimum](QSize wanted, const QRect &screen) {
        wanted = wanted.expandedTo(minimum);
        // Never larger than the screen, unless the screen is below the minimum.
        return wanted.boundedTo(screen.size().expandedTo(minimum));
    };
    if (saved && saved->isValid()) {
        const QPoint topMiddle(saved->x() + saved->width() / 2, saved->y());
        for (const QRect &screen : screens) {
            if (screen.contains(topMiddle))
                return QRect(saved->topLeft(), bounded(saved->size(), screen));
        }
        size = saved->size();
    }
    const QSize placed = bounded(size, primary);
    return QRect(primary.x() + (primary.width() - placed.width()) / 2,
                 primary.y() + (primary.height() - placed.height()) / 2, placed.width(), placed.height());
}

std::optional<QRect> MainWindow::frameFrom(const QJsonValue &value)
{
    const QJsonObject frame = value.toObject();
    const QStringList keys = {u"x"_s, u"y"_s, u"width"_s, u"height"_s};
    for (const QString &key : keys)
        if (!frame.value(key).isDouble())
            return std::nullopt;
    const QRect rect(frame.value(u"x"_s).toInt(), frame.value(u"y"_s).toInt(), frame.value(u"width"_s).toInt(),
                     frame.value(u"height"_s).toInt());
    if (rect.width() <= 0 || rect.height() <= 0)
        return std::nullopt;
    return rect;
}

QJsonValue MainWindow::frameValue(const QRect &frame)
{
    return QJsonObject{{u"x"_s, frame.x()}, {u"y"_s, frame.y()}, {u"width"_s, frame.width()},
                       {u"height"_s, frame.height()}};
}
