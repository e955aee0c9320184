#include "Analysis.h"

#include "Clock.h"

#include <algorithm>
#include <cmath>

namespace {

// Function 03 for registers 0..18: how the tool reads a detector's block.
bool isBlockRead(const WireFrame& f) {
    return f.request && f.bytes.size() == 8 &&
           f.bytes.mid(1, 5) == QByteArray::fromHex("0300000013");
}

// Its normal reply: 19 registers, 38 data bytes.
bool isBlockReply(const WireFrame& f) {
    return !f.request && f.bytes.size() == 43 && f.bytes.mid(1, 2) == QByteArray::fromHex("0326");
}

QList<qint64> blockReads(const QList<WireFrame>& line, const Phase& phase) {
    QList<qint64> out;
    for (const WireFrame& f : line)
        if (phase.contains(f.at) && isBlockRead(f))
            out << f.at;
    return out;
}

// Nearest rank.
double percentile(const QList<double>& sorted, double p) {
    const auto rank = qsizetype(std::ceil(p / 100.0 * double(sorted.size())));
    return sorted[std::clamp<qsizetype>(rank - 1, 0, sorted.size() - 1)];
}

} // namespace

Spread spreadOf(QList<double> values) {
    Spread s;
    s.count = int(values.size());
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    s.min = values.front();
    s.max = values.back();
    s.median = values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
    s.p95 = percentile(values, 95);
    s.p99 = percentile(values, 99);
    return s;
}

QList<qint64> within(const QList<qint64>& stamps, const Phase& phase) {
    QList<qint64> out;
    std::copy_if(stamps.begin(), stamps.end(), std::back_inserter(out),
                 [&phase](qint64 t) { return phase.contains(t); });
    return out;
}

QList<qint64> replies(const QList<WireFrame>& line) {
    QList<qint64> out;
    for (const WireFrame& f : line)
        if (!f.request)
            out << f.at;
    return out;
}

// No upper bound: the simulator stamps a reply just after writing it, and the tool
// may be done with it before that, past the end of the tool's phase.
QList<qint64> blockReplies(const QList<WireFrame>& line, qint64 since) {
    QList<qint64> out;
    for (const WireFrame& f : line)
        if (f.at >= since && isBlockReply(f))
            out << f.at;
    return out;
}

QList<double> pairedMs(const QList<qint64>& from, const QList<qint64>& to) {
    QList<double> out;
    for (qsizetype k = 0; k < std::min(from.size(), to.size()); ++k)
        out << nsToMs(to[k] - from[k]);
    return out;
}

QList<double> untilRequestMs(const QList<WireFrame>& line, const Phase& phase,
                             const QList<qint64>& ends) {
    QList<double> out;
    for (const WireFrame& f : line) {
        if (!f.request || !phase.contains(f.at))
            continue;
        const auto after = std::lower_bound(ends.begin(), ends.end(), f.at);
        if (after != ends.begin() && phase.contains(*(after - 1)))
            out << nsToMs(f.at - *(after - 1));
    }
    return out;
}

QList<double> readIntervalsMs(const QList<WireFrame>& line, const Phase& phase) {
    const QList<qint64> reads = blockReads(line, phase);
    QList<double> out;
    for (qsizetype i = 1; i < reads.size(); ++i)
        out << nsToMs(reads[i] - reads[i - 1]);
    return out;
}

double driftMs(const QList<WireFrame>& line, const Phase& phase, double periodMs) {
    const QList<qint64> reads = blockReads(line, phase);
    if (reads.size() < 2)
        return 0;
    return nsToMs(reads.back() - reads.front()) - double(reads.size() - 1) * periodMs;
}
