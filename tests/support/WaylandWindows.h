#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <memory>
#include <optional>

// Native Wayland windows for the tests that run under scripts/session --wayland:
// the test client of tests/tools/wayland_client, and a keyboard on the seat,
// which the headless compositor has none of (a window gets the focus, and may
// take the selection, only with one).
namespace WaylandWindows {

// Whether this test runs in a Wayland session with a compositor of the rig.
bool session();

// A virtual keyboard held on the seat for as long as the object lives.
class SeatKeyboard
{
public:
    SeatKeyboard();
    ~SeatKeyboard();
    bool ok() const;

private:
    QProcess process_;
};

// Ends the window's process with the handle.
struct Closer
{
    void operator()(QProcess *process) const;
};
using Window = std::unique_ptr<QProcess, Closer>;

// A window of `appId` that owns CLIPBOARD (or PRIMARY) with `text` once it has
// the focus; null when it did not say it does within 5 s.
Window serve(const QString &appId, bool primary, const QByteArray &text);

// Starts `program` (a native Wayland one asks for GDK_BACKEND=wayland itself),
// or the test client's plain window of `appId`.
Window start(const QString &program, const QStringList &arguments);
Window show(const QString &appId);

// What a window of `appId` reads from the selection once it has the focus;
// none when there was no selection or no answer. The event loop runs meanwhile,
// so that this process can serve a selection it owns.
std::optional<QByteArray> read(const QString &appId, bool primary);

} // namespace WaylandWindows
