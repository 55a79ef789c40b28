#include "dictation/BubbleController.h"


#include "core/Log.h"
#include "model/TextUtil.h"
#include "platform/FloatingPanel.h"
#include "platform/FrontmostApp.h"
#include "platform/KeyTable.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMimeData>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSurfaceFormat>

#include <cmath>

BubbleController::BubbleController(QQmlEngine *engine, QObject *parent) : QObject(parent), engine_(engine) {}

BubbleController::~BubbleController()
{
    dropView();
}

int BubbleController::panelHeight(qreal fitting)
{
    return qBound(MinHeight, int(std::ceil(fitting)), MaxHeight);
}

QPoint BubbleController::placement(QPoint pointer, QRect area, int height)
{
    int x = pointer.x() - Width / 2;
    int y = pointer.y() + PointerGap;
    if (area.isEmpty())
        return QPoint(x, y);
    if (x <= area.left() + ScreenMargin)
        x = area.left() + ScreenMargin;
    // The right edge wins on a screen narrower than the bubble.
    if (x > area.left() + area.width() - Width - ScreenMargin)
        x = area.left() + area.width() - Width - ScreenMargin;
    // Near the bottom it opens above the pointer.
    if (y + height > area.top() + area.height() - ScreenMargin)
        y = pointer.y() - PointerGap - height;
    return QPoint(x, y);
}

bool BubbleController::buildView()
{
    if (view_)
        return true;
    QGuiApplication *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!gui)
        return false;
    window_ = std::make_unique<QQuickWindow>();
    QSurfaceFormat format = window_->format();
    format.setAlphaBufferSize(8);
    window_->setFormat(format);
    window_->setColor(Qt::transparent);
    FloatingPanel::configure(window_.get(), QStringLiteral("Ombry Voice — bulle"), FloatingPanel::Input::Takes);
    QQmlComponent component(engine_, QUrl(QStringLiteral("qrc:/Ombry/BubbleView.qml")));
    QObject *created = component.createWithInitialProperties({{QStringLiteral("bubble"), QVariant::fromValue(this)}});
    view_ = qobject_cast<QQuickItem *>(created);
    if (!view_) {
        Log::write(QStringLiteral("bulle: ") + component.errorString());
        delete created;
        window_.reset();
        return false;
    }
    QQmlEngine::setObjectOwnership(view_, QQmlEngine::CppOwnership);
    view_->setParentItem(window_->contentItem());
    return true;
}

void BubbleController::dropView()
{
    if (window_)
        window_->hide();
    delete view_;
    view_ = nullptr;
    window_.reset();
    if (visible_) {
        visible_ = false;
        Q_EMIT visibleChanged();
    }
}

void BubbleController::show(const QString &title, const QString &original, const QString &text)
{
    close();
    last_ = {title, original, text};
    requests_.append(last_);
    setCopied(false);
    Log::write(QStringLiteral("bulle: ") + title + QStringLiteral(" (")
               + QString::number(TextUtil::characterCount(text)) + QStringLiteral(" caractères)"));
    Q_EMIT shown(title, original, text);
    if (buildView()) {
        // The view lays the new texts out at the panel's width first.
        view_->setWidth(Width);
        const int height = panelHeight(view_->property("fittingHeight").toReal());
        view_->setHeight(height);
        window_->resize(Width, height);
        const QPoint pointer = QCursor::pos();
        const QRect area = FloatingPanel::availableAreaAt(pointer);
        FloatingPanel::setOutline(window_.get(), FloatingPanel::roundedRegion(QRect(0, 0, Width, height), 20));
        FloatingPanel::show(window_.get(), placement(pointer, area, height));
    }
    visible_ = true;
    Q_EMIT visibleChanged();
}

void BubbleController::close()
{
    if (!visible_)
        return;
    if (window_)
        FloatingPanel::hide(window_.get());
    visible_ = false;
    Q_EMIT visibleChanged();
}

void BubbleController::copy()
{
    if (QGuiApplication::clipboard()) {
        auto *data = new QMimeData;
        data->setText(last_.text);
        QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    }
    setCopied(true);
}

void BubbleController::setCopied(bool on)
{
    if (copied_ == on)
        return;
    copied_ = on;
    Q_EMIT copiedChanged();
}

void BubbleController::pointerPressed(int button, QPoint globalPos)
{
    if (!visible_ || button != 1)
        return;
    // Clicks on this program's own windows (the bubble's buttons, the main
    // window) leave it open.
    for (QWindow *w : QGuiApplication::topLevelWindows())
        if (w->isVisible() && w->geometry().contains(globalPos))
            return;
    close();
}

void BubbleController::keyPressed(quint16 key)
{
    if (!visible_ || key != KeyTable::Escape)
        return;
    // Escape typed into this program's own window is not for the bubble.
    const std::optional<RunningApp> front = FrontmostApp::current();
    if (front && front->pid == QCoreApplication::applicationPid())
        return;
    close();
}
