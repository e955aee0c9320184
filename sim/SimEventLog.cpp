#include "SimEventLog.h"

#include <QList>
#include <utility>

QByteArray simRealisticLog(const SimLogSubject& s) {
    using namespace SimEvent;
    const QList<std::pair<quint8, quint8>> events = {
        // commissioning
        {PowerOn, 0},
        {GasSet, quint8(s.gas)},
        {UnitSet, s.unitCode},
        {RangeSet, 100},
        {Threshold1Set, 20},
        {Threshold2Set, 40},
        {MagnetSet, 50},
        {HysteresisSet, 5},
        {ZeroZoneSet, 2},
        {RelaysSet, s.relayBits},
        {LineSet, s.lineByte},
        {AddressSet, quint8(s.address)},
        {Zero, 0},
        {Span, 50},
        {CurrentTrim, 0},
        // first months: alarms, a supply dip, a contaminated sensor
        {Threshold1, 23},
        {Threshold2, 41},
        {PowerOn, 0},
        {Fault, 0x01},
        {Restart, 0},
        {PowerOn, 0},
        {Threshold1, 21},
        {Fault, 0x04},
        {Zero, 0},
        {MagneticCalibration, 0},
        {Span, 48},
        // yearly service: calibration reset and redone, sensor replaced
        {CalibrationReset, 0},
        {Zero, 0},
        {Span, 50},
        {Fault, 0x02},
        {Restart, 0},
        {PowerOn, 0},
        {Fault, 0x08},
        {Fault, 0x00},
        {Restart, 0},
        {PowerOn, 0},
        // a gas leak, then settings reviewed
        {Threshold1, 25},
        {Threshold2, 43},
        {RangeExceeded, 112},
        {MagneticCalibration, 50},
        {Threshold1Set, 20},
        {CurrentTrim, 0},
        {RelaysSet, s.relayBits},
        {PowerOn, 0},
    };
    QByteArray records(1024, '\0');
    for (int i = 0; i < events.size(); ++i) {
        records[2 * i] = char(events[i].first);
        records[2 * i + 1] = char(events[i].second);
    }
    return records;
}
