#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Reads an X selection owned by another client on a connection of its own, with
// a deadline and a size cap: a hung or slow owner costs the caller the budget,
// never more, and a huge offer is left out instead of copied. Requests carry
// CurrentTime, so an owner that took the selection a moment ago (before this
// process heard of it) still answers.
namespace SelectionReader {

struct Result
{
    // Target names as the owner offers them, with their bytes.
    QList<QPair<QString, QByteArray>> formats;
    // Targets left out because they were larger than the cap (name and size, -1
    // when the owner did not tell it).
    QList<QPair<QString, qint64>> tooLarge;
    // The owner stopped answering before everything was read.
    bool timedOut = false;
    // The wanted targets left unread when it did (the one it did not answer
    // and those after it).
    QStringList leftOut;
    // No client owns the selection.
    bool empty = false;
};

// How long an owner may take: `listMs` to tell its targets (an owner that
// cannot is hung), `formatMs` before each answer for one format (an image may
// take seconds to encode), `budgetMs` for the whole read; formats larger than
// `maxBytes` are left out.
struct Bounds
{
    int listMs = 500;
    int formatMs = 500;
    int budgetMs = 1000;
    qint64 maxBytes = 8 * 1024 * 1024;
};

// `selection` is "CLIPBOARD" or "PRIMARY". `wanted` picks the targets to read
// from the offered list, in the order to read them. None without an X server.
// Main thread, on a connection kept for the process.
std::optional<Result> read(const char *selection, const Bounds &bounds,
                           const std::function<QStringList(const QStringList &offered)> &wanted);
// The same on a connection opened for this read alone: callable from any thread.
std::optional<Result> readOnOwnConnection(const char *selection, const Bounds &bounds,
                                          const std::function<QStringList(const QStringList &offered)> &wanted);

} // namespace SelectionReader
