#pragma once

#include <QString>
#include <QStringList>

// The tool's side of the bench, in a process of its own so that its memory and CPU
// time are the tool's alone: the main window scripted as a user would drive it
// against the simulator's pseudo-terminal. It prints a SessionReport on stdout.
struct SessionPlan {
    static constexpr char Mode[] = "--tool-session";

    // The detector the bench adds with a stray byte before every reply.
    static constexpr int NoisyDetector = 99;

    QString port;
    int reads = 200;
    int cycleMs = 40000;
    int noiseReads = 100;

    // The command line of the child process, and back.
    QStringList arguments() const;
    static SessionPlan fromArguments(const QStringList& arguments);
};

int runToolSession(int argc, char* argv[]);
