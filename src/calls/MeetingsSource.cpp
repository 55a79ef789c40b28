#include "calls/MeetingsSource.h"

#include "core/SetOnce.h"
#include "model/Store.h"
#include "model/StoreModels.h"
#include "model/UnreadableNotice.h"

MeetingsSource::MeetingsSource(QObject *parent) : QObject(parent) {}

MeetingsSource::MeetingsSource(Store *store, QObject *parent) : QObject(parent)
{
    setStore(store);
    started_ = true;
}

Store *MeetingsSource::store() const
{
    return store_;
}

// Made when the store comes, so that the view lays its first rows out with them.
void MeetingsSource::setStore(Store *store)
{
    if (!setOnce(store_, store, started_))
        return;
    meetings_ = new MeetingsModel(store_, this);
    connect(meetings_, &MeetingsModel::countChanged, this, &MeetingsSource::countChanged);
    Q_EMIT meetingsChanged();
    Q_EMIT countChanged();
    Q_EMIT unreadableNoticeChanged();
}

void MeetingsSource::componentComplete()
{
    started_ = true;
}

QObject *MeetingsSource::meetings() const
{
    return meetings_;
}

int MeetingsSource::count() const
{
    return meetings_ ? meetings_->count() : 0;
}

QString MeetingsSource::unreadableNotice() const
{
    return UnreadableNotice::text(store_, Store::Collection::Meetings);
}
