#include "PortErrors.h"

#include <QTemporaryFile>
#include <QTest>

class TstPortErrors : public QObject {
    Q_OBJECT
private slots:
    void texts_data();
    void texts();
    void accessAskedOfTheDevice();
    void realOpenOfAMissingPort();
};

void TstPortErrors::texts_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("accessible");
    QTest::addColumn<QString>("text");
    const QString dialout = "Нет доступа к порту ttyUSB0. Пользователь должен входить в группу "
                            "dialout: sudo usermod -aG dialout $USER, затем выйти из системы и "
                            "войти снова.";
    QTest::newRow("missing") << int(QSerialPort::DeviceNotFoundError) << false
                             << "Порт ttyUSB0 не найден. Проверьте, что адаптер подключён.";
    QTest::newRow("denied") << int(QSerialPort::PermissionError) << false << dialout;
    QTest::newRow("held by another program")
        << int(QSerialPort::PermissionError) << true << "Порт ttyUSB0 занят другой программой.";
    QTest::newRow("adapter pulled out") << int(QSerialPort::ResourceError) << true
                                        << "Связь с портом ttyUSB0 потеряна: адаптер отключён.";
    QTest::newRow("not open") << int(QSerialPort::NotOpenError) << true
                              << "Порт ttyUSB0 не открыт.";
    QTest::newRow("the rest keep the system's text")
        << int(QSerialPort::UnsupportedOperationError) << true
        << "Ошибка порта ttyUSB0: Unsupported operation";
}

void TstPortErrors::texts() {
    QFETCH(int, error);
    QFETCH(bool, accessible);
    QTEST(PortErrorText(QSerialPort::SerialPortError(error), "ttyUSB0",
                        error == QSerialPort::UnsupportedOperationError
                            ? QString("Unsupported operation")
                            : QString("Permission denied"),
                        accessible),
          "text");
}

// "Permission" from the system means busy when this user may open the
// device, and missing rights otherwise.
void TstPortErrors::accessAskedOfTheDevice() {
    QTemporaryFile device;
    QVERIFY(device.open());
    QVERIFY(PortErrorText(device.fileName(), QSerialPort::PermissionError, "busy")
                .endsWith("занят другой программой."));
    QVERIFY(PortErrorText(device.fileName() + ".gone", QSerialPort::PermissionError, "denied")
                .contains("dialout"));
}

void TstPortErrors::realOpenOfAMissingPort() {
    QSerialPort port("/dev/ttyKPXmissing");
    QVERIFY(!port.open(QIODevice::ReadWrite));
    QCOMPARE(PortErrorText(port.portName(), port.error(), port.errorString()),
             QString("Порт ttyKPXmissing не найден. Проверьте, что адаптер подключён."));
}

QTEST_GUILESS_MAIN(TstPortErrors)
#include "tst_porterrors.moc"
