#include "ui/kit/AppIcons.h"

#include "platform/FrontmostApp.h"

#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QMutex>
#include <QPainter>
#include <QUrl>

namespace {

constexpr int kSide = 64;

QMutex gMutex;
QHash<QString, std::optional<QImage>> &cache()
{
    static QHash<QString, std::optional<QImage>> c;
    return c;
}

std::optional<QImage> load(const QString &key)
{
    QImage image;
    if (QFileInfo(key).isAbsolute()) {
        image = QImage(key);
    } else {
        QString iconName = key;
        // A desktop id names its entry's Icon; anything else may be an icon name.
        QString id = key;
        if (id.endsWith(QLatin1String(".desktop")))
            id.chop(8);
        if (const auto entry = FrontmostApp::resolveDesktopEntry(id, QString(), QString()); entry && !entry->icon.isEmpty())
            iconName = entry->icon;
        if (QFileInfo(iconName).isAbsolute()) {
            image = QImage(iconName);
        } else {
            const QIcon icon = QIcon::fromTheme(iconName);
            if (!icon.isNull())
                image = icon.pixmap(kSide, kSide).toImage();
        }
    }
    if (image.isNull())
        return std::nullopt;
    // Kept at one size whatever the badge: every badge reuses it.
    QImage scaled(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
    scaled.fill(Qt::transparent);
    QPainter p(&scaled);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(0, 0, kSide, kSide), image);
    p.end();
    return scaled;
}

} // namespace

namespace AppIcons {

std::optional<QImage> icon(const QString &key)
{
    if (key.isEmpty())
        return std::nullopt;
    QMutexLocker lock(&gMutex);
    auto it = cache().find(key);
    if (it == cache().end())
        it = cache().insert(key, load(key));
    return *it;
}

qsizetype cachedCount()
{
    QMutexLocker lock(&gMutex);
    return cache().size();
}

} // namespace AppIcons

AppIconProvider::AppIconProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage AppIconProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const std::optional<QImage> image = AppIcons::icon(QUrl::fromPercentEncoding(id.toUtf8()));
    QImage result = image.value_or(QImage());
    if (!result.isNull() && requestedSize.isValid())
        result = result.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (size)
        *size = result.size();
    return result;
}
