#include "ServiceCommands.h"

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

} // namespace kpx
