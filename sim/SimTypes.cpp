#include "SimTypes.h"

#include <QDateTime>

QString SimLine::text(bool withParity) const {
    static const char* const parityLetters[] = {"N", "O", "E"};
    const QString parityText =
        withParity ? QString::fromLatin1(parityLetters[int(parity)]) : QStringLiteral("?");
    return QStringLiteral("%1 %2 %3").arg(baud).arg(parityText).arg(stopBits);
}

namespace {

// One row per fault: exactly one of the two members is set.
struct FaultField {
    const char* name;
    bool SimFaults::*flag;
    int SimFaults::*number;
    int min;
    int max;
};

const FaultField faultFields[] = {
    {"silent", &SimFaults::silent, nullptr, 0, 1},
    {"slowMs", nullptr, &SimFaults::slowMs, 0, 60000},
    {"badCrc", &SimFaults::badCrc, nullptr, 0, 1},
    {"truncate", nullptr, &SimFaults::truncate, 0, 300},
    {"exceptionRegister", nullptr, &SimFaults::exceptionRegister, -1, 99},
    {"exceptionCode", nullptr, &SimFaults::exceptionCode, 1, 255},
    {"dropEvery", nullptr, &SimFaults::dropEvery, 0, 1000},
    {"stayInService", &SimFaults::stayInService, nullptr, 0, 1},
    {"shortLogBlock", nullptr, &SimFaults::shortLogBlock, -1, 3},
    {"noModbusAck", &SimFaults::noModbusAck, nullptr, 0, 1},
    {"noiseBytes", nullptr, &SimFaults::noiseBytes, 0, 256},
    {"noiseValue", nullptr, &SimFaults::noiseValue, -1, 255},
    {"noiseGapMs", nullptr, &SimFaults::noiseGapMs, 0, 10000},
};

int fieldValue(const FaultField& field, const SimFaults& faults) {
    return field.flag ? int(faults.*field.flag) : faults.*field.number;
}

} // namespace

bool simSetFault(SimFaults& faults, const QString& name, int value, QString* error) {
    for (const FaultField& field : faultFields) {
        if (name != QLatin1String(field.name))
            continue;
        if (value < field.min || value > field.max) {
            if (error)
                *error = QStringLiteral("fault %1 takes %2..%3, not %4")
                             .arg(name)
                             .arg(field.min)
                             .arg(field.max)
                             .arg(value);
            return false;
        }
        if (field.flag)
            faults.*field.flag = value != 0;
        else
            faults.*field.number = value;
        return true;
    }
    if (error)
        *error = QStringLiteral("unknown fault \"%1\" (known: %2)")
                     .arg(name, simFaultNames().join(QStringLiteral(", ")));
    return false;
}

QStringList simFaultNames() {
    QStringList names;
    for (const FaultField& field : faultFields)
        names << QLatin1String(field.name);
    return names;
}

QString simDescribeFaults(const SimFaults& faults) {
    const SimFaults healthy;
    QStringList parts;
    for (const FaultField& field : faultFields) {
        const int value = fieldValue(field, faults);
        if (value != fieldValue(field, healthy))
            parts << QStringLiteral("%1=%2").arg(QLatin1String(field.name)).arg(value);
    }
    return parts.join(QLatin1Char(' '));
}

QString SimTraffic::text() const {
    static const char* const marks[] = {"RX", "TX", "--"};
    QString line =
        QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).toString(QStringLiteral("HH:mm:ss.zzz")) +
        QLatin1Char(' ') + QLatin1String(marks[direction]);
    if (!bytes.isEmpty())
        line += QLatin1Char(' ') + QString::fromLatin1(bytes.toHex(' ').toUpper());
    if (!note.isEmpty())
        line += QStringLiteral("  [") + note + QLatin1Char(']');
    return line;
}
