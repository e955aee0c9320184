#pragma once

#include "SessionReport.h"

#include <QByteArray>
#include <QList>

// A frame as the simulator saw it: a request in or a reply out.
struct WireFrame {
    qint64 at = 0; // monotonic ns, taken when the simulator logged it
    bool request = false;
    QByteArray bytes;
};

struct Spread {
    int count = 0;
    double min = 0, median = 0, p95 = 0, p99 = 0, max = 0;
    double width() const { return max - min; }
};
Spread spreadOf(QList<double> values);

// The stamps that fall within the phase.
QList<qint64> within(const QList<qint64>& stamps, const Phase& phase);
// When the simulator sent its replies: every reply, or the block-read replies from
// `since` on.
QList<qint64> replies(const QList<WireFrame>& line);
QList<qint64> blockReplies(const QList<WireFrame>& line, qint64 since);
// From the k-th stamp of `from` to the k-th of `to`, in ms: events that come one
// for one, such as the replies of reads sent one at a time and their decodes.
QList<double> pairedMs(const QList<qint64>& from, const QList<qint64>& to);
// For each request that reached the simulator within the phase, from the latest of
// `ends` before it (and within the phase), in ms.
QList<double> untilRequestMs(const QList<WireFrame>& line, const Phase& phase,
                             const QList<qint64>& ends);
// Between successive block-read requests within the phase, in ms.
QList<double> readIntervalsMs(const QList<WireFrame>& line, const Phase& phase);
// (last - first) - (n - 1) * period over the same requests, in ms.
double driftMs(const QList<WireFrame>& line, const Phase& phase, double periodMs);
