#pragma once

#include <QString>
#include <QUuid>

class Store;

// A dictation's recording is written to the data folder while it is made (as a
// meeting's is, through MeetingSpool), so that a crash or a kill loses none of
// it. The file goes once the dictation is safe in the history.
namespace DictationSpool {

// "dictee-en-cours-<UUID>.wav" in the store's data folder.
QString path(const Store *store, const QUuid &id);

// The dictation `id` is settled: in the history with its recording, or not to
// be kept at all (cancelled, too short, a voice command). Its spool goes once
// the history file that names it is written; at once when no entry names it.
void release(Store *store, const QUuid &id);

// Spools left by an interrupted run become "Dictée non transcrite" entries,
// their recording moved into the audio folder. A spool whose dictation reached
// the history only fills in a recording that is missing; a spool too short to
// hold speech goes. Returns the number of entries made.
int recover(Store *store);

// What the user is told about `count` recovered dictations.
QString recoveredText(int count);

} // namespace DictationSpool
