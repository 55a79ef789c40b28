#pragma once

#include "engines/OmbryAI.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QCoroTask>

#include <optional>

class AppSettings;
class KeyStore;
class Navigation;
class QQmlEngine;
class Store;
class Updater;

namespace Diagnostics {

// The program's objects a switch works on, handed in by start-up.
struct Program
{
    AppSettings *settings = nullptr;
    Store *store = nullptr;
    KeyStore *keys = nullptr;
    Updater *updater = nullptr;
    Navigation *navigation = nullptr;
    // Null unless the switch draws.
    QQmlEngine *engine = nullptr;

    // The cloud requests go through these settings, keys and store.
    OmbryAI::Access access() const;
};

} // namespace Diagnostics

// The diagnostic switches: `ombry-voice --fasttest file.wav` runs one engine
// without any interface, prints its result and ends the process.
namespace CommandLine {

struct Switch
{
    const char *name;                       // "--fasttest"
    int values;                             // arguments it takes after it: 0, 1 or 2
    QCoro::Task<> (*run)(QStringList values, Diagnostics::Program program); // the work, in an asynchronous task
    // Draws: needs the graphical application object and the program's QML engine.
    bool draws = false;

    bool gui() const { return draws; }
};

// Every switch, in the order in which they are tested.
const QList<Switch> &table();

struct Match
{
    const Switch *which = nullptr;
    QStringList values;
};

// The first switch of `switches` (in table order) that stands in `arguments` (the
// program path included) with all its values after it; its values are the
// arguments right after its first occurrence.
std::optional<Match> find(const QStringList &arguments, const QList<Switch> &switches = table());

// The text of --help, in French.
QString usage();

// Start-up's look at the command line: when a switch takes over, starts its work
// and returns true; the work ends the process.
bool examine(const QStringList &arguments, const Diagnostics::Program &program);

} // namespace CommandLine

// What every diagnostic body shares.
namespace Diagnostics {

// Writes one line to standard output at once.
void print(const QString &line);
// Seconds as "%.1f" (always with a point).
QString seconds(double value);
// Reads a whole file (a relative path resolves against the current directory);
// throws std::runtime_error with a French description when it cannot.
QByteArray readFile(const QString &path);
// Awaits `work`; a failure prints "erreur: " + its description. Then writes the
// pending saves of `store` and ends the event loop with status 0.
QCoro::Task<> runToEnd(QCoro::Task<> work, Store *store);

// The switches' work, one file per area.
QCoro::Task<> chunkTest(QStringList values, Program program);
QCoro::Task<> update(QStringList values, Program program);
QCoro::Task<> fastTest(QStringList values, Program program);
QCoro::Task<> callTest(QStringList values, Program program);
QCoro::Task<> command(QStringList values, Program program);
QCoro::Task<> translate(QStringList values, Program program);
QCoro::Task<> correct(QStringList values, Program program);
QCoro::Task<> onDeviceTest(QStringList values, Program program);
QCoro::Task<> icon(QStringList values, Program program);
QCoro::Task<> snapshot(QStringList values, Program program);

} // namespace Diagnostics
