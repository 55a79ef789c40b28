#pragma once

#include <QList>
#include <QObject>
#include <QString>

// The result bubble's entry point. The floating window is not built yet: each
// request is kept (the last one observable) so that callers and tests see what
// would be shown.
class BubbleController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title NOTIFY shown)
    Q_PROPERTY(QString original READ original NOTIFY shown)
    Q_PROPERTY(QString text READ text NOTIFY shown)
    Q_PROPERTY(bool visible READ visible NOTIFY visibleChanged)

public:
    struct Request
    {
        QString title;
        QString original;
        QString text;
        bool operator==(const Request &) const = default;
    };

    using QObject::QObject;
    static BubbleController *shared();

    // Replaces any bubble shown with this one. Main thread.
    void show(const QString &title, const QString &original, const QString &text);
    // Removes the current bubble; nothing when none is shown.
    void close();

    QString title() const { return last_.title; }
    QString original() const { return last_.original; }
    QString text() const { return last_.text; }
    bool visible() const { return visible_; }
    // Every request of this run, oldest first.
    const QList<Request> &requests() const { return requests_; }

Q_SIGNALS:
    void shown(const QString &title, const QString &original, const QString &text);
    void visibleChanged();

private:
    Request last_;
    QList<Request> requests_;
    bool visible_ = false;
};
