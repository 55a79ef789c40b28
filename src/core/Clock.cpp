#include "core/Clock.h"

#include <QElapsedTimer>

namespace Clock {

qint64 monotonicMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

} // namespace Clock
