#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>

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

// The toxic sensor's parameter block: 72 bytes, big-endian on the wire, two
// words then seventeen floats. The zero offset is float 3.
constexpr int ToxicBlockSize = 72;
constexpr int ToxicZeroOffset = 2; // index into floats
struct ToxicParamBlock {
    std::array<quint16, 2> words{};
    std::array<float, 17> floats{};
};

quint16 SwapWord(quint16 w);
// The float whose big-endian bytes are at p.
float ReadBeFloat(const char* p);
// The byte sum of the 72 bytes at p; the byte order inside the fields does
// not change it.
quint16 ParamChecksum(const char* p);
ToxicParamBlock ToxicBlockFromWire(const char* p);
QByteArray ToxicBlockToWire(const ToxicParamBlock& block);

// "RDTOXIC\r", "CONC?\r", and the 85-byte WRTOXIC frame: '#', the address in
// hexadecimal form, "WRTOXIC", the block, its checksum high byte first, '\r'.
QByteArray ReadToxicRequest();
QByteArray ReadConcRequest();
QByteArray WriteToxicFrame(quint8 address, const ToxicParamBlock& block);

// Reply lengths of the zero exchange.
constexpr int ToxicReplyBytes = 79;
constexpr int ConcReplyBytes = 42;
constexpr int WriteToxicAckBytes = 5;
constexpr int ToxicWaitMs = 1000;

// Bytes 36..40 of a CONC? reply: a decimal integer, blanks before it and a
// sign allowed. False for anything else, a reply too short included.
bool ConcFromReply(const QByteArray& reply, int* value);
// The zero offset that cancels a reading of value units of the last of
// digits decimals.
float ZeroOffsetFor(int value, int digits);

} // namespace kpx
