#pragma once

#include <QString>
#include <QVariantMap>

#include <memory>

class QQmlEngine;
class QQuickWindow;

namespace QmlWindow {

// Creates one of the windows of tests/e2e (by file name) in `engine`, shows it
// and waits until it is exposed; none, with `error` saying why, otherwise.
std::unique_ptr<QQuickWindow> open(QQmlEngine *engine, const QString &file, QString *error,
                                   const QVariantMap &properties = {});

} // namespace QmlWindow
