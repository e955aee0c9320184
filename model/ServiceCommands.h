#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace kpx {

// The detector's ASCII service mode: the requests the tool sends there.

// Address digits as the log commands want them: high nibble first, each as
// 0x30 + nibble, so 10..15 come out as ':' to '?', never 'A' to 'F'.
QByteArray LogAddressDigits(quint8 address);
// Address digits in plain upper-case hexadecimal, as the WRTOXIC frame has them.
QByteArray HexAddressDigits(quint8 address);

// "#xxRDLOGn\r" for block 0..3.
QByteArray ReadLogRequest(quint8 address, int block);
// "#xxWRLOG\r".
QByteArray EraseLogRequest(quint8 address);
// "MODBUS\r": back to the register map.
QByteArray BackToModbusRequest();

// Reply lengths the exchange waits for, and how long.
constexpr int ServiceBufSize = 514;
constexpr int LogBlockWaitMs = 1000;
constexpr int EraseAckBytes = 2;
constexpr int EraseWaitMs = 5000;
constexpr int ModbusAckBytes = 3;
constexpr int ModbusAckWaitMs = 1000;

} // namespace kpx
