#include "support/Screenshots.h"

#include "support/TestEnv.h"

#include "model/AppSettings.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QQuickWindow>
#include <QScreen>

namespace Screenshots {

QString folder()
{
    const QString path = QStringLiteral(OMBRY_TEST_BIN_DIR "/screenshots");
    QDir().mkpath(path);
    return path;
}

QImage scene(QQuickWindow *window)
{
    return window ? window->grabWindow() : QImage();
}

QImage screen(const QRect &area)
{
    QScreen *s = QGuiApplication::primaryScreen();
    if (!s)
        return QImage();
    return s->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

QString save(const QImage &image, const QString &name, bool dark)
{
    if (image.isNull())
        return QString();
    const QString path = folder() + QLatin1Char('/') + name + (dark ? QStringLiteral("-dark.png") : QStringLiteral("-light.png"));
    return image.save(path) ? path : QString();
}

QStringList inBothThemes(const QString &name, const std::function<QImage()> &shoot)
{
    AppSettings *settings = TestEnv::settings();
    const Ombry::Theme before = settings->theme();
    QStringList paths;
    for (const Ombry::Theme theme : {Ombry::Theme::Light, Ombry::Theme::Dark}) {
        settings->setTheme(theme);
        // Bindings follow at once; let the windows paint and the server show it.
        TestEnv::waitFor([] { return false; }, 150);
        paths << save(shoot(), name, theme == Ombry::Theme::Dark);
    }
    settings->setTheme(before);
    return paths;
}

} // namespace Screenshots
