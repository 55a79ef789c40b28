#include "dictation/OverlayController.h"

#include "dictation/DictationController.h"
#include "core/Log.h"
#include "platform/FloatingPanel.h"
#include "platform/FrontmostApp.h"

#include <QCursor>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSurfaceFormat>
#include <QTimer>

OverlayController::OverlayController(DictationController *controller, QQmlEngine *engine, QObject *parent)
    : QObject(parent), controller_(controller), engine_(engine), window_(std::make_unique<QQuickWindow>())
{
    QSurfaceFormat format = window_->format();
    format.setAlphaBufferSize(8);
    window_->setFormat(format);
    window_->setColor(Qt::transparent);
    window_->resize(Width, Height);
    window_->setMinimumSize(QSize(Width, Height));
    window_->setMaximumSize(QSize(Width, Height));
    FloatingPanel::configure(window_.get(), QStringLiteral("Ombry Voice — enregistrement"),
                             FloatingPanel::Input::ClickThrough);
    connect(window_.get(), &QQuickWindow::frameSwapped, this, [this] { ++frames_; });
    if (controller) {
        connect(controller, &DictationController::stateChanged, this, &OverlayController::update);
        connect(controller, &DictationController::flashChanged, this, &OverlayController::update);
        connect(controller, &DictationController::recordingStarting, this, &OverlayController::position);
    }
    topLeft_ = placement(targetArea());
}

void OverlayController::prepare()
{
    if (prepared_)
        return;
    prepared_ = true;
    QQmlComponent component(engine_, QUrl(QStringLiteral("qrc:/Ombry/OverlayView.qml")));
    QObject *created = component.createWithInitialProperties(
        {{QStringLiteral("controller"), QVariant::fromValue(controller_.data())}});
    view_ = qobject_cast<QQuickItem *>(created);
    if (!view_) {
        Log::write(QStringLiteral("overlay: ") + component.errorString());
        delete created;
        return;
    }
    view_->setParentItem(window_->contentItem());
    view_->setSize(QSizeF(Width, Height));
    QQmlEngine::setObjectOwnership(view_, QQmlEngine::CppOwnership);
    QQmlProperty(view_, QStringLiteral("outline")).connectNotifySignal(this, SLOT(updateOutline()));
    updateOutline();
}

OverlayController::~OverlayController()
{
    delete view_;
}

QPoint OverlayController::placement(QRect area)
{
    return QPoint(area.x() + area.width() / 2 - Width / 2, area.y() + area.height() - BottomMargin - Height);
}

QRect OverlayController::targetArea() const
{
    if (FloatingPanel::pointerSeen())
        return FloatingPanel::overlayArea(FloatingPanel::screens(), QCursor::pos(), std::nullopt);
    // Where the user looks: at the application the dictation goes to.
    const std::optional<RunningApp> app = controller_ ? controller_->targetApp() : std::nullopt;
    return FloatingPanel::overlayArea(FloatingPanel::screens(), std::nullopt,
                                      app ? FrontmostApp::screenPoint(*app) : std::nullopt);
}

void OverlayController::position()
{
    topLeft_ = placement(targetArea());
    if (window_->isVisible())
        window_->setPosition(topLeft_);
}

bool OverlayController::shown() const
{
    return controller_
           && (controller_->state() != DictationController::State::Idle || controller_->flash().has_value());
}

void OverlayController::update()
{
    ++hideGeneration_;
    if (shown()) {
        prepare();
        if (!window_->isVisible()) {
            FloatingPanel::show(window_.get(), topLeft_);
            Q_EMIT mappedChanged(true);
        }
        return;
    }
    if (!window_->isVisible())
        return;
    // Unmapped once the capsule has left, unless something came back meanwhile.
    const quint64 generation = hideGeneration_;
    QTimer::singleShot(ExitMs, this, [this, generation] {
        if (generation != hideGeneration_ || shown())
            return;
        FloatingPanel::hide(window_.get());
        Q_EMIT mappedChanged(false);
    });
}

void OverlayController::updateOutline()
{
    if (!view_)
        return;
    const QRectF r = view_->property("outline").toRectF();
    if (r.isEmpty()) {
        FloatingPanel::setOutline(window_.get(), QRegion(0, 0, 1, 1));
        return;
    }
    const QRect box = r.toAlignedRect();
    FloatingPanel::setOutline(window_.get(), FloatingPanel::roundedRegion(box, box.height() / 2));
}
