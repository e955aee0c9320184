#include "ServiceCommands.h"

#include <cmath>
#include <cstring>

namespace kpx {

QByteArray LogAddressDigits(quint8 address) {
    QByteArray digits(2, '0');
    digits[0] = char('0' + (address >> 4));
    digits[1] = char('0' + (address & 0x0F));
    return digits;
}

QByteArray HexAddressDigits(quint8 address) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray digits(2, '0');
    digits[0] = hex[address >> 4];
    digits[1] = hex[address & 0x0F];
    return digits;
}

QByteArray ReadLogRequest(quint8 address, int block) {
    return "#" + LogAddressDigits(address) + "RDLOG" + char('0' + block) + "\r";
}

QByteArray EraseLogRequest(quint8 address) {
    return "#" + LogAddressDigits(address) + "WRLOG\r";
}

QByteArray BackToModbusRequest() {
    return QByteArrayLiteral("MODBUS\r");
}

quint16 SwapWord(quint16 w) {
    return quint16((w << 8) | (w >> 8));
}

float ReadBeFloat(const char* p) {
    const auto* b = reinterpret_cast<const uchar*>(p);
    const quint32 bits = quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3];
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

quint16 ParamChecksum(const char* p) {
    quint32 sum = 0;
    for (int i = 0; i < ToxicBlockSize; ++i)
        sum += uchar(p[i]);
    return quint16(sum);
}

ToxicParamBlock ToxicBlockFromWire(const char* p) {
    ToxicParamBlock block;
    for (size_t i = 0; i < block.words.size(); ++i) {
        quint16 w;
        std::memcpy(&w, p + 2 * i, sizeof w);
        // The wire is big-endian, the hosts this runs on little-endian.
        block.words[i] = SwapWord(w);
    }
    for (size_t i = 0; i < block.floats.size(); ++i)
        block.floats[i] = ReadBeFloat(p + 4 + 4 * i);
    return block;
}

QByteArray ToxicBlockToWire(const ToxicParamBlock& block) {
    QByteArray wire;
    wire.reserve(ToxicBlockSize);
    for (quint16 w : block.words) {
        wire.append(char(w >> 8));
        wire.append(char(w & 0xFF));
    }
    for (float f : block.floats) {
        quint32 bits;
        std::memcpy(&bits, &f, sizeof bits);
        for (int shift = 24; shift >= 0; shift -= 8)
            wire.append(char((bits >> shift) & 0xFF));
    }
    return wire;
}

QByteArray ReadToxicRequest() {
    return QByteArrayLiteral("RDTOXIC\r");
}

QByteArray ReadConcRequest() {
    return QByteArrayLiteral("CONC?\r");
}

QByteArray WriteToxicFrame(quint8 address, const ToxicParamBlock& block) {
    const QByteArray wire = ToxicBlockToWire(block);
    const quint16 sum = ParamChecksum(wire.constData());
    QByteArray frame = "#" + HexAddressDigits(address) + "WRTOXIC" + wire;
    frame.append(char(sum >> 8));
    frame.append(char(sum & 0xFF));
    frame.append('\r');
    return frame;
}

bool ConcFromReply(const QByteArray& reply, int* value) {
    if (reply.size() < 41)
        return false;
    const QByteArray field = reply.mid(36, 5);
    int i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    int sign = 1;
    if (i < field.size() && (field[i] == '-' || field[i] == '+'))
        sign = field[i++] == '-' ? -1 : 1;
    if (i == field.size())
        return false;
    int v = 0;
    for (; i < field.size(); ++i) {
        if (field[i] < '0' || field[i] > '9')
            return false;
        v = v * 10 + (field[i] - '0');
    }
    *value = sign * v;
    return true;
}

float ZeroOffsetFor(int value, int digits) {
    return float(0.0 - value / std::pow(10.0, digits));
}

} // namespace kpx
