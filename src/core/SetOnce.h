#pragma once

#include <QPointer>

// A service a view-model made in QML is given once, before it starts: a later or
// empty value is ignored. True when it took, for the caller to announce it.
template <class T>
bool setOnce(QPointer<T> &slot, T *value, bool started)
{
    if (started || slot || !value)
        return false;
    slot = value;
    return true;
}
