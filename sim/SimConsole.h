#pragma once

#include <QString>

class SimBus;

// The commands kpx-sim takes on its standard input while it runs: apply test gas, switch
// faults, set registers, restart a detector, list the bus.
class SimConsole {
public:
    explicit SimConsole(SimBus& bus) : m_bus(bus) {}

    // Runs one command line; returns what to print (an error text for bad input).
    QString execute(const QString& line);
    QString list() const;
    static QString help();

private:
    SimBus& m_bus;
};
