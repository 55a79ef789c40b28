#pragma once

#include "platform/KeySteps.h"

#include <QString>

// A keyboard of our own made through uinput: the kernel hands its keys to the
// compositor like a real keyboard's, so it types into any window. Made once at
// start-up, because the compositor takes a moment to adopt a new device.
class UinputKeyboard
{
public:
    // The name the device shows (the key readers skip it: its keys are ours).
    static constexpr const char *kDeviceName = "Ombry Voice clavier virtuel";

    UinputKeyboard() = default;
    ~UinputKeyboard();
    UinputKeyboard(const UinputKeyboard &) = delete;
    UinputKeyboard &operator=(const UinputKeyboard &) = delete;

    // Creates the device; false when the node cannot be opened for writing or
    // refuses the set-up.
    bool open(const QString &node = QStringLiteral("/dev/uinput"));
    bool isOpen() const { return fd_ >= 0; }

    bool send(const QList<KeySteps::Step> &steps);

    // One EV_KEY event and one SYN_REPORT per step, written to `fd`.
    static bool writeEvents(int fd, const QList<KeySteps::Step> &steps);

private:
    int fd_ = -1;
};
