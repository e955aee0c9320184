#pragma once

#include <QtGlobal>

#include <cerrno>
#include <ctime>

// CLOCK_MONOTONIC in nanoseconds: the one clock for stamps on the line. It never
// jumps with the wall clock and is shared by every process of the machine, so a
// stamp taken here can be compared with one taken at the far end of a pseudo-terminal.
inline qint64 MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Sleeps until the monotonic clock reaches the stamp (already past: returns at once).
inline void SleepUntilNs(qint64 at) {
    timespec ts{};
    ts.tv_sec = time_t(at / 1'000'000'000);
    ts.tv_nsec = long(at % 1'000'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}
