#pragma once

#include <QImage>
#include <QQuickImageProvider>
#include <QString>

#include <optional>

// Application icons for badges: a desktop id (its Icon through the icon theme),
// an icon-theme name, or an absolute path. Looked up at most once per key per
// process and kept at 64 × 64; a miss is remembered too. Main thread.
namespace AppIcons {

std::optional<QImage> icon(const QString &key);
// Keys looked up so far (tests).
qsizetype cachedCount();

} // namespace AppIcons

// "image://appicon/<key>", served from the cache above.
class AppIconProvider final : public QQuickImageProvider
{
public:
    AppIconProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};
