#include "diagnostics/Snapshot.h"

#include "shell/MainWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QQuickItem>
#include <QQuickWindow>

#include <memory>

using namespace Qt::StringLiterals;

namespace Snapshot {

QList<Navigation::Page> order()
{
    QList<Navigation::Page> pages{Navigation::Page::Settings};
    pages << Navigation::all();
    return pages;
}

Result render(const QString &folder, QQmlEngine *engine, Navigation *navigation)
{
    Result result;
    const QString path = QFileInfo(folder).absoluteFilePath();
    QDir().mkpath(path); // a failure shows as each page's write failure

    // Never shown: grabbing a window that is not exposed renders it offscreen.
    auto window = std::make_unique<QQuickWindow>();
    window->resize(kSize);
    // A window never shown is never told its size: its root item is.
    window->contentItem()->setSize(kSize);
    std::unique_ptr<QQuickItem> view(MainWindow::createView(engine, window->contentItem(), false));
    if (!view) {
        result.errors << u"erreur: la fenêtre principale ne peut pas être dessinée"_s;
        return result;
    }
    view->setSize(kSize);

    for (Navigation::Page page : order()) {
        navigation->setPage(page);
        QImage image = window->grabWindow();
        const QString file = QDir(path).filePath(Navigation::name(page) + u".png"_s);
        if (image.isNull()) {
            result.errors << u"erreur: la page « "_s + Navigation::name(page) + u" » n'a pas pu être dessinée"_s;
            continue;
        }
        // Pixels, whatever the screen's scale.
        if (image.size() != kSize)
            image = image.scaled(kSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!image.save(file, "PNG")) {
            result.errors << u"erreur: impossible d'écrire « "_s + file + u" »"_s;
            continue;
        }
        result.written.removeAll(file);
        result.written << file;
    }
    view.reset();
    return result;
}

} // namespace Snapshot
