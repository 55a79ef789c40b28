#include "calls/MeetingsSource.h"

#include "model/Store.h"
#include "model/StoreModels.h"
#include "model/UnreadableNotice.h"

MeetingsSource::MeetingsSource(QObject *parent) : MeetingsSource(Store::shared(), parent) {}

MeetingsSource::MeetingsSource(Store *store, QObject *parent)
    : QObject(parent), meetings_(new MeetingsModel(store, this)), store_(store)
{
    connect(meetings_, &MeetingsModel::countChanged, this, &MeetingsSource::countChanged);
}

QObject *MeetingsSource::meetings() const
{
    return meetings_;
}

int MeetingsSource::count() const
{
    return meetings_->count();
}

QString MeetingsSource::unreadableNotice() const
{
    return UnreadableNotice::text(store_, Store::Collection::Meetings);
}
