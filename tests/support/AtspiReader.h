#pragma once

#include <QCoreApplication>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Reads one window's accessible tree over AT-SPI, as a screen reader does, and
// acts on its nodes. Queries run in a helper process while this one keeps its
// event loop turning, so windows of the test process itself can answer.
class AtspiReader
{
public:
    struct Node
    {
        QString path;  // child indexes from the window, "0/2/1"
        QString role;  // AT-SPI role name: "push button", "label", "frame"…
        QString name;
        QString description;
        QString text;  // the Text interface's whole text, when it has one
        QStringList actions;
        QStringList states; // "showing", "focused", "editable"…
        QRect extents;      // on the screen

        bool showing() const { return states.contains(QLatin1String("showing")); }
    };

    // The window named `title` of process `pid` (this process by default).
    explicit AtspiReader(QString title, qint64 pid = QCoreApplication::applicationPid());

    // The whole tree, the window first; empty when the window is not found.
    QList<Node> nodes(int timeoutMs = 8000) const;
    // Whether the window is on the bus now.
    bool exists() const;

    // The first node shown on screen (state "showing", as a screen reader reads
    // it) of `role` (any when empty) whose name is `name` (any when empty),
    // waiting up to `timeoutMs` for it to appear; 0 looks once.
    std::optional<Node> find(const QString &role, const QString &name = {}, int timeoutMs = 5000) const;
    // Every node of `role`, shown or not.
    QList<Node> all(const QString &role) const;
    // The names and texts of the nodes shown, in tree order (what a screen reader reads).
    QStringList texts() const;
    // The names of the nodes shown of `role` (any when empty), in tree order;
    // nameless nodes are left out.
    QStringList shownNames(const QString &role = {}) const;
    // Performs `action` ("Press", "SetFocus"… as the node lists it; the first
    // one when empty) on the first node of `role` named `name`.
    bool act(const QString &role, const QString &name, const QString &action = {}) const;
    // Presses the push button named `name` and waits up to `timeoutMs` for
    // `done`: false when there is no such button or `done` never holds.
    bool press(const QString &name, const std::function<bool()> &done, int timeoutMs = 5000) const;
    // Performs `action` on `node` as read before, shown or not (a screen reader
    // reaches a node scrolled out of the window too).
    bool act(const Node &node, const QString &action) const;
    // Selects the characters [start, end) of `node`'s text.
    bool select(const Node &node, int start, int end) const;

private:
    QString title_;
    qint64 pid_;
};
