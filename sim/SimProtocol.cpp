#include "SimProtocol.h"

#include "ModbusCrc.h"

#include <algorithm>
#include <utility>

namespace SimProtocol {

quint16 crc16(QByteArrayView bytes) {
    return ModbusCrc16(bytes);
}

QByteArray withCrc(QByteArray frame) {
    return WithModbusCrc(std::move(frame));
}

bool crcValid(QByteArrayView frame) {
    return ModbusCrcValid(frame);
}

namespace {

// Request lengths of the standard functions. A row with a byte-count offset adds the
// count found there to its fixed part.
struct LengthRule {
    quint8 function;
    int fixed;
    int countOffset; // -1: fixed length
};

const LengthRule lengthRules[] = {
    {0x01, 8, -1}, {0x02, 8, -1}, {0x03, 8, -1}, {0x04, 8, -1},  {0x05, 8, -1},  {0x06, 8, -1},
    {0x07, 4, -1}, {0x08, 8, -1}, {0x0B, 4, -1}, {0x0C, 4, -1},  {0x0F, 9, 6},   {0x10, 9, 6},
    {0x11, 4, -1}, {0x14, 5, 2},  {0x15, 5, 2},  {0x16, 10, -1}, {0x17, 13, 10}, {0x18, 6, -1},
};

void appendWord(QByteArray& frame, quint16 value) {
    frame.append(char(value >> 8));
    frame.append(char(value & 0xFF));
}

} // namespace

int requestLength(QByteArrayView bytes) {
    if (bytes.size() < 2)
        return 0;
    const quint8 function = quint8(bytes[1]);
    const auto rule =
        std::find_if(std::begin(lengthRules), std::end(lengthRules),
                     [function](const LengthRule& r) { return r.function == function; });
    if (rule == std::end(lengthRules))
        return -1;
    if (rule->countOffset < 0)
        return rule->fixed;
    if (bytes.size() <= rule->countOffset)
        return 0;
    return rule->fixed + quint8(bytes[rule->countOffset]);
}

QByteArray exceptionReply(quint8 address, quint8 function, quint8 code) {
    QByteArray frame;
    frame.append(char(address));
    frame.append(char(function | 0x80));
    frame.append(char(code));
    return withCrc(frame);
}

QByteArray readReply(quint8 address, const QList<quint16>& values) {
    QByteArray frame;
    frame.append(char(address));
    frame.append(char(ReadHolding));
    frame.append(char(values.size() * 2));
    for (const quint16 value : values)
        appendWord(frame, value);
    return withCrc(frame);
}

namespace {
// Both requests are the address, the function and two words.
QByteArray twoWordRequest(quint8 address, quint8 function, quint16 first, quint16 second) {
    QByteArray frame;
    frame.append(char(address));
    frame.append(char(function));
    appendWord(frame, first);
    appendWord(frame, second);
    return withCrc(frame);
}
} // namespace

QByteArray writeRequest(quint8 address, quint16 reg, quint16 value) {
    return twoWordRequest(address, WriteSingle, reg, value);
}

QByteArray readRequest(quint8 address, quint16 start, quint16 count) {
    return twoWordRequest(address, ReadHolding, start, count);
}

namespace {
const int bauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
}

quint16 encodeLine(int address, const SimLine& line) {
    const int baudCode =
        int(std::find(std::begin(bauds), std::end(bauds), line.baud) - std::begin(bauds)) + 1;
    return quint16((address << 8) | (line.stopBits << 6) | (int(line.parity) << 4) | baudCode);
}

bool decodeLine(quint16 word, int* address, SimLine* line) {
    const int addr = word >> 8;
    const int stopCode = (word >> 6) & 3;
    const int parityCode = (word >> 4) & 3;
    const int baudCode = word & 0x0F;
    if (addr < 1 || addr > 247 || stopCode < 1 || stopCode > 2 || parityCode > 2 || baudCode < 1 ||
        baudCode > 8)
        return false;
    *address = addr;
    *line = SimLine{bauds[baudCode - 1], SimParity(parityCode), stopCode};
    return true;
}

QByteArray logAddress(int address) {
    QByteArray digits;
    digits.append(char(0x30 + ((address >> 4) & 0x0F)));
    digits.append(char(0x30 + (address & 0x0F)));
    return digits;
}

QByteArray hexAddress(int address) {
    return QByteArray::number(address & 0xFF, 16).toUpper().rightJustified(2, '0');
}

quint16 byteSum(QByteArrayView bytes) {
    quint16 sum = 0;
    for (const char byte : bytes)
        sum = quint16(sum + quint8(byte));
    return sum;
}

namespace {

// Lower-case letters stand for any byte: the commands themselves are upper case.
struct ServiceForm {
    QByteArray form;
    ServiceCommand command;
};

const QList<ServiceForm>& serviceForms() {
    static const QList<ServiceForm> forms = {
        {"#xxRDLOGn\r", ServiceCommand::ReadLog},
        {"#xxWRLOG\r", ServiceCommand::EraseLog},
        {"MODBUS\r", ServiceCommand::BackToModbus},
        {"RDTOXIC\r", ServiceCommand::ReadToxic},
        {"CONC?\r", ServiceCommand::ReadConc},
        {"#xxWRTOXIC" + QByteArray(ToxicBlockSize + 2, 'b') + "\r", ServiceCommand::WriteToxic},
    };
    return forms;
}

bool agrees(QByteArrayView bytes, const QByteArray& form) {
    const qsizetype n = std::min(bytes.size(), form.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char expected = form[i];
        if (!(expected >= 'a' && expected <= 'z') && bytes[i] != expected)
            return false;
    }
    return true;
}

} // namespace

ServiceMatch matchService(QByteArrayView bytes) {
    ServiceMatch match;
    for (const ServiceForm& form : serviceForms()) {
        if (!agrees(bytes, form.form))
            continue;
        if (bytes.size() >= form.form.size())
            return ServiceMatch{int(form.form.size()), form.command};
        match.length = 0;
    }
    return match;
}

} // namespace SimProtocol
