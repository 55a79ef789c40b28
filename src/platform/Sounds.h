#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The three short system sounds of the program, synthesised at first use and
// played through the sound server.
namespace Sounds {

// "Tink" (a recording starts), "Pop" (it ends or is cancelled), "Basso" (a
// failure). Other names are ignored. Main thread; returns at once.
void play(const QString &name);

// Loads the three sounds so that the first one plays without delay. Main thread.
void preload();

// The WAV data of a sound (44.1 kHz mono 16-bit); empty for an unknown name.
QByteArray wav(const QString &name);

// Called with the name of every sound asked for, before it plays (tests).
void setObserver(std::function<void(const QString &)> observer);

} // namespace Sounds
