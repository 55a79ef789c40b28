#pragma once

// What the dictation controller's source files share.

#include "dictation/DictationController.h"

#include "core/Log.h"
#include "engines/EngineError.h"

#include <QMutex>
#include <QPointer>

#include <memory>

class MeetingSpool;

// A recording being worked on, from its hand-over until its road ends: what the
// quit sequence waits for, or keeps.
class DictationController::Underway
{
public:
    Underway(DictationController *controller, const QUuid &id, const QByteArray &wav, Dictation entry)
        : controller_(controller), id_(id)
    {
        controller->underway_.insert(id, Kept{std::move(entry), wav});
    }
    ~Underway()
    {
        if (!controller_)
            return;
        // Ended by its road: in the history, or not to be kept (a voice command).
        if (controller_->underway_.remove(id_))
            controller_->releaseSpool(id_);
        controller_->wakeQuitWait();
    }
    Underway(const Underway &) = delete;
    Underway &operator=(const Underway &) = delete;

private:
    QPointer<DictationController> controller_;
    QUuid id_;
};

// The spool that the recorder's thread writes each block into.
struct DictationController::SpoolSlot
{
    QMutex lock;
    std::shared_ptr<MeetingSpool> spool;
};

namespace DictationDetail {

// A processing that ended on an exception: logged; the text to tell the user.
inline QString uncaught(const std::exception &error)
{
    Log::write(QStringLiteral("traitement: exception (") + describe(error) + QLatin1Char(')'));
    return describe(error);
}

} // namespace DictationDetail
