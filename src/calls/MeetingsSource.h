#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("model/Store.h")

class MeetingsModel;
class Store;

// Holds the meetings page's list for QML, which cannot name a model type: the
// saved meetings, newest first, and how many there are. Made in QML, it is given
// the store, which brings the list.
class MeetingsSource : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)
    Q_PROPERTY(QObject *meetings READ meetings NOTIFY meetingsChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Said when the meetings' file could not be read at start.
    Q_PROPERTY(QString unreadableNotice READ unreadableNotice NOTIFY unreadableNoticeChanged)

public:
    explicit MeetingsSource(QObject *parent = nullptr);
    explicit MeetingsSource(Store *store, QObject *parent = nullptr);

    Store *store() const;
    // Once, before the view completes.
    void setStore(Store *store);

    void classBegin() override {}
    void componentComplete() override;

    QObject *meetings() const;
    int count() const;
    QString unreadableNotice() const;

Q_SIGNALS:
    void meetingsChanged();
    void countChanged();
    void unreadableNoticeChanged();

private:
    QPointer<Store> store_;
    bool started_ = false;
    MeetingsModel *meetings_ = nullptr;
};
