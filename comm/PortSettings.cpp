#include "PortSettings.h"

QString ParityName(QSerialPort::Parity parity) {
    switch (parity) {
    case QSerialPort::NoParity:
        return QStringLiteral("None");
    case QSerialPort::OddParity:
        return QStringLiteral("Odd");
    case QSerialPort::EvenParity:
        return QStringLiteral("Even");
    case QSerialPort::MarkParity:
        return QStringLiteral("Mark");
    case QSerialPort::SpaceParity:
        return QStringLiteral("Space");
    }
    return QString();
}

namespace {
// One and a half stop bits has no whole-number figure; "1.5" says what it is.
QString stopBitsText(QSerialPort::StopBits stopBits) {
    switch (stopBits) {
    case QSerialPort::OneStop:
        return QStringLiteral("1");
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1.5");
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    }
    return QString();
}
} // namespace

QString PortStatusText(const QString& portBoxText, const LineSettings& s) {
    return portBoxText + QStringLiteral(": ") + QString::number(s.baudRate) +
           QStringLiteral(" / ") + QString::number(int(s.dataBits)) + QLatin1Char('-') +
           ParityName(s.parity) + QLatin1Char('-') + stopBitsText(s.stopBits);
}

QString PortBoxText(const QString& name, const QString& description) {
    if (description.isEmpty())
        return name;
    return name + QStringLiteral(" (") + description + QLatin1Char(')');
}

QString PortNameFromBoxText(const QString& text) {
    const QString t = text.trimmed();
    const int paren = t.indexOf(QStringLiteral(" ("));
    if (paren > 0 && t.endsWith(QLatin1Char(')')))
        return t.left(paren);
    return t;
}
