#include "platform/SelectionReader.h"

#include <QElapsedTimer>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <climits>
#include <poll.h>

namespace SelectionReader {
namespace {

// A connection of our own: its events never mix with the toolkit's or the
// platform layer's. Opened on first use, kept for the process.
Display *connection()
{
    static Display *dpy = XOpenDisplay(nullptr);
    return dpy;
}

struct Reader
{
    Display *dpy;
    Window window;
    Atom selection;
    Atom incr;
    QElapsedTimer clock;
    int silenceMs;
    int budgetMs;
    int serial = 0;

    // The next event for our window, or false when the owner stayed silent too
    // long or the whole budget is spent.
    bool next(XEvent *event)
    {
        QElapsedTimer quiet;
        quiet.start();
        for (;;) {
            while (XPending(dpy)) {
                XNextEvent(dpy, event);
                if (event->xany.window == window)
                    return true;
            }
            const int wait = int(qMin<qint64>(budgetMs - clock.elapsed(), silenceMs - quiet.elapsed()));
            if (wait <= 0)
                return false;
            pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
            ::poll(&fd, 1, wait);
        }
    }

    // A fresh property for each request: an abandoned transfer may still write
    // into the previous one.
    Atom property()
    {
        const QByteArray name = "OMBRY_SELECTION_" + QByteArray::number(serial++);
        return XInternAtom(dpy, name.constData(), False);
    }

    struct Chunk
    {
        Atom type = None;
        int format = 0;
        QByteArray bytes;
    };

    // Reads and deletes the property.
    Chunk take(Atom prop)
    {
        Chunk chunk;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(dpy, window, prop, 0, LONG_MAX / 4, True, AnyPropertyType, &chunk.type, &chunk.format,
                               &items, &after, &data) != Success)
            return {};
        if (data) {
            // Xlib hands 32-bit items out as longs.
            const qsizetype unit = chunk.format == 32 ? qsizetype(sizeof(long)) : chunk.format / 8;
            chunk.bytes = QByteArray(reinterpret_cast<const char *>(data), qsizetype(items) * unit);
            XFree(data);
        }
        return chunk;
    }

    enum class Outcome { Done, Refused, TimedOut, TooLarge };

    Outcome convert(Atom target, qint64 maxBytes, Chunk *out, qint64 *announced)
    {
        const Atom prop = property();
        XConvertSelection(dpy, selection, target, prop, window, CurrentTime);
        XFlush(dpy);
        XEvent event;
        for (;;) {
            if (!next(&event))
                return Outcome::TimedOut;
            if (event.type == SelectionNotify && event.xselection.selection == selection
                && event.xselection.target == target)
                break;
        }
        if (event.xselection.property == None)
            return Outcome::Refused;
        Chunk first = take(prop);
        if (first.type != incr) {
            if (first.bytes.size() > maxBytes) {
                *announced = first.bytes.size();
                return Outcome::TooLarge;
            }
            *out = std::move(first);
            return Outcome::Done;
        }
        // Incremental transfer: the first value is a lower bound of the size; each
        // deletion asks for the next chunk, an empty one ends it.
        const qint64 size = first.bytes.size() >= qsizetype(sizeof(long))
                                ? qint64(*reinterpret_cast<const long *>(first.bytes.constData()))
                                : 0;
        if (size > maxBytes) {
            *announced = size;
            return Outcome::TooLarge;
        }
        Chunk whole;
        for (;;) {
            if (!next(&event))
                return Outcome::TimedOut;
            if (event.type != PropertyNotify || event.xproperty.atom != prop || event.xproperty.state != PropertyNewValue)
                continue;
            Chunk chunk = take(prop);
            if (chunk.bytes.isEmpty())
                break;
            whole.type = chunk.type;
            whole.format = chunk.format;
            whole.bytes += chunk.bytes;
            if (whole.bytes.size() > maxBytes) {
                *announced = -1; // the whole size is not told
                return Outcome::TooLarge;
            }
        }
        *out = std::move(whole);
        return Outcome::Done;
    }
};

QString atomName(Display *dpy, Atom atom)
{
    char *name = XGetAtomName(dpy, atom);
    if (!name)
        return {};
    const QString result = QString::fromLatin1(name);
    XFree(name);
    return result;
}

std::optional<Result> readOn(Display *dpy, const char *selection, const Bounds &bounds,
                             const std::function<QStringList(const QStringList &offered)> &wanted)
{
    if (!dpy)
        return std::nullopt;
    Result result;
    Reader reader{dpy, None, XInternAtom(dpy, selection, False), XInternAtom(dpy, "INCR", False), {}, bounds.listMs,
                  bounds.budgetMs};
    reader.clock.start();
    if (XGetSelectionOwner(dpy, reader.selection) == None) {
        result.empty = true;
        return result;
    }
    reader.window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(dpy, reader.window, PropertyChangeMask);

    Reader::Chunk targets;
    qint64 ignored = 0;
    const Reader::Outcome listed =
        reader.convert(XInternAtom(dpy, "TARGETS", False), 1 << 20, &targets, &ignored);
    if (listed == Reader::Outcome::TimedOut)
        result.timedOut = true;
    if (listed == Reader::Outcome::Done && targets.format == 32) {
        QStringList offered;
        const auto *atoms = reinterpret_cast<const long *>(targets.bytes.constData());
        for (qsizetype i = 0; i < targets.bytes.size() / qsizetype(sizeof(long)); ++i)
            offered << atomName(dpy, Atom(atoms[i]));
        // A busy owner is waited for longer on each format than on its list.
        reader.silenceMs = bounds.formatMs;
        const QStringList targetsToRead = wanted(offered);
        for (qsizetype i = 0; i < targetsToRead.size(); ++i) {
            const QString &name = targetsToRead[i];
            Reader::Chunk chunk;
            qint64 size = 0;
            const Reader::Outcome outcome =
                reader.convert(XInternAtom(dpy, name.toLatin1().constData(), False), bounds.maxBytes, &chunk, &size);
            if (outcome == Reader::Outcome::TimedOut) {
                result.timedOut = true;
                result.leftOut = targetsToRead.mid(i);
                break;
            }
            if (outcome == Reader::Outcome::TooLarge)
                result.tooLarge.append({name, size});
            else if (outcome == Reader::Outcome::Done && chunk.format == 8)
                result.formats.append({name, chunk.bytes});
        }
    }
    XDestroyWindow(dpy, reader.window);
    XSync(dpy, True); // drops what a late owner still sends to the destroyed window
    return result;
}

} // namespace

std::optional<Result> read(const char *selection, const Bounds &bounds,
                           const std::function<QStringList(const QStringList &offered)> &wanted)
{
    return readOn(connection(), selection, bounds, wanted);
}

std::optional<Result> readOnOwnConnection(const char *selection, const Bounds &bounds,
                                          const std::function<QStringList(const QStringList &offered)> &wanted)
{
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return std::nullopt;
    std::optional<Result> result = readOn(dpy, selection, bounds, wanted);
    XCloseDisplay(dpy);
    return result;
}

} // namespace SelectionReader
