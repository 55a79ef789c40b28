#include "calls/MeetingsSource.h"

#include "model/Store.h"
#include "model/StoreModels.h"

MeetingsSource::MeetingsSource(QObject *parent) : MeetingsSource(Store::shared(), parent) {}

MeetingsSource::MeetingsSource(Store *store, QObject *parent)
    : QObject(parent), meetings_(new MeetingsModel(store, this))
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
