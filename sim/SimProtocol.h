#pragma once

#include "SimTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Frames of the detector's two protocols: Modbus RTU and the ASCII service mode.
namespace SimProtocol {

constexpr quint8 ReadHolding = 0x03;
constexpr quint8 WriteSingle = 0x06;
constexpr quint8 IllegalFunction = 0x01;
constexpr quint8 IllegalAddress = 0x02;
constexpr quint8 IllegalValue = 0x03;

quint16 crc16(QByteArrayView bytes);
// CRC appended low byte first, as RTU sends it.
QByteArray withCrc(QByteArray frame);
bool crcValid(QByteArrayView frame);

// Length of the request at the head of bytes: > 0 its length, 0 when more bytes are
// needed to tell, -1 when its function code does not say how long it is.
int requestLength(QByteArrayView bytes);

QByteArray exceptionReply(quint8 address, quint8 function, quint8 code);
QByteArray readReply(quint8 address, const QList<quint16>& values);
QByteArray writeRequest(quint8 address, quint16 reg, quint16 value);
QByteArray readRequest(quint8 address, quint16 start, quint16 count);

// Register 0: address in bits 15..8, stop-bit code, parity code, baud code.
quint16 encodeLine(int address, const SimLine& line);
// False for codes a detector does not know (address 0 or above 247 included).
bool decodeLine(quint16 word, int* address, SimLine* line);

enum class ServiceCommand { ReadLog, EraseLog, BackToModbus, ReadToxic, ReadConc, WriteToxic };

// The log commands write the address as 0x30 + nibble ('0'..'9', ':'..'?').
QByteArray logAddress(int address);
// The WRTOXIC frame writes it in hexadecimal ('0'..'9', 'A'..'F').
QByteArray hexAddress(int address);
// Checksum of the toxic sensor's parameter block: the byte sum modulo 65536.
quint16 byteSum(QByteArrayView bytes);

constexpr int LogBlockSize = 264;
constexpr int LogBlockCount = 4;
constexpr int ToxicBlockSize = 72;
constexpr int WriteToxicSize = 85;

struct ServiceMatch {
    int length = -1; // > 0 a whole command, 0 a command may still be arriving, -1 none
    ServiceCommand command = ServiceCommand::BackToModbus;
};
// Service commands are found by their fixed forms and lengths: the WRTOXIC frame carries
// a binary block that may contain 0x0D, so a carriage return does not end it.
ServiceMatch matchService(QByteArrayView bytes);

} // namespace SimProtocol
