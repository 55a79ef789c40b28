#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QCoroTask>

#include <optional>

class QQmlEngine;

// The diagnostic switches: `ombry-voice --fasttest file.wav` runs one engine
// without any interface, prints its result and ends the process.
namespace CommandLine {

struct Switch
{
    const char *name;                       // "--fasttest"
    int values;                             // arguments it takes after it: 0, 1 or 2
    QCoro::Task<> (*run)(QStringList values); // the work, in an asynchronous task
    // Instead of run, for a switch that draws: the graphical application
    // object and the program's QML engine.
    QCoro::Task<> (*draw)(QStringList values, QQmlEngine *engine) = nullptr;

    bool gui() const { return draw; }
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
bool examine(const QStringList &arguments, QQmlEngine *engine);

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
// pending saves and ends the event loop with status 0.
QCoro::Task<> runToEnd(QCoro::Task<> work);

// The switches' work, one file per area.
QCoro::Task<> chunkTest(QStringList values);
QCoro::Task<> update(QStringList values);
QCoro::Task<> fastTest(QStringList values);
QCoro::Task<> callTest(QStringList values);
QCoro::Task<> command(QStringList values);
QCoro::Task<> translate(QStringList values);
QCoro::Task<> correct(QStringList values);
QCoro::Task<> onDeviceTest(QStringList values);
QCoro::Task<> icon(QStringList values);
QCoro::Task<> snapshot(QStringList values, QQmlEngine *engine);

} // namespace Diagnostics
