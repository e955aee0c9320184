#include "SimTestSupport.h"

#include "RtuMaster.h"
#include "SerialLine.h"

#include <QFile>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace SimProtocol;

// The simulator on a pseudo-terminal, driven through Qt's serial port and the tool's own
// line and Modbus master the way the tool drives a real line.
class TstSimPty : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void serialPortExchange();
    void wrongSettingsMeetSilence();
    void portCanBeReopened();
    void portOpensAfterAToolDied();
    void modbusMasterAndServiceMode();
    void realPortFollowsTheDetectors();

private:
    bool openPort(int baud, QSerialPort::Parity parity, QSerialPort::StopBits stopBits);
    QByteArray ask(const QByteArray& request, int expected);

    SimBus* m_bus = nullptr;
    QString m_path;
    QSerialPort* m_port = nullptr;
};

void TstSimPty::init() {
    m_bus = new SimBus(this);
    m_bus->addDetector(methaneAt5());
    m_path = m_bus->openPty();
    QVERIFY2(!m_path.isEmpty(), qPrintable(m_bus->errorString()));
    m_port = new QSerialPort(m_path, this);
}

void TstSimPty::cleanup() {
    delete m_port;
    delete m_bus;
}

// The settings go in before open(): on a pseudo-terminal QSerialPort refuses to switch an
// open port to odd or even parity (the terminal drops the parity flag and Qt notices).
bool TstSimPty::openPort(int baud, QSerialPort::Parity parity, QSerialPort::StopBits stopBits) {
    m_port->close();
    m_port->setBaudRate(baud);
    m_port->setParity(parity);
    m_port->setStopBits(stopBits);
    m_port->setDataBits(QSerialPort::Data8);
    return m_port->open(QIODevice::ReadWrite);
}

// Sends and collects the reply while the simulator runs in this event loop.
QByteArray TstSimPty::ask(const QByteArray& request, int expected) {
    QByteArray reply;
    m_port->write(request);
    const auto complete = [&] {
        reply += m_port->readAll();
        return reply.size() >= expected;
    };
    static_cast<void>(QTest::qWaitFor(complete, 3000)); // a short reply is the caller's to judge
    return reply;
}

void TstSimPty::serialPortExchange() {
    QVERIFY(openPort(19200, QSerialPort::EvenParity, QSerialPort::OneStop));
    QCOMPARE(ask(readRequest(5, 1, 2), 9), readReply(5, {0x008F, 0x6F3B}));
    const QByteArray write = writeRequest(5, 9, 150);
    QCOMPARE(ask(write, 8), write);
    QCOMPARE(m_bus->detector(5)->readRegister(9), quint16(150));
}

void TstSimPty::wrongSettingsMeetSilence() {
    QVERIFY(openPort(9600, QSerialPort::EvenParity, QSerialPort::OneStop));
    m_port->write(readRequest(5, 1, 2));
    QTRY_VERIFY(!m_bus->traffic().isEmpty());
    // The parity is not visible on a pseudo-terminal; baud rate and stop bits are.
    QCOMPARE(m_bus->traffic().last().note, QStringLiteral("no detector listens at 9600 ? 1"));
    QVERIFY(m_port->readAll().isEmpty());
    QVERIFY(openPort(19200, QSerialPort::EvenParity, QSerialPort::TwoStop));
    m_port->write(readRequest(5, 1, 2));
    QTRY_COMPARE(m_bus->traffic().size(), 2);
    QCOMPARE(m_bus->traffic().last().note, QStringLiteral("no detector listens at 19200 ? 2"));
}

void TstSimPty::portCanBeReopened() {
    for (int round = 0; round < 3; ++round) {
        QVERIFY(openPort(19200, QSerialPort::EvenParity, QSerialPort::OneStop));
        QCOMPARE(ask(readRequest(5, 0, 1), 7), readReply(5, {0x0565}));
        m_port->close();
    }
}

// A tool killed with its port open leaves the terminal marked exclusive; only root could
// open it again if the simulator did not clear the mark.
void TstSimPty::portOpensAfterAToolDied() {
    const auto exclusive = [this] {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_NOCTTY);
        int flag = -1;
        ::ioctl(fd, TIOCGEXCL, &flag);
        ::close(fd);
        return flag;
    };
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    QCOMPARE(::ioctl(fd, TIOCEXCL), 0);
    ::close(fd); // without TIOCNXCL, as a dying process would
    QTRY_COMPARE(exclusive(), 0);
}

void TstSimPty::modbusMasterAndServiceMode() {
    SerialLine line;
    RtuMaster master;
    line.SetPortName(m_path);
    line.SetSettings({19200, QSerialPort::Data8, QSerialPort::EvenParity, QSerialPort::OneStop});
    QVERIFY(line.Open());
    line.Attach(&master);
    master.SetTimeout(1000);

    QList<RtuResult> ends;
    connect(&master, &RtuMaster::Finished, this, [&ends](const RtuResult& r) { ends << r; });
    const auto finished = [&ends](quint64 id) {
        return id && QTest::qWaitFor([&] { return !ends.isEmpty() && ends.last().id == id; }, 3000);
    };
    QVERIFY(finished(master.Send({5, ReadHolding, 0, 19})));
    QCOMPARE(ends.last().outcome, RtuResult::Reply);
    QCOMPARE(ends.last().Registers().size(), 19);
    QCOMPARE(ends.last().Registers().value(16).second, quint16(0x0840));

    QVERIFY(finished(master.Send({5, WriteSingle, 9, 1001})));
    QCOMPARE(ends.last().outcome, RtuResult::Exception);
    QCOMPARE(ends.last().ExceptionCode(), int(IllegalValue));
    QCOMPARE(m_bus->traffic().last().bytes, exceptionReply(5, WriteSingle, IllegalValue));

    QVERIFY(finished(master.Send({5, WriteSingle, 99, 0x7E19})));
    QCOMPARE(ends.last().outcome, RtuResult::Reply);
    QVERIFY(m_bus->detector(5)->inServiceMode());

    // The service exchange takes the line off the master, as the tool does.
    line.Detach();
    QVERIFY(
        line.SetSettings({9600, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop}));
    const auto ask = [&line](const QByteArray& request, int expected) {
        line.SendString(request);
        static_cast<void>(line.WaitForBytes(expected, 3000)); // a short reply is judged below
        return line.ReadAll();
    };
    QCOMPARE(ask("#05RDLOG0\r", 264).size(), 264);
    QCOMPARE(ask("MODBUS\r", 3), QByteArray("OK\r"));
    QVERIFY(line.SetSettings(
        {19200, QSerialPort::Data8, QSerialPort::EvenParity, QSerialPort::OneStop}));
    QVERIFY(line.IsOpen());
    line.Attach(&master);
    QVERIFY(finished(master.Send({5, ReadHolding, 1, 2})));
    QCOMPARE(ends.last().outcome, RtuResult::Reply);
    QCOMPARE(ends.last().Registers(), (QList<QPair<int, quint16>>{{1, 0x008F}, {2, 0x6F3B}}));
    line.Detach();
}

// --device on a pseudo-terminal of the test's own: the test holds the other end, as the
// tool's PC would hold the other end of the RS-485 pair.
void TstSimPty::realPortFollowsTheDetectors() {
    delete m_bus;
    m_bus = new SimBus(this);
    m_bus->addDetector(methaneAt5());
    const int line = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(line >= 0 && grantpt(line) == 0 && unlockpt(line) == 0);
    fcntl(line, F_SETFL, fcntl(line, F_GETFL) | O_NONBLOCK);
    const auto closeLine = qScopeGuard([line] { ::close(line); });
    QVERIFY2(m_bus->openDevice(QString::fromLocal8Bit(ptsname(line))),
             qPrintable(m_bus->errorString()));

    const auto speed = [line] {
        termios tio{};
        tcgetattr(line, &tio);
        return cfgetospeed(&tio);
    };
    const auto ask = [line](const QByteArray& request, int expected) {
        QByteArray reply;
        if (::write(line, request.constData(), size_t(request.size())) != request.size())
            return reply;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                char buffer[512];
                const ssize_t n = ::read(line, buffer, sizeof buffer);
                if (n > 0)
                    reply.append(buffer, n);
                return reply.size() >= expected;
            },
            3000));
        return reply;
    };
    QCOMPARE(speed(), speed_t(B19200));
    QCOMPARE(ask(readRequest(5, 1, 2), 9), readReply(5, {0x008F, 0x6F3B}));
    const QByteArray service = writeRequest(5, 99, 0x7E19);
    QCOMPARE(ask(service, 8), service);
    QCOMPARE(speed(), speed_t(B9600));
    QCOMPARE(ask("MODBUS\r", 3), QByteArray("OK\r"));
    QCOMPARE(speed(), speed_t(B19200));
}

QTEST_GUILESS_MAIN(TstSimPty)
#include "tst_simpty.moc"
