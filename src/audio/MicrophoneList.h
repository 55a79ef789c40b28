#pragma once

#include "audio/Microphones.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

class PulseContext;

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

    // Reads and watches through `pulse`, which outlives the list.
    explicit MicrophoneList(PulseContext &pulse, QObject *parent = nullptr);
    MicrophoneList(Query query, Watch watch, QObject *parent = nullptr);
    ~MicrophoneList() override;
    // The connection the list reads through; null for one made of fakes.
    PulseContext *pulse() const { return pulse_; }

    // The last list read; empty until the first answer.
    const QList<Microphones::Device> &devices() const { return devices_; }
    // Whether a first read has come back.
    bool answered() const { return answered_; }
    // Reads again in the background; a read already under way is followed by one more.
    void refresh();
    // Also reads every `ms` (0: only on the server's news): a server that goes
    // away or comes back sends no news.
    void setRecheckInterval(int ms);
    // Whether a read is under way.
    bool busy() const { return running_; }

Q_SIGNALS:
    void devicesChanged();

private:
    void finished(QList<Microphones::Device> devices, bool watching);

    PulseContext *pulse_ = nullptr;
    Query query_;
    Watch watch_;
    QList<Microphones::Device> devices_;
    bool running_ = false;
    bool again_ = false;
    bool watching_ = false;
    bool answered_ = false;
    QTimer recheck_;
};

// "A microphone is there", asked at a key press or a menu choice: the list's
// last answer, never a question to the sound server on the calling thread once
// the list has answered; until then `pulse` is asked.
bool microphonePresent(const MicrophoneList *list, PulseContext &pulse);
