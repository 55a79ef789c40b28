#pragma once

#include <QString>
#include <QStringList>

// The private desktop's sound server (scripts/session), stopped and started
// again by a test that needs it gone for a while. The server is started again
// as it was: same command line, the FIFO-fed microphone reloaded, the same
// defaults. A SoundServer that stopped the server restarts it when destroyed.
class SoundServer
{
public:
    SoundServer() = default;
    ~SoundServer();
    SoundServer(const SoundServer &) = delete;
    SoundServer &operator=(const SoundServer &) = delete;

    // Whether the server answers `pactl info`.
    static bool answers();

    // Stops the server and waits until it no longer answers; false when it
    // could not be found or did not stop.
    bool stop();
    // Starts it again (when stop() stopped it) and waits until it answers.
    bool restart();

private:
    QStringList command_; // the daemon's own argv, taken before it was stopped
};
