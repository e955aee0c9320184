#include "SimConsole.h"

#include "SimBus.h"

#include <QRegularExpression>

namespace {

struct Command {
    const char* name;
    int arguments; // after the detector address; -1: no address either
    const char* usage;
    QString (*run)(SimBus& bus, SimDetector* detector, const QStringList& args);
};

bool toWord(const QString& text, int* value) {
    bool ok = false;
    *value = text.toInt(&ok, 0); // 0x... for hexadecimal
    return ok && *value >= 0 && *value <= 0xFFFF;
}

QString applyGas(SimBus&, SimDetector* detector, const QStringList& args) {
    bool ok = false;
    const double value = args[0].toDouble(&ok);
    if (!ok)
        return QStringLiteral("error: test gas is a number in the gas's first unit");
    detector->applyTestGas(value);
    return QStringLiteral("detector %1: test gas %2, reading %3")
        .arg(detector->address())
        .arg(value)
        .arg(detector->reading(), 0, 'f', 2);
}

QString setFault(SimBus&, SimDetector* detector, const QStringList& args) {
    bool ok = false;
    const int value = args[1].toInt(&ok);
    QString error;
    if (!ok)
        return QStringLiteral("error: fault value is a whole number (0/1 for on/off)");
    if (!simSetFault(detector->faults(), args[0], value, &error))
        return QStringLiteral("error: ") + error;
    return QStringLiteral("detector %1: %2")
        .arg(detector->address())
        .arg(simDescribeFaults(detector->faults()));
}

QString heal(SimBus&, SimDetector* detector, const QStringList&) {
    detector->faults() = SimFaults();
    return QStringLiteral("detector %1: healthy").arg(detector->address());
}

QString setRegister(SimBus&, SimDetector* detector, const QStringList& args) {
    int reg = 0;
    int value = 0;
    if (!toWord(args[0], &reg) || !toWord(args[1], &value) ||
        !detector->setRegister(reg, quint16(value)))
        return QStringLiteral("error: registers are 0..18, values 0..65535 (or 0x0000..0xFFFF)");
    return QStringLiteral("register %1 = 0x%2")
        .arg(reg)
        .arg(QString::number(detector->readRegister(reg), 16)
                 .toUpper()
                 .rightJustified(4, QLatin1Char('0')));
}

QString restart(SimBus&, SimDetector* detector, const QStringList&) {
    detector->restart();
    return QStringLiteral("detector %1 restarted").arg(detector->address());
}

QString showList(SimBus& bus, SimDetector*, const QStringList&) {
    return SimConsole(bus).list();
}

QString showHelp(SimBus&, SimDetector*, const QStringList&) {
    return SimConsole::help();
}

const Command commands[] = {
    {"gas", 1, "gas ADDR VALUE          apply test gas (first unit of the gas; 0 = clean air)",
     &applyGas},
    {"fault", 2, "fault ADDR NAME VALUE   switch a fault (0/1 for on/off, or a number)", &setFault},
    {"heal", 0, "heal ADDR               clear all faults of a detector", &heal},
    {"reg", 2, "reg ADDR REG VALUE      set a register directly", &setRegister},
    {"restart", 0, "restart ADDR            power-cycle a detector (leaves the service mode)",
     &restart},
    {"list", -1, "list                    the detectors and their state", &showList},
    {"help", -1, "help                    this text", &showHelp},
};

} // namespace

QString SimConsole::execute(const QString& line) {
    const QStringList words =
        line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    for (const Command& command : commands) {
        if (words[0] != QLatin1String(command.name))
            continue;
        const int needed = command.arguments < 0 ? 1 : command.arguments + 2;
        if (words.size() != needed)
            return QStringLiteral("usage: ") + QLatin1String(command.usage);
        SimDetector* detector = nullptr;
        if (command.arguments >= 0) {
            detector = m_bus.detector(words[1].toInt());
            if (!detector)
                return QStringLiteral("error: no detector at address %1").arg(words[1]);
        }
        return command.run(m_bus, detector, words.mid(2));
    }
    return QStringLiteral("error: unknown command \"%1\"; \"help\" lists them").arg(words[0]);
}

QString SimConsole::help() {
    QStringList lines;
    for (const Command& command : commands)
        lines << QLatin1String("  ") + QLatin1String(command.usage);
    lines << QStringLiteral("  faults: ") + simFaultNames().join(QStringLiteral(", "));
    return lines.join(QLatin1Char('\n'));
}

QString SimConsole::list() const {
    QStringList lines{
        QStringLiteral("addr  id          firmware  gas  line       mode     reading  faults")};
    for (const SimDetector* d : m_bus.detectors()) {
        const QString mode = d->inServiceMode() ? QStringLiteral("service")
                                                : (d->setupMode() ? QStringLiteral("setup")
                                                                  : QStringLiteral("modbus"));
        lines << QString::asprintf("%4d  %10u  0x%04X    %3d  %-9s  %-7s  %7.2f  ", d->address(),
                                   d->id(), d->readRegister(16), d->readRegister(3),
                                   qPrintable(d->line().text()), qPrintable(mode), d->reading()) +
                     simDescribeFaults(d->faults());
    }
    return lines.join(QLatin1Char('\n'));
}
