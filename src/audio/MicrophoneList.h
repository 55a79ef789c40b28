#pragma once

#include "audio/Microphones.h"

#include <QList>
#include <QObject>

#include <functional>

// The input devices, kept current off the main thread: read once at start and
// again whenever the sound server reports a change, so that a menu that opens
// never waits on the server.
class MicrophoneList final : public QObject
{
    Q_OBJECT

public:
    // `query` reads the devices (blocking; run on a worker thread); `watch`
    // subscribes to the server's changes and reports them through its argument
    // (any thread). Tests hand in fakes.
    using Query = std::function<QList<Microphones::Device>()>;
    using Watch = std::function<bool(std::function<void()> changed)>;

    explicit MicrophoneList(QObject *parent = nullptr);
    MicrophoneList(Query query, Watch watch, QObject *parent = nullptr);
    ~MicrophoneList() override;

    // The last list read; empty until the first answer.
    const QList<Microphones::Device> &devices() const { return devices_; }
    // Reads again in the background; a read already under way is followed by one more.
    void refresh();
    // Whether a read is under way.
    bool busy() const { return running_; }

Q_SIGNALS:
    void devicesChanged();

private:
    void finished(QList<Microphones::Device> devices, bool watching);

    Query query_;
    Watch watch_;
    QList<Microphones::Device> devices_;
    bool running_ = false;
    bool again_ = false;
    bool watching_ = false;
};
