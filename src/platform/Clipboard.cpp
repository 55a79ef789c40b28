#include "platform/Clipboard.h"

#include "core/Log.h"
#include "platform/SelectionReader.h"
#include "platform/SessionRoutes.h"
#include "platform/WaylandClipboard.h"
#include "platform/X11Display.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLocale>
#include <QMimeData>
#include <QElapsedTimer>
#include <QSet>
#include <QThread>

#include <atomic>

#include <X11/Xlib.h>

namespace {

std::atomic<quint64> changes{0};

// Wayland windows' clipboard goes through the compositor: Xwayland hands it to
// X11 clients only while one of their windows is in front.
bool dataControl()
{
    return SessionRoutes::current().clipboard == SessionRoutes::Clipboard::DataControl
           && WaylandClipboard::available();
}

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

// Text targets, best first; the one read is kept as "text/plain" (UTF-8), from
// which the toolkit offers all of them again at the restore.
const QStringList &textTargets()
{
    static const QStringList targets = {QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain;charset=utf-8"),
                                        QStringLiteral("text/plain"), QStringLiteral("STRING")};
    return targets;
}

} // namespace

namespace Clipboard {

bool sideEffects(const QString &target)
{
    const QString t = target.toLower();
    // Asking an office suite for a link makes it mark the copied text in the
    // document (a hidden DDE bookmark); OLE links do the same on other suites.
    if (t == QLatin1String("link") || t.contains(QLatin1String("dde")) || t.contains(QLatin1String("-link"))
        || t.contains(QLatin1String("windows_formatname=\"link\"")) || t.contains(QLatin1String("objectlink"))
        || t.contains(QLatin1String("ownerlink")))
        return true;
    // Targets without a type are the protocol's requests (DELETE, SAVE_TARGETS,
    // INSERT_SELECTION…), not data.
    return !t.contains(QLatin1Char('/')) && !textTargets().contains(target);
}

QStringList wantedTargets(const QStringList &offered)
{
    static const QSet<QString> skipped = {QStringLiteral("TEXT"), QStringLiteral("COMPOUND_TEXT"),
                                          QStringLiteral("application/x-qt-image")};
    QStringList wanted;
    for (const QString &target : textTargets()) {
        if (offered.contains(target)) {
            wanted << target;
            break;
        }
    }
    for (const QString &target : offered) {
        // Only typed formats come back; TARGETS, TIMESTAMP and the like are the protocol's.
        if (!sideEffects(target) && !textTargets().contains(target) && !skipped.contains(target)
            && !wanted.contains(target))
            wanted << target;
    }
    return wanted;
}

} // namespace Clipboard

namespace {

QString megabytes(qint64 bytes)
{
    return QLocale(QLocale::French).toString(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" Mo");
}

// Another client's offer, read within the budget on a connection of our own.
std::optional<Clipboard::Snapshot> foreignSnapshot(Clipboard::Mode mode)
{
    const char *selection = mode == Clipboard::Mode::Primary ? "PRIMARY" : "CLIPBOARD";
    const std::optional<SelectionReader::Result> read =
        dataControl() ? WaylandClipboard::read(mode, Clipboard::kSnapshotSilenceMs, Clipboard::kSnapshotBudgetMs,
                                               Clipboard::kSnapshotMaxFormatBytes, Clipboard::wantedTargets)
                      : SelectionReader::read(selection, Clipboard::kSnapshotSilenceMs, Clipboard::kSnapshotBudgetMs,
                                              Clipboard::kSnapshotMaxFormatBytes, Clipboard::wantedTargets);
    if (!read)
        return std::nullopt;
    Clipboard::Snapshot result;
    for (const auto &[target, bytes] : read->formats) {
        if (target == QLatin1String("STRING"))
            result.formats.append({QStringLiteral("text/plain"), QString::fromLatin1(bytes).toUtf8()});
        else if (textTargets().contains(target))
            result.formats.append({QStringLiteral("text/plain"), bytes});
        else
            result.formats.append({target, bytes});
    }
    const QString name = mode == Clipboard::Mode::Primary ? QStringLiteral("sélection") : QStringLiteral("presse-papiers");
    for (const auto &[target, size] : read->tooLarge)
        Log::write(name + QStringLiteral(": ") + target + QStringLiteral(" non gardé (")
                   + (size >= 0 ? megabytes(size) + QStringLiteral(", au-delà de ") : QStringLiteral("plus de "))
                   + megabytes(Clipboard::kSnapshotMaxFormatBytes) + QStringLiteral(")"));
    if (read->timedOut)
        Log::write(name + QStringLiteral(": le propriétaire ne répond pas en ")
                   + QString::number(Clipboard::kSnapshotSilenceMs) + QStringLiteral(" ms, contenu ")
                   + (result.isEmpty() ? QStringLiteral("non gardé") : QStringLiteral("gardé en partie")));
    return result;
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

std::optional<QString> Snapshot::text() const
{
    for (const auto &[name, bytes] : formats)
        if (name == QLatin1String("text/plain"))
            return QString::fromUtf8(bytes);
    return std::nullopt;
}

Snapshot snapshot(Mode mode)
{
    if (dataControl())
        return ownedHere(mode) ? WaylandClipboard::own(mode) : foreignSnapshot(mode).value_or(Snapshot{});
    Snapshot result;
    QClipboard *clipboard = board();
    if (!clipboard)
        return result;
    // The toolkit's own reads wait up to 5 s per format on a silent owner, and
    // carry a timestamp that an owner of a moment ago refuses.
    if (!ownedHere(mode))
        if (std::optional<Snapshot> foreign = foreignSnapshot(mode))
            return *foreign;
    const QMimeData *mime = clipboard->mimeData(qtMode(mode));
    if (!mime)
        return result;
    const QStringList formats = mime->formats();
    for (const QString &format : formats) {
        if (derived(format) || sideEffects(format))
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
    if (dataControl()) {
        WaylandClipboard::set(mode, saved.formats);
        return;
    }
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
    if (dataControl()) {
        WaylandClipboard::set(mode, {{QStringLiteral("text/plain"), text.toUtf8()}});
        return;
    }
    QClipboard *clipboard = board();
    if (!clipboard)
        return;
    clipboard->clear(qtMode(mode));
    clipboard->setText(text, qtMode(mode));
}

void clear()
{
    if (dataControl()) {
        WaylandClipboard::set(Mode::Clipboard, {});
        return;
    }
    if (QClipboard *clipboard = board())
        clipboard->clear(QClipboard::Clipboard);
}

std::optional<QString> text()
{
    if (dataControl()) {
        if (ownedHere())
            return WaylandClipboard::own(Mode::Clipboard).text();
        const auto bestText = [](const QStringList &offered) {
            const QStringList wanted = wantedTargets(offered);
            return !wanted.isEmpty() && textTargets().contains(wanted.first()) ? wanted.mid(0, 1) : QStringList();
        };
        const std::optional<SelectionReader::Result> read = WaylandClipboard::read(
            Mode::Clipboard, kSnapshotSilenceMs, kSnapshotBudgetMs, kSnapshotMaxFormatBytes, bestText);
        if (!read || read->formats.isEmpty())
            return std::nullopt;
        const auto &[target, bytes] = read->formats.first();
        return target == QLatin1String("STRING") ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
    }
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
    if (dataControl())
        return WaylandClipboard::ownedHere(mode);
    QClipboard *clipboard = board();
    if (!clipboard)
        return false;
    return mode == Mode::Primary ? clipboard->ownsSelection() : clipboard->ownsClipboard();
}

quint64 changeCount()
{
    if (dataControl())
        return WaylandClipboard::changeCount();
    board();
    return changes.load();
}

bool handOverAtQuit(int budgetMs)
{
    // Wayland has no hand-over: a clipboard manager, when one runs, copied it already.
    if (dataControl())
        return false;
    QClipboard *clipboard = board();
    if (!clipboard || (!clipboard->ownsClipboard() && !clipboard->ownsSelection()))
        return true;
    bool kept = false;
    Display *dpy = X11::display();
    if (dpy && clipboard->ownsClipboard()) {
        const Atom manager = XInternAtom(dpy, "CLIPBOARD_MANAGER", False);
        if (XGetSelectionOwner(dpy, manager) != None) {
            const Window requestor = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
            XConvertSelection(dpy, manager, XInternAtom(dpy, "SAVE_TARGETS", False),
                              XInternAtom(dpy, "OMBRY_SAVE_TARGETS", False), requestor, CurrentTime);
            XFlush(dpy);
            QElapsedTimer clock;
            clock.start();
            XEvent event;
            bool answered = false;
            while (!answered && clock.elapsed() < budgetMs) {
                // The toolkit answers the manager's requests for our content meanwhile.
                QCoreApplication::processEvents(QEventLoop::AllEvents);
                answered = XCheckTypedWindowEvent(dpy, requestor, SelectionNotify, &event);
                if (!answered)
                    QThread::msleep(2);
            }
            kept = answered && event.xselection.property != None;
            XDestroyWindow(dpy, requestor);
            XFlush(dpy);
            Log::write(kept ? QStringLiteral("presse-papiers: confié au gestionnaire en %1 ms").arg(clock.elapsed())
                            : QStringLiteral("presse-papiers: le gestionnaire n'a pas répondu à temps"));
        }
    }
    // Given up only while still ours: a manager that took it over keeps it.
    if (clipboard->ownsClipboard())
        clipboard->clear(QClipboard::Clipboard);
    if (clipboard->ownsSelection())
        clipboard->clear(QClipboard::Selection);
    return kept;
}

} // namespace Clipboard
