#pragma once

#include "SessionReport.h"

#include <QList>
#include <QProcess>

// The yardstick for the timing figures: a process that does nothing but sleep to
// absolute 20 ms deadlines (clock_nanosleep, TIMER_ABSTIME) and note how late each
// wake-up was. Running beside the tool, it shows what the machine's scheduler does
// to any sleeper at that moment; the tool is judged against that, not against an
// idle machine.
namespace ReferenceSleeper {

inline constexpr char Mode[] = "--reference-sleeper";
inline constexpr qint64 PeriodNs = 20'000'000;

struct Wake {
    qint64 deadline = 0; // CLOCK_MONOTONIC ns
    qint64 lateNs = 0;
};

// The child: sleeps until SIGTERM, then prints "wake <deadline> <late>" lines.
int runChild();

// The lateness in ms of the wake-ups whose deadlines fall within the phase.
QList<double> latenessMs(const QList<Wake>& wakes, const Phase& phase);
// How far each interval between successive wake-ups within the phase strayed from the
// period, in ms: a difference of two wake-ups, as an interval of the tool's is.
QList<double> intervalErrorsMs(const QList<Wake>& wakes, const Phase& phase);

} // namespace ReferenceSleeper

// The child process, started and stopped by the bench.
class ReferenceSleeperProcess {
public:
    ReferenceSleeperProcess() = default;
    ReferenceSleeperProcess(const ReferenceSleeperProcess&) = delete;
    ReferenceSleeperProcess& operator=(const ReferenceSleeperProcess&) = delete;
    ~ReferenceSleeperProcess();

    bool start(QString* error);
    // Stops the child and returns its wake-ups, oldest first.
    QList<ReferenceSleeper::Wake> stop();

private:
    QProcess process_;
};
