#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

class MeetingsModel;
class Store;

// Holds the meetings page's list for QML, which cannot name a model type: the
// saved meetings, newest first, and how many there are.
class MeetingsSource : public QObject
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(QObject *meetings READ meetings CONSTANT)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Said when the meetings' file could not be read at start.
    Q_PROPERTY(QString unreadableNotice READ unreadableNotice CONSTANT)

public:
    explicit MeetingsSource(QObject *parent = nullptr);
    explicit MeetingsSource(Store *store, QObject *parent = nullptr);

    QObject *meetings() const;
    int count() const;
    QString unreadableNotice() const;

Q_SIGNALS:
    void countChanged();

private:
    MeetingsModel *meetings_;
    Store *store_;
};
