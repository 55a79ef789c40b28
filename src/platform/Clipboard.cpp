#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <atomic>

namespace {

std::atomic<quint64> changes{0};

QClipboard *board()
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!app)
        return nullptr;
    static bool connected = false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!connected && clipboard) {
        connected = true;
        QObject::connect(clipboard, &QClipboard::changed, clipboard, [](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard)
                ++changes;
        });
    }
    return clipboard;
}

// Formats Qt synthesises from others; copying them back would only duplicate data.
bool derived(const QString &format)
{
    return format == QLatin1String("application/x-qt-image");
}

QClipboard::Mode qtMode(Clipboard::Mode mode)
{
    return mode == Clipboard::Mode::Primary ? QClipboard::Selection : QClipboard::Clipboard;
}

} // namespace

namespace Clipboard {

QByteArray Snapshot::data(const QString &format) const
{
    for (const auto &[name, bytes] : formats)
        if (name == format)
            return bytes;
    return {};
}

Snapshot snapshot(Mode mode)
{
    Snapshot result;
    QClipboard *clipboard = board();
    if (!clipboard)
        return result;
    const QMimeData *mime = clipboard->mimeData(qtMode(mode));
    if (!mime)
        return result;
    const QStringList formats = mime->formats();
    for (const QString &format : formats) {
        if (derived(format))
            continue;
        QByteArray bytes = mime->data(format);
        // A format whose data cannot be read is left out.
        if (bytes.isNull())
            continue;
        bytes.detach();
        result.formats.append({format, bytes});
    }
    // An image offered only through Qt's own type still comes back as PNG.
    if (result.formats.isEmpty() && mime->hasImage()) {
        const QVariant image = mime->imageData();
        if (image.isValid()) {
            auto *copy = new QMimeData;
            copy->setImageData(image);
            const QByteArray png = copy->data(QStringLiteral("image/png"));
            delete copy;
            if (!png.isEmpty())
                result.formats.append({QStringLiteral("image/png"), png});
        }
    }
    return result;
}

void restore(const Snapshot &saved, Mode mode)
{
    QClipboard *clipboard = board();
    if (!clipboard)
        return;
    clipboard->clear(qtMode(mode));
    if (saved.isEmpty())
        return;
    auto *mime = new QMimeData;
    for (const auto &[format, bytes] : saved.formats)
        mime->setData(format, bytes);
    clipboard->setMimeData(mime, qtMode(mode));
}

void setText(const QString &text, Mode mode)
{
    QClipboard *clipboard = board();
    if (!clipboard)
        return;
    clipboard->clear(qtMode(mode));
    clipboard->setText(text, qtMode(mode));
}

void clear()
{
    if (QClipboard *clipboard = board())
        clipboard->clear(QClipboard::Clipboard);
}

std::optional<QString> text()
{
    QClipboard *clipboard = board();
    if (!clipboard)
        return std::nullopt;
    const QMimeData *mime = clipboard->mimeData(QClipboard::Clipboard);
    if (!mime || !mime->hasText())
        return std::nullopt;
    return mime->text();
}

bool ownedHere(Mode mode)
{
    QClipboard *clipboard = board();
    if (!clipboard)
        return false;
    return mode == Mode::Primary ? clipboard->ownsSelection() : clipboard->ownsClipboard();
}

quint64 changeCount()
{
    board();
    return changes.load();
}

} // namespace Clipboard
