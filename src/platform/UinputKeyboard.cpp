#include "platform/UinputKeyboard.h"

#include "core/Log.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

UinputKeyboard::~UinputKeyboard()
{
    if (fd_ >= 0) {
        ioctl(fd_, UI_DEV_DESTROY);
        ::close(fd_);
    }
}

bool UinputKeyboard::open(const QString &node)
{
    if (fd_ >= 0)
        return true;
    const int fd = ::open(QFile::encodeName(node).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_SYN) == 0;
    for (quint16 code : KeySteps::allCodes())
        ok = ok && ioctl(fd, UI_SET_KEYBIT, int(code)) == 0;
    uinput_setup setup = {};
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x4f56; // "OV"
    setup.id.product = 0x0001;
    std::strncpy(setup.name, kDeviceName, UINPUT_MAX_NAME_SIZE - 1);
    ok = ok && ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ioctl(fd, UI_DEV_CREATE) == 0;
    if (!ok) {
        Log::write(QStringLiteral("frappe: uinput refuse le clavier (") + QString::fromLocal8Bit(std::strerror(errno))
                   + QStringLiteral(")"));
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool UinputKeyboard::send(const QList<KeySteps::Step> &steps)
{
    return fd_ >= 0 && !steps.isEmpty() && writeEvents(fd_, steps);
}

bool UinputKeyboard::writeEvents(int fd, const QList<KeySteps::Step> &steps)
{
    QList<input_event> events;
    events.reserve(steps.size() * 2);
    for (const KeySteps::Step &step : steps) {
        input_event key = {};
        key.type = EV_KEY;
        key.code = step.code;
        key.value = step.down ? 1 : 0;
        input_event sync = {};
        sync.type = EV_SYN;
        sync.code = SYN_REPORT;
        events.append(key);
        events.append(sync);
    }
    const auto *bytes = reinterpret_cast<const char *>(events.constData());
    qsizetype left = events.size() * qsizetype(sizeof(input_event));
    while (left > 0) {
        const ssize_t written = ::write(fd, bytes, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        left -= written;
    }
    return true;
}
