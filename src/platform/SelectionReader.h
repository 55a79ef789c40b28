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
    // No client owns the selection.
    bool empty = false;
};

// `selection` is "CLIPBOARD" or "PRIMARY". The owner may stay silent `silenceMs`
// at most before each answer, and the whole read takes `budgetMs` at most. `wanted` picks the targets to read
// from the offered list, in the order to read them. None without an X server.
std::optional<Result> read(const char *selection, int silenceMs, int budgetMs, qint64 maxBytes,
                           const std::function<QStringList(const QStringList &offered)> &wanted);

} // namespace SelectionReader
