#pragma once

#include <QtGlobal>

namespace Clock {

// Milliseconds on the process's one monotonic clock, for intervals.
qint64 monotonicMs();

} // namespace Clock
