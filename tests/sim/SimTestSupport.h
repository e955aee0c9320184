#pragma once

#include "SimBus.h"

#include <QObject>

// The detector most tables talk to: methane at address 5, 19200 even 1, settings in
// round numbers, no test gas, no drift, an empty event log.
inline SimDetectorConfig methaneAt5() {
    SimDetectorConfig c;
    c.address = 5;
    c.id = 9400123; // 0x008F6F3B
    c.firmware = 0x0840;
    c.gas = 1;
    c.range = 440;
    c.threshold1 = 200;
    c.threshold2 = 400;
    c.magnet = 500;
    c.hysteresis = 50;
    c.zeroZone = 0;
    c.temperature = 22.0;
    c.emptyLog = true;
    return c;
}

// A carbon-monoxide sensor on old firmware at address 26 (0x1A: ':' in the log form).
inline SimDetectorConfig carbonMonoxideAt26() {
    SimDetectorConfig c = methaneAt5();
    c.address = 26;
    c.id = 9500456;
    c.firmware = 0x0325;
    c.gas = 24;
    c.range = 200;
    c.zeroError = 3.0;
    return c;
}

inline const SimLine tool19200E1{19200, SimParity::Even, 1};

// Feeds bytes as the tool would send them and returns what leaves at once.
inline QByteArray exchange(SimBus& bus, const QByteArray& request,
                           const SimLine& seen = tool19200E1, bool parityVisible = true) {
    QByteArray reply;
    const auto connection = QObject::connect(&bus, &SimBus::transmitted,
                                             [&reply](const QByteArray& bytes) { reply += bytes; });
    bus.receive(request, seen, parityVisible);
    QObject::disconnect(connection);
    return reply;
}

inline const SimLine service9600N1{9600, SimParity::None, 1};

// Sends the service-mode switch (register 99 = 0x7E19) and checks its echo.
inline bool switchToService(SimBus& bus, int address) {
    const QByteArray request = SimProtocol::writeRequest(quint8(address), 99, 0x7E19);
    return exchange(bus, request) == request && bus.detector(address)->inServiceMode();
}
