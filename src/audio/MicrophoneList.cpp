#include "audio/MicrophoneList.h"

#include "platform/Permissions.h"
#include "platform/PulseContext.h"

#include <QPointer>
#include <QThreadPool>

MicrophoneList::MicrophoneList(PulseContext &pulse, QObject *parent)
    : MicrophoneList([&pulse] { return Microphones::all(pulse); },
                     [&pulse](std::function<void()> changed) { return pulse.watchSources(std::move(changed)); }, parent)
{
    pulse_ = &pulse;
}

MicrophoneList::MicrophoneList(Query query, Watch watch, QObject *parent)
    : QObject(parent), query_(std::move(query)), watch_(std::move(watch))
{
    connect(&recheck_, &QTimer::timeout, this, &MicrophoneList::refresh);
}

void MicrophoneList::setRecheckInterval(int ms)
{
    if (ms <= 0) {
        recheck_.stop();
        return;
    }
    recheck_.start(ms);
}

MicrophoneList::~MicrophoneList() = default;

void MicrophoneList::refresh()
{
    if (running_) {
        again_ = true;
        return;
    }
    running_ = true;
    QPointer<MicrophoneList> self(this);
    Query query = query_;
    // Cheap once subscribed; subscribes again after the server came back.
    Watch watch = watch_;
    QThreadPool::globalInstance()->start([self, query, watch] {
        bool watching = false;
        if (watch) {
            // The server's news arrives on its own thread: hop to ours.
            watching = watch([self] {
                if (QObject *target = self.data())
                    QMetaObject::invokeMethod(
                        target, [self] { if (self) self->refresh(); }, Qt::QueuedConnection);
            });
        }
        QList<Microphones::Device> devices = query ? query() : QList<Microphones::Device>();
        QObject *target = self.data();
        if (!target)
            return;
        QMetaObject::invokeMethod(
            target,
            [self, devices = std::move(devices), watching] {
                if (self)
                    self->finished(devices, watching);
            },
            Qt::QueuedConnection);
    });
}

void MicrophoneList::finished(QList<Microphones::Device> devices, bool watching)
{
    running_ = false;
    answered_ = true;
    watching_ = watching_ || watching;
    if (devices != devices_) {
        devices_ = std::move(devices);
        Q_EMIT devicesChanged();
    }
    if (again_) {
        again_ = false;
        refresh();
    }
}

bool microphonePresent(const MicrophoneList *list, PulseContext &pulse)
{
    if (!list || !list->answered())
        return Permissions::microphone(pulse);
    return !list->devices().isEmpty();
}
