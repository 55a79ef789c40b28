#include "shell/StoredValue.h"

#include "model/Defaults.h"

StoredValue::StoredValue(Defaults &store, QString key, QJsonValue fallback, QObject *parent)
    : QObject(parent), store_(store), key_(std::move(key))
{
    const QJsonValue stored = store_.object(key_);
    stored_ = !stored.isUndefined();
    value_ = stored_ ? stored : fallback;
}

void StoredValue::setValue(const QJsonValue &value)
{
    if (stored_ && value == value_)
        return;
    const bool differs = value != value_;
    value_ = value;
    stored_ = true;
    store_.set(key_, value);
    if (differs)
        Q_EMIT changed();
}
