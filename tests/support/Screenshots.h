#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <functional>

class QQuickWindow;

// Screenshots that tests write for people to look at: PNGs under
// <build>/tests/screenshots, one per appearance.
namespace Screenshots {

QString folder();

// What the window's scene draws (its own pixels, whatever covers it).
QImage scene(QQuickWindow *window);
// What the X server shows in `area` of the screen (shapes and stacking included).
QImage screen(const QRect &area);

// Saves `image` as "<name>-<light|dark>.png"; the path, empty on failure.
QString save(const QImage &image, const QString &name, bool dark);

// Runs `shoot` once in the light and once in the dark appearance (the setting
// is switched and the windows given time to redraw), saving what it returns;
// the appearance is put back. The saved paths, light first.
QStringList inBothThemes(const QString &name, const std::function<QImage()> &shoot);

} // namespace Screenshots
