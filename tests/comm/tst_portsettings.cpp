#include "PortSettings.h"

#include <QTest>

class TstPortSettings : public QObject {
    Q_OBJECT
private slots:
    void statusText_data();
    void statusText();
    void boxText();
};

void TstPortSettings::statusText_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stop");
    QTest::addColumn<QString>("text");
    QTest::newRow("start settings")
        << "COM1 (Последовательный порт)" << 19200 << 8 << int(QSerialPort::EvenParity)
        << int(QSerialPort::OneStop) << "COM1 (Последовательный порт): 19200 / 8-Even-1";
    QTest::newRow("no port") << "" << 19200 << 8 << int(QSerialPort::EvenParity)
                             << int(QSerialPort::OneStop) << ": 19200 / 8-Even-1";
    QTest::newRow("odd, two stop") << "ttyUSB0" << 9600 << 7 << int(QSerialPort::OddParity)
                                   << int(QSerialPort::TwoStop) << "ttyUSB0: 9600 / 7-Odd-2";
    QTest::newRow("none") << "p" << 115200 << 8 << int(QSerialPort::NoParity)
                          << int(QSerialPort::OneStop) << "p: 115200 / 8-None-1";
    QTest::newRow("mark") << "p" << 1200 << 8 << int(QSerialPort::MarkParity)
                          << int(QSerialPort::OneStop) << "p: 1200 / 8-Mark-1";
    QTest::newRow("space") << "p" << 1200 << 5 << int(QSerialPort::SpaceParity)
                           << int(QSerialPort::OneStop) << "p: 1200 / 5-Space-1";
}

void TstPortSettings::statusText() {
    QFETCH(QString, box);
    QFETCH(int, baud);
    QFETCH(int, data);
    QFETCH(int, parity);
    QFETCH(int, stop);
    QFETCH(QString, text);
    LineSettings s{baud, QSerialPort::DataBits(data), QSerialPort::Parity(parity),
                   QSerialPort::StopBits(stop)};
    QCOMPARE(PortStatusText(box, s), text);
}

void TstPortSettings::boxText() {
    QCOMPARE(PortBoxText("ttyUSB0", "FT232R USB UART"), QString("ttyUSB0 (FT232R USB UART)"));
    QCOMPARE(PortBoxText("ttyS0", ""), QString("ttyS0"));
    QCOMPARE(PortNameFromBoxText("ttyUSB0 (FT232R USB UART)"), QString("ttyUSB0"));
    QCOMPARE(PortNameFromBoxText("/dev/pts/7"), QString("/dev/pts/7"));
    QCOMPARE(PortNameFromBoxText("  /dev/serial/by-id/usb-FTDI_x-if00-port0 "),
             QString("/dev/serial/by-id/usb-FTDI_x-if00-port0"));
}

QTEST_GUILESS_MAIN(TstPortSettings)
#include "tst_portsettings.moc"
