#pragma once

#include <QString>

// The one diagnostic output: "journal.log" in the data folder, one line per event.
// Usable from any thread, before the event loop runs and from the audio thread;
// the file work happens on a writer thread of its own.
namespace Log {

// A service's error text in the message (what follows " : erreur <status>") is
// left out: it may echo the user's words, which the journal never holds.
void write(const QString &message);
// The message as write() keeps it.
QString withoutServiceText(const QString &message);

// Where "journal.log" goes, given once at start-up (the data folder). Lines written
// before wait for it.
void setFolder(const QString &folder);

// Location of the file (the data folder's "journal.log"); empty before setFolder().
QString path();

// Blocks until every line handed over so far has reached the file.
void waitUntilWritten();

// Writes what is queued and joins the writer thread; later writes start it again.
void shutdown();

} // namespace Log
