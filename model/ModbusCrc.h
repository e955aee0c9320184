#pragma once

#include <QByteArray>
#include <QByteArrayView>

// CRC-16/MODBUS, the check word of every RTU frame. Header only: the simulator uses it
// too and takes nothing else of the tool with it.
inline quint16 ModbusCrc16(QByteArrayView bytes) {
    quint16 crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

// The frame with its CRC appended low byte first, as RTU sends it.
inline QByteArray WithModbusCrc(QByteArray frame) {
    const quint16 crc = ModbusCrc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

// True when the last two bytes are the CRC of the rest. Shorter than an address, a
// function and the CRC is never a frame.
inline bool ModbusCrcValid(QByteArrayView frame) {
    if (frame.size() < 4)
        return false;
    const quint16 crc = ModbusCrc16(frame.first(frame.size() - 2));
    return quint8(frame[frame.size() - 2]) == (crc & 0xFF) &&
           quint8(frame[frame.size() - 1]) == (crc >> 8);
}
