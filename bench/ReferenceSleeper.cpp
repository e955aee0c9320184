#include "ReferenceSleeper.h"

#include "Clock.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onTerminate(int) {
    stopRequested = 1;
}

// An hour and more of wake-ups, allocated up front: the loop itself allocates nothing.
constexpr std::size_t kMaxWakes = 200'000;
constexpr int kStopWaitMs = 5000;

} // namespace

int ReferenceSleeper::runChild() {
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a signal ends the sleep under way
    sigaction(SIGTERM, &action, nullptr);

    std::vector<Wake> wakes;
    wakes.reserve(kMaxWakes);
    qint64 deadline = monotonicNs() + PeriodNs;
    while (!stopRequested && wakes.size() < kMaxWakes) {
        timespec ts{};
        ts.tv_sec = time_t(deadline / 1'000'000'000);
        ts.tv_nsec = long(deadline % 1'000'000'000);
        if (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR)
            continue;
        const qint64 woke = monotonicNs();
        wakes.push_back({deadline, woke - deadline});
        // Deadlines missed entirely are skipped, not caught up with.
        do
            deadline += PeriodNs;
        while (deadline <= woke);
    }
    for (const Wake& w : wakes)
        std::printf("wake %lld %lld\n", static_cast<long long>(w.deadline),
                    static_cast<long long>(w.lateNs));
    std::fflush(stdout);
    return 0;
}

QList<double> ReferenceSleeper::latenessMs(const QList<Wake>& wakes, const Phase& phase) {
    QList<double> out;
    for (const Wake& w : wakes)
        if (phase.contains(w.deadline))
            out << nsToMs(w.lateNs);
    return out;
}

QList<double> ReferenceSleeper::intervalErrorsMs(const QList<Wake>& wakes, const Phase& phase) {
    QList<double> out;
    for (qsizetype i = 1; i < wakes.size(); ++i)
        if (phase.contains(wakes[i - 1].deadline) && phase.contains(wakes[i].deadline) &&
            wakes[i].deadline - wakes[i - 1].deadline == PeriodNs)
            out << nsToMs(wakes[i].lateNs - wakes[i - 1].lateNs);
    return out;
}

ReferenceSleeperProcess::~ReferenceSleeperProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished();
    }
}

bool ReferenceSleeperProcess::start(QString* error) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QCoreApplication::applicationFilePath(),
                   {QLatin1String(ReferenceSleeper::Mode)});
    if (process_.waitForStarted())
        return true;
    *error = process_.errorString();
    return false;
}

QList<ReferenceSleeper::Wake> ReferenceSleeperProcess::stop() {
    QList<ReferenceSleeper::Wake> wakes;
    if (process_.state() == QProcess::NotRunning)
        return wakes;
    process_.terminate();
    if (!process_.waitForFinished(kStopWaitMs)) {
        process_.kill();
        process_.waitForFinished();
        return wakes;
    }
    for (const QByteArray& line : process_.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && fields[0] == "wake")
            wakes << ReferenceSleeper::Wake{fields[1].toLongLong(), fields[2].toLongLong()};
    }
    return wakes;
}
