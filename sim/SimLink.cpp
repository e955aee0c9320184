#include "SimLink.h"

#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct SpeedCode {
    speed_t code;
    int baud;
};

const SpeedCode speeds[] = {
    {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
    {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

int baudOf(speed_t code) {
    for (const SpeedCode& speed : speeds)
        if (speed.code == code)
            return speed.baud;
    return 0;
}

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

constexpr int MaxPending = 64 * 1024; // a tool that never reads loses the oldest replies

} // namespace

SimPtyLink* SimPtyLink::open(QObject* parent, QString* error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        *error = systemError("posix_openpt");
        return nullptr;
    }
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        *error = systemError("pseudo-terminal");
        ::close(master);
        return nullptr;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        *error = systemError(name);
        ::close(master);
        return nullptr;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    // Raw from the start: an echoing, line-buffered terminal would hand replies back to
    // us and hold requests until a newline, before the tool has set its own mode.
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tcsetattr(slave, TCSANOW, &tio);
    return new SimPtyLink(master, slave, QString::fromLocal8Bit(name), parent);
}

SimPtyLink::SimPtyLink(int master, int slave, const QString& path, QObject* parent)
    : SimLink(parent), m_master(master), m_slave(slave), m_path(path),
      m_readNotifier(new QSocketNotifier(master, QSocketNotifier::Read, this)),
      m_writeNotifier(new QSocketNotifier(master, QSocketNotifier::Write, this)),
      m_shareTimer(new QTimer(this)) {
    m_writeNotifier->setEnabled(false);
    connect(m_shareTimer, &QTimer::timeout, this, [this] { ::ioctl(m_slave, TIOCNXCL); });
    m_shareTimer->start(500);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimPtyLink::pump);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimPtyLink::flush);
}

SimPtyLink::~SimPtyLink() {
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    ::close(m_slave);
    ::close(m_master);
}

SimLine SimPtyLink::portLine() const {
    termios tio{};
    SimLine line;
    if (tcgetattr(m_slave, &tio) != 0)
        return SimLine{0, SimParity::None, 1};
    line.baud = baudOf(cfgetospeed(&tio));
    line.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    line.parity = SimParity::None; // not visible on a pseudo-terminal
    return line;
}

void SimPtyLink::pump() {
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read
    }
    if (!bytes.isEmpty())
        emit received(bytes, portLine(), false);
}

void SimPtyLink::write(const QByteArray& bytes) {
    m_out += bytes;
    if (m_out.size() > MaxPending)
        m_out = m_out.right(MaxPending);
    flush();
}

void SimPtyLink::flush() {
    while (!m_out.isEmpty()) {
        const ssize_t n = ::write(m_master, m_out.constData(), size_t(m_out.size()));
        if (n > 0) {
            m_out.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // the tool's input queue is full: wait until it reads
    }
    m_writeNotifier->setEnabled(!m_out.isEmpty());
}

SimSerialLink* SimSerialLink::open(const QString& name, const SimLine& line, QObject* parent,
                                   QString* error) {
    auto* port = new QSerialPort(name);
    if (!port->open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("%1: %2").arg(name, port->errorString());
        delete port;
        return nullptr;
    }
    return new SimSerialLink(port, line, parent);
}

SimSerialLink::SimSerialLink(QSerialPort* port, const SimLine& line, QObject* parent)
    : SimLink(parent), m_port(port), m_line(line) {
    m_port->setParent(this);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    apply(line);
    connect(m_port, &QSerialPort::readyRead, this, &SimSerialLink::pump);
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::ResourceError)
            emit failed(QStringLiteral("%1: %2").arg(path(), m_port->errorString()));
    });
}

QString SimSerialLink::path() const {
    return m_port->portName();
}

void SimSerialLink::write(const QByteArray& bytes) {
    m_port->write(bytes);
}

void SimSerialLink::pump() {
    const QByteArray bytes = m_port->readAll();
    if (!bytes.isEmpty())
        emit received(bytes, m_line, true);
}

void SimSerialLink::follow(const SimLine& line) {
    if (line != m_line)
        apply(line);
}

void SimSerialLink::apply(const SimLine& line) {
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity};
    m_line = line;
    m_port->setBaudRate(line.baud);
    m_port->setParity(parities[int(line.parity)]);
    m_port->setStopBits(line.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
}
