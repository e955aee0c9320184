#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// A span of the tool session, in monotonic nanoseconds.
struct Phase {
    qint64 begin = 0;
    qint64 end = 0;
    bool contains(qint64 t) const { return t >= begin && t <= end; }
};

// What the tool's process measured on itself, handed to the bench as text lines
// on its standard output.
struct SessionReport {
    QMap<QString, Phase> phases; // "latency", "pacing", "cycle", "growth", "noise"
    QList<qint64> handledAt;     // replies taken by the window ("Rx: n" counted)
    QList<qint64> decodedAt;     // blocks decoded into the panel
    qint64 cpuNs = 0;            // process CPU time over the cycle phase
    qint64 rssBaseKb = 0;        // VmRSS once the first block is decoded: the panel's
                                 // one-time allocations are done, "growth" begins
    qint64 rssKb = 0;            // VmRSS at the end of the cycle phase, "growth" ends
    qint64 hwmKb = 0;            // VmHWM then
    int noiseReads = 0;          // block reads of the detector with a stray byte before
    int noiseReplies = 0;        // every reply, and how many of them got their reply
    QStringList prompts;         // any message the window tried to show
    QString error;               // why the session stopped early

    QByteArray serialize() const;
    static SessionReport parse(const QByteArray& text);
};
