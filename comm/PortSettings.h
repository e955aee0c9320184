#pragma once

#include <QSerialPort>
#include <QString>

// Line settings of the PC's port. The detectors' own line settings live in
// their register 0 and are independent of these.
struct LineSettings {
    qint32 baudRate = 19200;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::EvenParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    bool operator==(const LineSettings& o) const {
        return baudRate == o.baudRate && dataBits == o.dataBits && parity == o.parity &&
               stopBits == o.stopBits;
    }
    bool operator!=(const LineSettings& o) const { return !(*this == o); }
};

// "None", "Odd", "Even", "Mark", "Space".
QString ParityName(QSerialPort::Parity parity);

// Status-bar text: "<port box text>: 19200 / 8-Even-1".
QString PortStatusText(const QString& portBoxText, const LineSettings& settings);

// A serial port as the port box lists it: the name, then the system's
// description in parentheses when there is one.
QString PortBoxText(const QString& name, const QString& description);

// The device name inside a port box entry (the inverse of PortBoxText); a
// typed path is returned as it stands.
QString PortNameFromBoxText(const QString& text);
