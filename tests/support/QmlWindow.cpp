#include "support/QmlWindow.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTest>
#include <QUrl>

namespace QmlWindow {

std::unique_ptr<QQuickWindow> open(QQmlEngine *engine, const QString &file, QString *error,
                                   const QVariantMap &properties)
{
    QQmlComponent component(engine);
    component.loadUrl(QUrl::fromLocalFile(QStringLiteral(OMBRY_SOURCE_DIR "/tests/e2e/") + file));
    std::unique_ptr<QQuickWindow> window(qobject_cast<QQuickWindow *>(component.createWithInitialProperties(properties)));
    if (!window) {
        *error = component.errorString();
        return nullptr;
    }
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        *error = file + QStringLiteral(": never exposed");
        return nullptr;
    }
    return window;
}

} // namespace QmlWindow
