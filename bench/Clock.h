#pragma once

#include <QtGlobal>
#include <chrono>

// CLOCK_MONOTONIC on Linux: one clock for every process of the machine, so stamps
// taken by the simulator and by the tool's process can be subtracted.
inline qint64 monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double nsToMs(qint64 ns) {
    return double(ns) / 1e6;
}
