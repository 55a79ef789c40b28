#pragma once

#include "dictation/ProcessingRoad.h"

#include <cstdio>

// A road host that owns every road and prints only failures: the road
// benchmarks time the road, not a capsule.
struct BenchRoadHost : RoadHost
{
    bool owns(quint64) const override { return true; }
    void fail(const QString &m) override { std::fprintf(stderr, "échec: %s\n", qPrintable(m)); }
    void show(const QString &) override {}
    void setLastError(const QString &) override {}
    void clearCommandText() override {}
    void finish() override {}
};
