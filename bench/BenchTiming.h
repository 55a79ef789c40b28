#pragma once

// Timing helpers the benchmarks share: a median resists the odd slow run
// caused by other work on the machine.

#include <QElapsedTimer>
#include <QList>

#include <algorithm>
#include <functional>

namespace BenchTiming {

// The middle value; 0 for none.
inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Median of `runs` timings of `work`, in milliseconds.
inline double medianMs(int runs, const std::function<void()> &work)
{
    QList<double> times;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    return median(times);
}

} // namespace BenchTiming
